// The order of decisions of MakeDeviceReachable, with every system step
// played by a stand-in.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "netops/Ipv4.h"
#include "reach/Reachability.h"

using namespace reach;

namespace {

uint32_t Ipv4Of(const char* text) {
    return InetAddr(text);
}

ADAPTER_INFO Adapter(const char* name, uint32_t index, const char* address = nullptr,
                     const char* mask = "255.255.255.0") {
    ADAPTER_INFO adapter;
    adapter.AdapterName = name;
    adapter.Index = index;
    adapter.Loopback = std::string(name) == "lo";
    adapter.Address = {0x02, 0, 0, 0, 0, static_cast<uint8_t>(index)};
    adapter.AddressLength = 6;
    if (address != nullptr) {
        adapter.IpAddressList.push_back({Ipv4Of(address), Ipv4Of(mask)});
    }
    return adapter;
}

class CFakeReach : public CReachability {
public:
    std::vector<ADAPTER_INFO> adapters = {Adapter("lo", 1, "127.0.0.1", "255.0.0.0"),
                                          Adapter("eth0", 2, "198.51.100.20"), Adapter("eth1", 3),
                                          Adapter("eth2", 4)};
    std::set<std::string> physical = {"eth0", "eth2"};
    bool listFails = false;
    std::optional<std::string> arpAnswerOn;  // the adapter on which the camera answers
    std::set<uint32_t> answered;             // addresses that other stations hold
    bool addSucceeds = true;
    std::vector<uint32_t> draws = {7, 3};

    std::vector<std::string> calls;
    std::string arpMac;
    std::vector<std::pair<std::string, uint32_t>> probes;
    struct Added {
        uint32_t ifIndex, address, mask;
    };
    std::vector<Added> added;

    bool GetAdapterList(std::vector<ADAPTER_INFO>& out) override {
        calls.push_back("GetAdapterList");
        out = adapters;
        return !listFails;
    }
    bool ListLocalAddresses(std::vector<LOCAL_ADDRESS>& out) override {
        out.clear();
        for (const auto& adapter : adapters) {
            for (const auto& entry : adapter.IpAddressList) {
                out.push_back({entry.address, adapter.Index, entry.mask});
            }
        }
        return !listFails;
    }
    bool IsPhysicalAdapter(const ADAPTER_INFO& adapter) override {
        return physical.count(adapter.AdapterName) != 0;
    }
    std::optional<ADAPTER_INFO> FindAdapterByArp(const std::vector<ADAPTER_INFO>& list, uint32_t,
                                                 const std::string& mac, std::stop_token) override {
        calls.push_back("FindAdapterByArp");
        arpMac = mac;
        for (const auto& adapter : list) {
            if (arpAnswerOn && adapter.AdapterName == *arpAnswerOn) {
                return adapter;
            }
        }
        return std::nullopt;
    }
    bool ProbeAddressAnswered(const ADAPTER_INFO& adapter, uint32_t candidate,
                              std::stop_token) override {
        probes.emplace_back(adapter.AdapterName, candidate);
        return answered.count(candidate) != 0;
    }
    bool AddLocalAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) override {
        calls.push_back("AddLocalAddress");
        added.push_back({ifIndex, address, mask});
        return addSucceeds;
    }
    uint32_t NextRandom() override {
        const uint32_t value = draws.empty() ? 0 : draws.front();
        if (!draws.empty()) {
            draws.erase(draws.begin());
        }
        return value;
    }
};

DEVICE_S_INFO Device(const char* ip, const char* mask, const char* ip2, const char* mask2) {
    auto device = MakeEmptyDeviceInfo();
    CopyField(device->ip, ip);
    CopyField(device->mask, mask);
    CopyField(device->ip2, ip2);
    CopyField(device->mask2, mask2);
    CopyField(device->mac, "00:1A:2B:3C:4D:5E");
    return *device;
}

// First address in a foreign subnet, second one in another foreign subnet.
const DEVICE_S_INFO kForeign =
    Device("192.0.2.50", "255.255.255.0", "203.0.113.50", "255.255.255.0");

}  // namespace

