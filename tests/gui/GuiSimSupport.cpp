#include "GuiSimSupport.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstdlib>

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

CGuiSimSetup::CGuiSimSetup(int block) : m_block(block) {}

SimCameraConfig CGuiSimSetup::Camera(int n) const {
    return LoopbackCamera(m_block, n);
}

std::string CGuiSimSetup::DeadAddress(int n) const {
    return LoopbackCamera(m_block, 249 - n).ip;
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
    WriteFile(path, NewStylePackageBytes(size));
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
