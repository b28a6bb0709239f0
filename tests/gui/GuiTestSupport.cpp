#include "GuiTestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdio>

#include "app/IniFile.h"
#include "app/Language.h"

namespace {

int g_argc = 1;
char g_name[] = "test_gui";
char* g_argv[] = {g_name, nullptr};
std::unique_ptr<QApplication> g_app;

// The application must go before Qt's own globals do at exit, so it ends
// with the test run rather than with the program's statics.
class CGuiEnvironment : public ::testing::Environment {
public:
    void TearDown() override { g_app.reset(); }
};

// gtest owns registered environments.
[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CGuiEnvironment);

}  // namespace

void EnsureGuiApp() {
    if (!g_app) {
        g_app = std::make_unique<QApplication>(g_argc, g_argv);
    }
}

void ProcessGuiEvents() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

void CGuiTest::SetUp() {
    EnsureGuiApp();
    SetCurrentLanguage(UiLanguage::English);
    m_dataHome.emplace("XDG_DATA_HOME", m_sandbox.Path());
    m_cwd.emplace(m_sandbox.Path());
    ResetIniPaths();
}

void CGuiTest::TearDown() {
    m_cwd.reset();
    m_dataHome.reset();
    ResetIniPaths();
}

void CGuiTest::WriteUserSettings(const std::string& content) {
    ResetIniPaths();
    const std::string path = GetUserFolder() + "/firmhand.ini";
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(("[CONFIG]\n" + content).c_str(), f);
    std::fclose(f);
    ResetIniPaths();
}

void CGuiTest::WriteProgramSettings(const std::string& content) {
    m_sandbox.Write("firmhand.ini", "[CONFIG]\n" + content);
    ResetIniPaths();
}

std::unique_ptr<DEVICE_S_INFO> MakeDevice(const DeviceFields& fields) {
    auto info = MakeEmptyDeviceInfo();
    CopyField(info->mac, fields.mac);
    CopyField(info->ip, fields.ip);
    CopyField(info->ip2, fields.ip2);
    CopyField(info->productModel, fields.model);
    CopyField(info->softwareVer, fields.version);
    CopyField(info->devName, fields.name);
    CopyField(info->mask2, fields.mask2);
    CopyField(info->buildDate, "2024-01-05");
    CopyField(info->kernelVer, "4.9.0");
    info->build = fields.build;
    info->deviceActivated = fields.activated;
    info->httpPort = fields.httpPort;
    info->dataPort = 9008;
    return info;
}

namespace {

void AppendWord(QByteArray& data, int value) {
    data.append(static_cast<char>(value & 0xFF));
    data.append(static_cast<char>((value >> 8) & 0xFF));
}

void AppendPalette(QByteArray& data, const std::vector<uint32_t>& palette) {
    for (size_t i = 0; i < 4; ++i) {
        const uint32_t rgb = i < palette.size() ? palette[i] : 0;
        data.append(static_cast<char>((rgb >> 16) & 0xFF));
        data.append(static_cast<char>((rgb >> 8) & 0xFF));
        data.append(static_cast<char>(rgb & 0xFF));
    }
}

// Pixels of one index, 3-bit codes: clear (4), then at most two literals.
QByteArray CodePixels(int count, uint8_t index) {
    std::vector<int> codes;
    for (int i = 0; i < count; i += 2) {
        codes.push_back(4);
        codes.push_back(index);
        if (i + 1 < count) {
            codes.push_back(index);
        }
    }
    codes.push_back(5);  // end of information
    QByteArray bytes;
    uint32_t buffer = 0;
    int bits = 0;
    for (int code : codes) {
        buffer |= static_cast<uint32_t>(code) << bits;
        bits += 3;
        while (bits >= 8) {
            bytes.append(static_cast<char>(buffer & 0xFF));
            buffer >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) {
        bytes.append(static_cast<char>(buffer & 0xFF));
    }
    return bytes;
}

}  // namespace

CTestGif::CTestGif(int width, int height, const std::vector<uint32_t>& globalPalette) {
    m_data.append("GIF89a", 6);
    AppendWord(m_data, width);
    AppendWord(m_data, height);
    m_data.append(static_cast<char>(0x80 | 0x10 | 0x01));  // global table of 4
    m_data.append('\0');                                   // background index
    m_data.append('\0');
    AppendPalette(m_data, globalPalette);
}

void CTestGif::GraphicControl(int disposal, int delay, int transparentIndex) {
    m_data.append("\x21\xF9\x04", 3);
    m_data.append(static_cast<char>(((disposal & 7) << 2) | (transparentIndex >= 0 ? 1 : 0)));
    AppendWord(m_data, delay);
    m_data.append(static_cast<char>(transparentIndex >= 0 ? transparentIndex : 0));
    m_data.append('\0');
}

void CTestGif::Comment(const std::string& text) {
    m_data.append("\x21\xFE", 2);
    m_data.append(static_cast<char>(text.size()));
    m_data.append(text.data(), static_cast<qsizetype>(text.size()));
    m_data.append('\0');
}

void CTestGif::Application() {
    m_data.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
}

void CTestGif::Image(int left, int top, int width, int height, uint8_t index,
                     const std::vector<uint32_t>& localPalette) {
    m_data.append('\x2C');
    AppendWord(m_data, left);
    AppendWord(m_data, top);
    AppendWord(m_data, width);
    AppendWord(m_data, height);
    m_data.append(static_cast<char>(localPalette.empty() ? 0 : 0x81));
    if (!localPalette.empty()) {
        AppendPalette(m_data, localPalette);
    }
    m_data.append('\x02');  // minimum code size
    const QByteArray coded = CodePixels(width * height, index);
    for (qsizetype i = 0; i < coded.size(); i += 255) {
        const QByteArray part = coded.mid(i, 255);
        m_data.append(static_cast<char>(part.size()));
        m_data.append(part);
    }
    m_data.append('\0');
}

QByteArray CTestGif::Finish() const {
    return m_data + QByteArray(1, '\x3B');
}