TEST(MakeDeviceReachable, AFirstAddressInALocalSubnetIsUsedDirectly) {
    CFakeReach reach;
    uint32_t deviceAddress = 0, added = 1;
    const auto device = Device("198.51.100.9", "255.255.255.0", "203.0.113.50", "255.255.255.0");
    EXPECT_FALSE(reach.MakeDeviceReachable(device, deviceAddress, added, true));
    EXPECT_EQ(deviceAddress, Ipv4Of("198.51.100.9"));
    EXPECT_EQ(added, 0u);
    EXPECT_TRUE(reach.calls.empty());
    EXPECT_TRUE(reach.probes.empty());

    // Without the try-first flag the second address is the one considered.
    EXPECT_TRUE(reach.MakeDeviceReachable(device, deviceAddress, added, false));
    EXPECT_EQ(deviceAddress, Ipv4Of("203.0.113.50"));
}

TEST(MakeDeviceReachable, SecondAddressesThatNeedNothingAreReturnedAtOnce) {
    CFakeReach reach;
    uint32_t deviceAddress = 0, added = 0;
    EXPECT_FALSE(reach.MakeDeviceReachable(
        Device("192.0.2.50", "255.255.255.0", "169.254.1.5", "255.255.0.0"), deviceAddress, added,
        true));
    EXPECT_EQ(deviceAddress, Ipv4Of("169.254.1.5"));
    EXPECT_FALSE(reach.MakeDeviceReachable(
        Device("192.0.2.50", "255.255.255.0", "198.51.100.77", "255.255.255.0"), deviceAddress,
        added, true));
    EXPECT_EQ(deviceAddress, Ipv4Of("198.51.100.77"));
    EXPECT_TRUE(reach.calls.empty());
    EXPECT_TRUE(reach.probes.empty());
}

TEST(MakeDeviceReachable, AnEmptySecondAddressKeepsTheFirstAndAddsNothing) {
    CFakeReach reach;
    uint32_t deviceAddress = 0, added = 0;
    EXPECT_FALSE(reach.MakeDeviceReachable(Device("192.0.2.50", "255.255.255.0", "", ""),
                                           deviceAddress, added, true));
    EXPECT_EQ(deviceAddress, Ipv4Of("192.0.2.50"));
    EXPECT_EQ(added, 0u);
    EXPECT_TRUE(reach.calls.empty());
}

TEST(MakeDeviceReachable, AddsAFreeAddressOnTheAdapterThatAnsweredArp) {
    CFakeReach reach;
    reach.arpAnswerOn = "eth1";  // not the first physical one
    reach.answered = {Ipv4Of("203.0.113.7")};
    uint32_t deviceAddress = 0, added = 0;
    ASSERT_TRUE(reach.MakeDeviceReachable(kForeign, deviceAddress, added, true));
    EXPECT_EQ(deviceAddress, Ipv4Of("203.0.113.50"));
    EXPECT_EQ(added, Ipv4Of("203.0.113.10"));  // 7 answered, the step of 3 gives 10
    EXPECT_EQ(reach.arpMac, "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(reach.calls,
              (std::vector<std::string>{"GetAdapterList", "FindAdapterByArp", "AddLocalAddress"}));
    ASSERT_EQ(reach.probes.size(), 2u);
    EXPECT_EQ(reach.probes[0].first, "eth1");
    ASSERT_EQ(reach.added.size(), 1u);
    EXPECT_EQ(reach.added[0].ifIndex, 3u);
    EXPECT_EQ(reach.added[0].address, Ipv4Of("203.0.113.10"));
    EXPECT_EQ(reach.added[0].mask, Ipv4Of("255.255.255.0"));
}

