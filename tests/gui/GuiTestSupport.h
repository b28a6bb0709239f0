// Shared pieces of the GUI tests: one QApplication for the whole binary,
// a fixture with private settings folders, device records and small GIFs.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/DeviceSInfo.h"
#include "support/TestSupport.h"

// The application object; made on first use and kept for the whole run.
void EnsureGuiApp();
// Delivers every posted event (posted messages, repaint requests).
void ProcessGuiEvents();

// Every GUI test runs in English with settings files of its own.
class CGuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes the per-user settings file.
    void WriteUserSettings(const std::string& content);
    // Writes the program settings file (read from the current directory).
    void WriteProgramSettings(const std::string& content);

    testing_support::CSandbox m_sandbox;
    std::optional<testing_support::CScopedEnv> m_dataHome;
    std::optional<testing_support::CScopedCwd> m_cwd;
};

struct DeviceFields {
    std::string mac;
    std::string ip = "127.0.70.250";
    std::string ip2 = "";
    std::string model = "IPC-100";
    std::string version = "3.1.0";
    std::string name = "cam";
    std::string mask2 = "";
    int32_t build = 12;
    int32_t activated = 0;
    int32_t httpPort = 80;
};

std::unique_ptr<DEVICE_S_INFO> MakeDevice(const DeviceFields& fields);

// A GIF written byte by byte for the tests: 2-bit palette indices, coded
// with a clear code before every two pixels so that the code width never
// grows (any decoder reads it; no compression is attempted).
class CTestGif {
public:
    CTestGif(int width, int height, const std::vector<uint32_t>& globalPalette);
    void GraphicControl(int disposal, int delay, int transparentIndex = -1);
    void Comment(const std::string& text);
    void Application();
    // A frame of one palette index; `localPalette` non-empty adds a local
    // colour table of 4 entries.
    void Image(int left, int top, int width, int height, uint8_t index,
               const std::vector<uint32_t>& localPalette = {});
    QByteArray Finish() const;  // with the trailer
    QByteArray Unfinished() const { return m_data; }

private:
    QByteArray m_data;
};
