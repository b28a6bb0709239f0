// The cameras a run has found, in the order they were first seen. Written
// by the search thread, read by the front-end's thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "model/DeviceSInfo.h"
#include "model/MacAddress.h"

class CDeviceTable {
public:
    // Adds the record, or replaces the one with the same MAC.
    void Update(const DEVICE_S_INFO& record);
    // False when no record had the MAC.
    bool Remove(const std::string& mac);
    std::vector<DeviceInfoPtr> Snapshot() const;
    // The record of the MAC (SameMac); null if none.
    DeviceInfoPtr Find(const std::string& mac) const;
    size_t Size() const;

private:
    mutable std::mutex m_mutex;
    std::vector<DeviceInfoPtr> m_devices;
};
