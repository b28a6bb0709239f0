#include "Reachability.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

#include "FreeAddress.h"
#include "app/Logger.h"
#include "model/DeviceText.h"
#include "netops/Ipv4.h"
#include "netops/NetConfig.h"
#include "platform/Pub.h"

FH_LOG_SOURCE("Reachability");

using namespace reach;

namespace {

uint32_t TimeSeed() {
    return static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count() ^
                                 std::chrono::steady_clock::now().time_since_epoch().count());
}

}  // namespace

namespace {

using WaitClock = std::chrono::steady_clock;

// Without announcements: `attempts` questions, `interval` apart.
bool PollForLocalAddress(IReachability& reach, uint32_t address, int attempts,
                         std::chrono::milliseconds interval, std::stop_token stop) {
    for (int i = 0; i < attempts && !stop.stop_requested(); ++i) {
        if (reach.IsLocalHostAddress(address)) {
            return true;
        }
        if (i + 1 < attempts &&
            CAddressWatch::Wait(nullptr, interval, stop) == CAddressWatch::Wake::Stopped) {
            return false;
        }
    }
    return false;
}

// With them: a question at the start, at each announcement and at the limit.
bool WatchForLocalAddress(IReachability& reach, CAddressWatch& watch, uint32_t address,
                          std::chrono::milliseconds limit, std::stop_token stop) {
    const WaitClock::time_point deadline = WaitClock::now() + limit;
    while (!stop.stop_requested()) {
        if (reach.IsLocalHostAddress(address)) {
            return true;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - WaitClock::now());
        if (left.count() <= 0 ||
            CAddressWatch::Wait(&watch, left, stop) == CAddressWatch::Wake::Stopped) {
            return false;
        }
    }
    return false;
}

}  // namespace

bool WaitForLocalAddress(IReachability& reach, uint32_t address, int attempts, uint32_t intervalMs,
                         std::stop_token stop) {
    if (attempts <= 0) {
        return false;
    }
    // Subscribed before the first question, so that an address the kernel
    // takes after it is announced.
    const std::unique_ptr<CAddressWatch> watch = reach.WatchAddresses();
    const std::chrono::milliseconds interval(intervalMs);
    if (!watch) {
        return PollForLocalAddress(reach, address, attempts, interval, stop);
    }
    return WatchForLocalAddress(reach, *watch, address, attempts * interval, stop);
}

CReachability::CReachability(const reach::ArpTimings& timings)
    : m_timings(timings), m_random(TimeSeed()) {}

void CReachability::AddLinkLocalRoute() {
    std::vector<ADAPTER_INFO> adapters;
    GetAdapterList(adapters);
    const ADAPTER_INFO* adapter = ChooseLinkLocalRouteAdapter(adapters);
    if (adapter == nullptr) {
        return;
    }
    const uint32_t source =
        adapter->IpAddressList.empty() ? 0 : adapter->IpAddressList.front().address;
    if (AddRoute(*adapter, source)) {
        LOG_INFO("AddLinkLocalRoute", "route 169.254.0.0/16 added on %s",
                 adapter->AdapterName.c_str());
    }
}

