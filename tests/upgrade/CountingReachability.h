// A stand-in for reachability that changes nothing and counts what a run
// asks of it. Optionally it reports an added address that the host lists
// from the `listedAfter`-th question on.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "reach/Reachability.h"

class CCountingReachability : public IReachability {
public:
    // 0: no address is ever added.
    explicit CCountingReachability(uint32_t addedAddress = 0, int listedAfter = 0)
        : m_added(addedAddress), m_listedAfter(listedAfter) {}

    void AddLinkLocalRoute() override {}
    bool MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                             uint32_t& addedAddress, bool tryFirstAddress,
                             std::stop_token) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_asked.push_back(device.mac);
        m_firstAddressTried = tryFirstAddress;
        deviceAddress = 0;
        addedAddress = m_added;
        return m_added != 0;
    }
    bool IsLocalHostAddress(uint32_t address) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        ++m_localChecks;
        return m_added != 0 && address == m_added && m_localChecks >= m_listedAfter;
    }

    // The MACs of every MakeDeviceReachable call, in order.
    std::vector<std::string> Asked() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_asked;
    }
    bool FirstAddressTried() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_firstAddressTried;
    }
    int LocalChecks() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_localChecks;
    }

private:
    const uint32_t m_added;
    const int m_listedAfter;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_asked;
    bool m_firstAddressTried = false;
    int m_localChecks = 0;
};
