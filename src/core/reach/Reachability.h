// Making cameras on link-local or foreign subnets reachable: the link-local
// route at start-up and, before a camera is upgraded or opened, an extra
// local address on the adapter of the camera's segment.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <stop_token>
#include <string>
#include <vector>

#include "AddressWatch.h"
#include "model/DeviceSInfo.h"
#include "netops/Adapters.h"
#include "netops/ArpProbe.h"
#include "netops/LocalAddresses.h"
#include "platform/Pub.h"

// What the upgrade engine and the main window use; tests pass a stand-in.
// Addresses are 32-bit values in network order.
class IReachability {
public:
    virtual ~IReachability() = default;

    // Adds the route for 169.254.0.0/16 (once, at start-up).
    virtual void AddLinkLocalRoute() = 0;

    // Decides which of the device's addresses to use (`deviceAddress`) and,
    // when that is the second address in a subnet no adapter has, adds a free
    // address of that subnet to the adapter on the device's segment
    // (`addedAddress`). True only when an address was added; the caller then
    // waits until IsLocalHostAddress reports it (WaitForLocalAddress).
    // A `stop` request ends the probes at once and adds nothing (false).
    virtual bool MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                                     uint32_t& addedAddress, bool tryFirstAddress,
                                     std::stop_token stop = {}) = 0;

    virtual bool IsLocalHostAddress(uint32_t address) = 0;

    // The kernel's announcements of added addresses, subscribed to now, for
    // WaitForLocalAddress; null when there are none, and the wait asks
    // again every interval.
    virtual std::unique_ptr<reach::CAddressWatch> WatchAddresses() { return nullptr; }

    // A text for the technician when the network cannot be changed (the
    // helper is missing or lacks its capabilities), given once; "" otherwise.
    virtual std::string TakeNotice() { return {}; }
};

// Waits until IsLocalHostAddress reports the address: asks at once, again
// whenever the kernel announces an added IPv4 address (WatchAddresses; every
// `intervalMs` without announcements), and a last time when `attempts` x
// `intervalMs` have passed (false then). A `stop` request ends the wait at
// once (false).
bool WaitForLocalAddress(IReachability& reach, uint32_t address, int attempts = 80,
                         uint32_t intervalMs = 100, std::stop_token stop = {});

// The real implementation. Every step fails quietly (false, none, 0); only
// changes made to the system are logged. The OS-touching steps are virtual
// so that a test can stand in for one of them.
class CReachability : public IReachability {
public:
    explicit CReachability(const reach::ArpTimings& timings = {});

    void AddLinkLocalRoute() override;
    bool MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                             uint32_t& addedAddress, bool tryFirstAddress,
                             std::stop_token stop = {}) override;
    bool IsLocalHostAddress(uint32_t address) override;
    std::unique_ptr<reach::CAddressWatch> WatchAddresses() override;

    bool IsOnLocalSubnet(uint32_t address, uint32_t mask);
    // A free address in the device's subnet, probed on `adapter`; 0 when none.
    uint32_t ChooseFreeAddress(uint32_t deviceAddress, uint32_t mask, const ADAPTER_INFO& adapter,
                               std::stop_token stop = {});
    // True when the candidate is one of the host's own addresses (with
    // `checkOwn`) or another station answers for it on the adapter (the
    // first physical one, else the first one, when `adapter` is null).
    bool IsAddressInUse(uint32_t candidate, bool checkOwn, const ADAPTER_INFO* adapter,
                        std::stop_token stop = {});

    virtual bool GetAdapterList(std::vector<ADAPTER_INFO>& adapters);
    virtual bool ListLocalAddresses(std::vector<LOCAL_ADDRESS>& addresses);
    virtual bool IsPhysicalAdapter(const ADAPTER_INFO& adapter);
    // The physical adapter on which the device with this MAC text answers.
    virtual std::optional<ADAPTER_INFO> FindAdapterByArp(const std::vector<ADAPTER_INFO>& adapters,
                                                         uint32_t deviceAddress,
                                                         const std::string& deviceMac,
                                                         std::stop_token stop = {});
    // True when a station other than the adapter answers for the candidate.
    virtual bool ProbeAddressAnswered(const ADAPTER_INFO& adapter, uint32_t candidate,
                                      std::stop_token stop = {});
    virtual bool AddLocalAddress(uint32_t ifIndex, uint32_t address, uint32_t mask);

    // The three changes and probes that need privileges; done in this
    // process here, by the network helper in CHelperReachability. A probe
    // ends at `listen.stop`.
    virtual bool ProbeArp(const ADAPTER_INFO& adapter, uint32_t target,
                          const reach::ArpListen& listen, std::vector<reach::MacAddress>& answers);
    virtual bool AddRoute(const ADAPTER_INFO& adapter, uint32_t source);
    virtual bool AddAddressOn(const ADAPTER_INFO& adapter, uint32_t address, uint32_t mask);
    virtual uint32_t NextRandom();

protected:
    const reach::ArpTimings m_timings;

private:
    reach::ArpProber Prober();
    // The first physical adapter, else the first one (loopback aside); null when none.
    const ADAPTER_INFO* FallbackAdapter(const std::vector<ADAPTER_INFO>& adapters);

    std::mutex m_randomLock;
    std::minstd_rand m_random;
};
