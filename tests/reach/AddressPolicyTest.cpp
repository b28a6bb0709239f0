// The network helper's rule for added addresses, on a made-up host: a LAN
// 192.168.1.0/24 on interface 2 with its default route, a VPN route to
// 10.8.0.0/16, and a camera 10.77.3.7 that answered on interface 2.
#include <gtest/gtest.h>

#include "AddressPolicy.h"
#include "netops/Ipv4.h"

using netcfg::CAddressPolicy;
using netcfg::HostNetwork;
using netcfg::IsPrivateSubnet;
using netcfg::kMaxAddedAddresses;
using reach::InetAddr;

namespace {

constexpr uint32_t kLan = 2;
constexpr uint32_t kOther = 3;

class AddressPolicy : public ::testing::Test {
protected:
    void SetUp() override {
        m_host.locals.push_back({InetAddr("192.168.1.20"), kLan, InetAddr("255.255.255.0")});
        m_host.locals.push_back({InetAddr("127.0.0.1"), 1, InetAddr("255.0.0.0")});
        m_host.routes.push_back({0, 0, kLan, 254});  // the default route
        m_host.routes.push_back({InetAddr("192.168.1.0"), 24, kLan, 254});
        m_host.routes.push_back({InetAddr("10.8.0.0"), 16, 0, 254});
        m_policy.NoteAnswered(kLan, InetAddr("10.77.3.7"));
        m_policy.NoteFree(kLan, InetAddr("10.77.3.10"));
    }

    std::string Check(const char* address, int prefixLength, uint32_t ifIndex = kLan) const {
        return m_policy.Check(ifIndex, "eth0", InetAddr(address), prefixLength, m_host);
    }

    HostNetwork m_host;
    CAddressPolicy m_policy;
};

// The rule named at the start of a refusal.
std::string Rule(const std::string& refusal) {
    return refusal.substr(0, refusal.find(" rule: "));
}

}  // namespace

TEST_F(AddressPolicy, TheCamerasFreeNeighbourAndLinkLocalAddressesAreAllowed) {
    EXPECT_EQ(Check("10.77.3.10", 24), "");
    EXPECT_EQ(Check("10.77.3.10", 28), "");
    EXPECT_EQ(Check("169.254.9.9", 16), "");
}

TEST_F(AddressPolicy, EachRuleRefusesWithItsName) {
    const std::pair<std::string, std::string> cases[] = {
        {Check("8.8.8.1", 24), "private range"},
        {Check("1.1.1.2", 30), "private range"},
        {Check("172.32.0.5", 16), "private range"},  // just past 172.16/12
        {Check("192.100.0.1", 16), "private range"},
        {Check("10.77.3.10", 8), "prefix"},
        {Check("10.77.3.10", 15), "prefix"},
        {Check("169.254.9.9", 24), "prefix"},
        // A /16 around the LAN's /24, a /30 inside it, one across the VPN route.
        {Check("192.168.7.1", 16), "overlap"},
        {Check("192.168.1.253", 30), "overlap"},
        {Check("10.8.200.1", 24), "overlap"},
        {Check("10.9.0.1", 16), "camera subnet"},
        {Check("10.77.3.10", 24, kOther), "camera subnet"},  // the camera answered elsewhere
        {Check("10.77.3.11", 24), "found free"},
    };
    for (const auto& [refusal, rule] : cases) {
        EXPECT_EQ(Rule(refusal), rule) << refusal;
    }
    // The refusal says what it compared.
    EXPECT_EQ(Check("10.8.200.1", 24),
              "overlap rule: 10.8.200.0/24 overlaps the route to 10.8.0.0/16");
}

TEST_F(AddressPolicy, TheDefaultRouteOverlapsNothingButAWideCameraSubnetOverlapsItsNeighbours) {
    // 10.77.0.0/16 would hold the camera; with a local 10.77.9.1/24 it overlaps.
    m_policy.NoteFree(kLan, InetAddr("10.77.200.1"));
    EXPECT_EQ(Check("10.77.200.1", 16), "");
    m_host.locals.push_back({InetAddr("10.77.9.1"), kOther, InetAddr("255.255.255.0")});
    EXPECT_EQ(Rule(Check("10.77.200.1", 16)), "overlap");
}

TEST_F(AddressPolicy, AHelperAddsAtMostItsQuota) {
    for (size_t i = 0; i < kMaxAddedAddresses; ++i) {
        ASSERT_EQ(Check("169.254.9.9", 16), "") << i;
        m_policy.NoteAdded();
    }
    EXPECT_EQ(Rule(Check("169.254.9.9", 16)), "quota");
    EXPECT_EQ(Rule(Check("10.77.3.10", 24)), "quota");
}

TEST(PrivateSubnet, OnlyWholeSubnetsInsideThePrivateRanges) {
    EXPECT_TRUE(IsPrivateSubnet(InetAddr("10.1.2.3"), 8));
    EXPECT_TRUE(IsPrivateSubnet(InetAddr("172.31.255.1"), 24));
    EXPECT_TRUE(IsPrivateSubnet(InetAddr("192.168.0.9"), 16));
    EXPECT_FALSE(IsPrivateSubnet(InetAddr("172.16.0.1"), 11));  // wider than 172.16/12
    EXPECT_FALSE(IsPrivateSubnet(InetAddr("192.168.0.9"), 15));
    EXPECT_FALSE(IsPrivateSubnet(InetAddr("11.0.0.1"), 24));
    EXPECT_FALSE(IsPrivateSubnet(InetAddr("203.0.113.7"), 24));
}