TEST(MakeDeviceReachable, WithoutAnArpAnswerTheFirstPhysicalAdapterIsUsed) {
    CFakeReach reach;
    uint32_t deviceAddress = 0, added = 0;
    ASSERT_TRUE(reach.MakeDeviceReachable(kForeign, deviceAddress, added, true));
    EXPECT_EQ(reach.added.at(0).ifIndex, 2u);  // eth0

    CFakeReach virtualOnly;
    virtualOnly.physical.clear();
    ASSERT_TRUE(virtualOnly.MakeDeviceReachable(kForeign, deviceAddress, added, true));
    EXPECT_EQ(virtualOnly.added.at(0).ifIndex, 2u);  // the first one, loopback aside

    CFakeReach loopbackOnly;
    loopbackOnly.adapters.resize(1);
    EXPECT_FALSE(loopbackOnly.MakeDeviceReachable(kForeign, deviceAddress, added, true));
    EXPECT_TRUE(loopbackOnly.added.empty());
}

TEST(MakeDeviceReachable, OwnAddressesCountAsUsedWithoutAProbe) {
    CFakeReach reach;
    // An earlier run added 203.0.113.7 as a lone address: the subnet is not
    // local, but the address is ours.
    reach.adapters[2].IpAddressList.push_back({Ipv4Of("203.0.113.7"), Ipv4Of("255.255.255.255")});
    reach.arpAnswerOn = "eth1";
    uint32_t deviceAddress = 0, added = 0;
    ASSERT_TRUE(reach.MakeDeviceReachable(kForeign, deviceAddress, added, true));
    EXPECT_EQ(added, Ipv4Of("203.0.113.10"));
    ASSERT_EQ(reach.probes.size(), 1u);  // 7 is ours: not probed
    EXPECT_EQ(reach.probes[0].second, Ipv4Of("203.0.113.10"));
}

TEST(MakeDeviceReachable, FailsWhenNothingIsFreeOrTheSystemRefuses) {
    CFakeReach full;
    full.answered = {Ipv4Of("203.0.113.1"), Ipv4Of("203.0.113.2")};
    full.draws = {2, 1};
    uint32_t deviceAddress = 0, added = 0;
    const auto small = Device("192.0.2.50", "255.255.255.0", "203.0.113.1", "255.255.255.252");
    EXPECT_FALSE(full.MakeDeviceReachable(small, deviceAddress, added, true));
    EXPECT_EQ(added, 0u);
    EXPECT_TRUE(full.added.empty());

    CFakeReach refused;
    refused.addSucceeds = false;
    EXPECT_FALSE(refused.MakeDeviceReachable(kForeign, deviceAddress, added, true));
    EXPECT_EQ(refused.added.size(), 1u);

    CFakeReach unreadable;
    unreadable.listFails = true;
    EXPECT_FALSE(unreadable.MakeDeviceReachable(kForeign, deviceAddress, added, true));
    EXPECT_TRUE(unreadable.added.empty());
}

TEST(MakeDeviceReachable, IsAddressInUseWithoutAnAdapterProbesTheFirstPhysicalOne) {
    CFakeReach reach;
    reach.answered = {Ipv4Of("203.0.113.9")};
    EXPECT_TRUE(reach.IsAddressInUse(Ipv4Of("203.0.113.9"), true, nullptr));
    EXPECT_EQ(reach.probes.at(0).first, "eth0");
    EXPECT_TRUE(reach.IsAddressInUse(Ipv4Of("198.51.100.20"), true, nullptr));  // our own
    EXPECT_FALSE(reach.IsAddressInUse(Ipv4Of("198.51.100.20"), false, nullptr));
}

namespace {
class CCountingReach : public IReachability {
public:
    int asked = 0;
    int yesAt = 3;
    void AddLinkLocalRoute() override {}
    bool MakeDeviceReachable(const DEVICE_S_INFO&, uint32_t&, uint32_t&, bool,
                             std::stop_token) override {
        return false;
    }
    bool IsLocalHostAddress(uint32_t) override { return ++asked >= yesAt; }
};
}  // namespace

TEST(MakeDeviceReachable, WaitForLocalAddressAsksUntilTheFirstYes) {
    CCountingReach reach;
    EXPECT_TRUE(WaitForLocalAddress(reach, 1, 80, 1));
    EXPECT_EQ(reach.asked, 3);
    CCountingReach never;
    never.yesAt = 1000;
    EXPECT_FALSE(WaitForLocalAddress(never, 1, 5, 1));
    EXPECT_EQ(never.asked, 5);
}
