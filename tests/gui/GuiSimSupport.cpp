#include "GuiSimSupport.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include "app/IniFile.h"
#include "app/Settings.h"
#include "discovery/LanProbeSearch.h"
#include "upgrade/UpgradeTimings.h"

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

CGuiSimSetup::CGuiSimSetup(int block)
    : m_block(block), m_pidPart(static_cast<int>(getpid() % 200) + 20) {
    // The engine's time-outs, shortened as the upgrade tests do.
    CIniFile& ini = GetProgramIni();
    ini.SetOverride(settings::kWaitIp2ChangeTimeout, "2");
    ini.SetOverride(settings::kWaitDeviceOfflineTimeout, "5");
    ini.SetOverride(settings::kWaitRebootTimeout, "10");
    ini.SetOverride(settings::kWaitUpgradeModeTimeout, "10");
    ini.SetOverride(settings::kWaitUpgradeProgressTimeout, "5");
    ini.SetOverride(settings::kWaitUpgradeCompleteTimeout, "5");
    UpgradeTimings timings;
    timings.connectTimeoutMs = 2000;
    timings.retryPauseMs = 20;
    timings.upgradeModePauseMs = 50;
    timings.ackPollMs = 5;
    timings.offlineStretchMs = 300;
    SetUpgradeTimingsForTests(timings);
    LANPROBE_SEARCH_SetRoundIntervalMs(150);
}

CGuiSimSetup::~CGuiSimSetup() {
    LANPROBE_SEARCH_SetRoundIntervalMs(0);
    LANPROBE_SEARCH_SetNetworkAdapter("");
    SetUpgradeTimingsForTests(UpgradeTimings{});
}

SimCameraConfig CGuiSimSetup::Camera(int n) const {
    SimCameraConfig config;
    char text[64];
    std::snprintf(text, sizeof text, "02:01:%02X:%02X:00:%02X", m_pidPart, m_block, n);
    config.mac = text;
    std::snprintf(text, sizeof text, "127.%d.%d.%d", m_pidPart, 200 + m_block, n + 1);
    config.ip = text;
    std::snprintf(text, sizeof text, "127.%d.%d.%d", m_pidPart, 230 + m_block, n + 1);
    config.ip2 = text;
    config.mask2 = "255.0.0.0";
    config.name = "Cam " + std::to_string(n);
    config.password = "739518";  // the window's default
    config.flashMs = 150;
    config.offlineMs = 900;
    return config;
}

std::string CGuiSimSetup::DeadAddress(int n) const {
    return "127." + std::to_string(m_pidPart) + "." + std::to_string(200 + m_block) + "." +
           std::to_string(250 - n);
}

std::string CGuiSimSetup::SearchTargets(const CSimFleet& fleet) {
    std::string targets;
    for (const SimCameraInfo& camera : fleet.Cameras()) {
        targets +=
            (targets.empty() ? "" : ",") + camera.ip + ":" + std::to_string(camera.searchPort);
    }
    return targets;
}

std::string CGuiSimSetup::WritePackage(const std::string& path, size_t size) {
    std::vector<uint8_t> data(size + 4);
    std::mt19937 random(7);
    for (auto& byte : data) {
        byte = static_cast<uint8_t>(random());
    }
    const uint8_t magic[] = {0x18, 0x01, 0x22, 0x20};
    std::memcpy(data.data(), magic, sizeof magic);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    return path;
}
