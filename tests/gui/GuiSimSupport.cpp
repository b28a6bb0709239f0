#include "GuiSimSupport.h"

#include <dirent.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include "app/Settings.h"

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

int ProcessThreadCount() {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = readdir(tasks)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(tasks);
    return count;
}

CGuiSimSetup::CGuiSimSetup(int block)
    : m_block(block), m_pidPart(static_cast<int>(getpid() % 200) + 20) {}

void CGuiSimSetup::ShortenWaits(SESSION_OPTIONS& options) {
    auto& values = options.settingOverrides;
    values[settings::kWaitIp2ChangeTimeout] = "2";
    values[settings::kWaitDeviceOfflineTimeout] = "5";
    values[settings::kWaitRebootTimeout] = "10";
    values[settings::kWaitUpgradeModeTimeout] = "10";
    values[settings::kWaitUpgradeProgressTimeout] = "5";
    values[settings::kWaitUpgradeCompleteTimeout] = "5";
    options.timings.connectTimeoutMs = 2000;
    options.timings.retryPauseMs = 20;
    options.timings.upgradeModePauseMs = 50;
    options.timings.ackPollMs = 5;
    options.timings.offlineStretchMs = 300;
    options.searchRoundIntervalMs = 150;
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

CWatchdog::CWatchdog(int limitMs, std::string what) {
    m_thread = std::thread([this, limitMs, what = std::move(what)] {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_disarmed.wait_for(lock, std::chrono::milliseconds(limitMs),
                                 [this] { return !m_armed; })) {
            std::fprintf(stderr, "watchdog: %s did not end within %d ms\n", what.c_str(), limitMs);
            std::abort();
        }
    });
}

CWatchdog::~CWatchdog() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_armed = false;
    }
    m_disarmed.notify_all();
    m_thread.join();
}