bool CReachability::IsLocalHostAddress(uint32_t address) {
    std::vector<LOCAL_ADDRESS> locals;
    if (!ListLocalAddresses(locals)) {
        return false;
    }
    for (const LOCAL_ADDRESS& local : locals) {
        if (local.address == address) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<CAddressWatch> CReachability::WatchAddresses() {
    auto watch = std::make_unique<CAddressWatch>();
    return watch->Ok() ? std::move(watch) : nullptr;
}

bool CReachability::IsOnLocalSubnet(uint32_t address, uint32_t mask) {
    if (GetIpClass(address) < 0) {
        return false;
    }
    std::vector<LOCAL_ADDRESS> locals;
    return ListLocalAddresses(locals) && ::IsOnLocalSubnet(address, mask, locals);
}

bool CReachability::MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                                        uint32_t& addedAddress, bool tryFirstAddress,
                                        std::stop_token stop) {
    addedAddress = 0;
    const uint32_t ip = InetAddr(FieldText(device.ip));
    const uint32_t ip2 = InetAddr(FieldText(device.ip2));
    const uint32_t mask = InetAddr(FieldText(device.mask));
    const uint32_t mask2 = InetAddr(FieldText(device.mask2));

    if (tryFirstAddress) {
        deviceAddress = ip;
        if (IsOnLocalSubnet(ip, mask)) {
            return false;
        }
    }
    // Without a usable second address the first one stays the one to try.
    if (!IsUnicastIpv4(ip2)) {
        if (!tryFirstAddress) {
            deviceAddress = ip2;
        }
        return false;
    }
    deviceAddress = ip2;
    if (IsLinkLocalIpv4(ip2) || IsOnLocalSubnet(ip2, mask2)) {
        return false;  // the link-local route or an adapter's own subnet covers it
    }

    std::vector<ADAPTER_INFO> adapters;
    if (!GetAdapterList(adapters)) {
        return false;
    }
    std::optional<ADAPTER_INFO> adapter =
        FindAdapterByArp(adapters, ip2, std::string(FieldText(device.mac)), stop);
    if (stop.stop_requested()) {
        return false;
    }
    if (!adapter) {
        const ADAPTER_INFO* fallback = FallbackAdapter(adapters);
        if (fallback == nullptr) {
            return false;
        }
        adapter = *fallback;
    }

    addedAddress = ChooseFreeAddress(ip2, mask2, *adapter, stop);
    if (addedAddress == 0 || stop.stop_requested()) {
        addedAddress = 0;
        return false;
    }
    if (!AddLocalAddress(adapter->Index, addedAddress, mask2)) {
        return false;
    }
    LOG_INFO("CReachability::MakeDeviceReachable", "added %s on %s to reach %s, mac: %s",
             Ipv4ToText(addedAddress).c_str(), adapter->AdapterName.c_str(),
             Ipv4ToText(ip2).c_str(), std::string(FieldText(device.mac)).c_str());
    return true;
}

uint32_t CReachability::ChooseFreeAddress(uint32_t deviceAddress, uint32_t mask,
                                          const ADAPTER_INFO& adapter, std::stop_token stop) {
    return ::ChooseFreeAddress(
        deviceAddress, mask,
        [&](uint32_t candidate) { return IsAddressInUse(candidate, true, &adapter, stop); },
        [&] { return NextRandom(); }, stop);
}

bool CReachability::IsAddressInUse(uint32_t candidate, bool checkOwn, const ADAPTER_INFO* adapter,
                                   std::stop_token stop) {
    if (checkOwn && IsLocalHostAddress(candidate)) {
        return true;
    }
    std::vector<ADAPTER_INFO> adapters;
    if (adapter == nullptr) {
        if (!GetAdapterList(adapters)) {
            return false;
        }
        adapter = FallbackAdapter(adapters);
        if (adapter == nullptr) {
            return false;
        }
    }
    return ProbeAddressAnswered(*adapter, candidate, stop);
}

const ADAPTER_INFO* CReachability::FallbackAdapter(const std::vector<ADAPTER_INFO>& adapters) {
    const ADAPTER_INFO* first = nullptr;
    for (const ADAPTER_INFO& adapter : adapters) {
        if (adapter.Loopback) {
            continue;
        }
        if (IsPhysicalAdapter(adapter)) {
            return &adapter;
        }
        if (first == nullptr) {
            first = &adapter;
        }
    }
    return first;
}

bool CReachability::GetAdapterList(std::vector<ADAPTER_INFO>& adapters) {
    return ::GetAdapterList(adapters);
}

bool CReachability::ListLocalAddresses(std::vector<LOCAL_ADDRESS>& addresses) {
    return ::ListLocalAddresses(addresses);
}

bool CReachability::IsPhysicalAdapter(const ADAPTER_INFO& adapter) {
    return ::IsPhysicalAdapter(adapter);
}

std::optional<ADAPTER_INFO> CReachability::FindAdapterByArp(
    const std::vector<ADAPTER_INFO>& adapters, uint32_t deviceAddress, const std::string& deviceMac,
    std::stop_token stop) {
    MacAddress mac;
    if (!ParseMacText(deviceMac, mac)) {
        return std::nullopt;
    }
    return reach::FindAdapterByArp(
        adapters, deviceAddress, mac,
        [this](const ADAPTER_INFO& adapter) { return IsPhysicalAdapter(adapter); }, m_timings,
        Prober(), stop);
}

bool CReachability::ProbeAddressAnswered(const ADAPTER_INFO& adapter, uint32_t candidate,
                                         std::stop_token stop) {
    return reach::ProbeAddressAnswered(adapter, candidate, m_timings, Prober(), stop);
}

bool CReachability::AddLocalAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) {
    std::vector<ADAPTER_INFO> adapters;
    GetAdapterList(adapters);
    for (const ADAPTER_INFO& adapter : adapters) {
        if (adapter.Index == ifIndex) {
            return AddAddressOn(adapter, address, mask);
        }
    }
    return false;
}

reach::ArpProber CReachability::Prober() {
    return [this](const ADAPTER_INFO& adapter, uint32_t target, const ArpListen& listen,
                  std::vector<MacAddress>& answers) {
        return ProbeArp(adapter, target, listen, answers);
    };
}

bool CReachability::ProbeArp(const ADAPTER_INFO& adapter, uint32_t target, const ArpListen& listen,
                             std::vector<MacAddress>& answers) {
    return ProbeOnAdapter(adapter, target, listen, answers);
}

bool CReachability::AddRoute(const ADAPTER_INFO& adapter, uint32_t source) {
    return AddLinkLocalRouteOn(adapter.Index, source);
}

bool CReachability::AddAddressOn(const ADAPTER_INFO& adapter, uint32_t address, uint32_t mask) {
    return ::AddLocalAddress(adapter.Index, address, mask);
}

uint32_t CReachability::NextRandom() {
    std::lock_guard<std::mutex> lock(m_randomLock);
    return static_cast<uint32_t>(m_random()) & 0x7FFFFFFFu;
}
