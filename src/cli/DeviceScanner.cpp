#include "DeviceScanner.h"

#include <strings.h>

#include <chrono>

#include "app/IniFile.h"
#include "app/Settings.h"
#include "discovery/LanProbeSearch.h"
#include "discovery/SearchIntake.h"

bool SameMac(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

CDeviceScanner::CDeviceScanner(std::vector<std::string> targets, std::string adapter)
    : m_targets(std::move(targets)), m_adapter(std::move(adapter)) {}

CDeviceScanner::~CDeviceScanner() {
    Stop();
}

bool CDeviceScanner::Start() {
    if (!m_targets.empty()) {
        // Targets given on the command line join those of the settings.
        std::string all = settings::GetString(settings::kSearchTargets);
        for (const std::string& target : m_targets) {
            all += (all.empty() ? "" : ",") + target;
        }
        GetProgramIni().SetOverride(settings::kSearchTargets, all);
    }
    LANPROBE_SEARCH_SetNetworkAdapter(m_adapter.c_str());
    m_intake = std::make_unique<CSearchIntake>(m_queue);
    return m_intake->Start();
}

void CDeviceScanner::Stop() {
    if (m_intake) {
        m_intake->Stop();
        m_intake.reset();
    }
}

DeviceInfoPtr CDeviceScanner::Find(const std::string& mac) const {
    for (const DeviceInfoPtr& record : m_devices) {
        if (SameMac(record->mac, mac)) {
            return record;
        }
    }
    return nullptr;
}

void CDeviceScanner::Handle(CWindowMessage& message, const MessageHandler& other) {
    if (message.id != WM_DEVICE_NOTIFY) {
        if (other) {
            other(message);
        }
        return;
    }
    if (message.wParam == DEVICE_NOTIFY_GONE) {
        const std::string mac = message.Text();
        if (keepOnGone && keepOnGone(mac)) {
            return;
        }
        std::erase_if(m_devices, [&](const DeviceInfoPtr& r) { return SameMac(r->mac, mac); });
        return;
    }
    std::unique_ptr<DEVICE_S_INFO> record = message.TakeDevice();
    if (!record) {
        return;
    }
    if (onReport) {
        onReport(message.wParam, *record);
    }
    for (DeviceInfoPtr& existing : m_devices) {
        if (SameMac(existing->mac, record->mac)) {
            existing = std::move(record);
            return;
        }
    }
    m_devices.push_back(std::move(record));
}

void CDeviceScanner::Pump(int ms, const MessageHandler& other) {
    PumpUntil([] { return false; }, ms, other);
}

void CDeviceScanner::PumpUntil(const std::function<bool()>& done, int ms,
                               const MessageHandler& other) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        if (auto message = m_queue->Pop(static_cast<int>(std::min<long long>(left.count(), 100)))) {
            Handle(*message, other);
        }
    }
}
