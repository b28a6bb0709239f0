#include "upgrade/AwaitedCameras.h"

#include <algorithm>
#include <utility>

#include "model/DeviceText.h"
#include "model/MacAddress.h"

void CAwaitedCameras::Add(const std::string& mac) {
    const bool known = std::any_of(m_macs.begin(), m_macs.end(),
                                   [&](const std::string& listed) { return SameMac(listed, mac); });
    if (!known) {
        m_macs.push_back(mac);
        m_waiting.push_back(mac);
    }
}

void CAwaitedCameras::Open(int seconds, std::string text, Clock::time_point now) {
    m_seconds = seconds;
    m_text = std::move(text);
    m_deadline = now + std::chrono::seconds(seconds);
}

bool CAwaitedCameras::Seen(const DEVICE_S_INFO& record) {
    const std::string mac = FieldString(record.mac);
    const auto it = std::find_if(m_waiting.begin(), m_waiting.end(),
                                 [&](const std::string& waiting) { return SameMac(waiting, mac); });
    if (it == m_waiting.end()) {
        return false;
    }
    // Its job goes by the search's MAC text, as every other camera's.
    m_seen.push_back(std::make_shared<DEVICE_S_INFO>(record));
    m_waiting.erase(it);
    return true;
}

bool CAwaitedCameras::HasNews(Clock::time_point now) const {
    return !m_seen.empty() || (Waiting() && now >= m_deadline);
}

std::vector<DeviceInfoPtr> CAwaitedCameras::TakeSeen() {
    return std::exchange(m_seen, {});
}

std::vector<std::string> CAwaitedCameras::TakeExpired(Clock::time_point now) {
    if (now < m_deadline) {
        return {};
    }
    return std::exchange(m_waiting, {});
}

std::vector<std::string> CAwaitedCameras::TakeAll() {
    std::vector<std::string> all = std::exchange(m_waiting, {});
    for (const DeviceInfoPtr& record : TakeSeen()) {
        all.push_back(FieldString(record->mac));
    }
    return all;
}
