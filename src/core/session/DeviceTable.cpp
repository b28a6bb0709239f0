#include "session/DeviceTable.h"

#include <algorithm>

void CDeviceTable::Update(const DEVICE_S_INFO& record) {
    auto copy = std::make_shared<DEVICE_S_INFO>(record);
    std::lock_guard<std::mutex> guard(m_mutex);
    for (DeviceInfoPtr& existing : m_devices) {
        if (SameMac(existing->mac, record.mac)) {
            existing = std::move(copy);
            return;
        }
    }
    m_devices.push_back(std::move(copy));
}

bool CDeviceTable::Remove(const std::string& mac) {
    std::lock_guard<std::mutex> guard(m_mutex);
    return std::erase_if(m_devices, [&](const DeviceInfoPtr& r) { return SameMac(r->mac, mac); }) >
           0;
}

std::vector<DeviceInfoPtr> CDeviceTable::Snapshot() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_devices;
}

DeviceInfoPtr CDeviceTable::Find(const std::string& mac) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const DeviceInfoPtr& record : m_devices) {
        if (SameMac(record->mac, mac)) {
            return record;
        }
    }
    return nullptr;
}

size_t CDeviceTable::Size() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_devices.size();
}
