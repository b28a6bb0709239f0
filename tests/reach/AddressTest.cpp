#include <gtest/gtest.h>

#include "netops/Ipv4.h"
#include "netops/LocalAddresses.h"

using namespace reach;

namespace {
uint32_t Addr(const char* text) {
    return InetAddr(text);
}
}  // namespace

TEST(Ipv4, ParsesOnlyStrictDottedQuads) {
    uint32_t address = 0;
    ASSERT_TRUE(ParseIpv4("203.0.113.9", address));
    EXPECT_EQ(Ipv4ToHost(address), 0xCB007109u);
    EXPECT_EQ(Ipv4ToText(address), "203.0.113.9");
    EXPECT_EQ(Ipv4FromHost(0xCB007109u), address);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4", "1..2.3",
                            "1.2.3.0004", "a.b.c.d", "1.2.3.-4"}) {
        EXPECT_FALSE(ParseIpv4(bad, address)) << bad;
        EXPECT_EQ(InetAddr(bad), kInaddrNone) << bad;
    }
}

TEST(Ipv4, MaskLengthsAndContiguity) {
    EXPECT_EQ(MaskPrefixLength(Addr("255.255.255.0")), 24);
    EXPECT_EQ(MaskPrefixLength(Addr("255.255.255.252")), 30);
    EXPECT_EQ(MaskPrefixLength(Addr("255.255.255.255")), 32);
    EXPECT_EQ(MaskPrefixLength(Addr("0.0.0.0")), 0);
    EXPECT_EQ(MaskPrefixLength(Addr("255.0.255.0")), -1);
    EXPECT_EQ(MaskPrefixLength(Addr("0.255.255.255")), -1);
    EXPECT_EQ(PrefixLengthToMask(20), Addr("255.255.240.0"));
    EXPECT_EQ(PrefixLengthToMask(0), 0u);
    EXPECT_EQ(PrefixLengthToMask(32), Addr("255.255.255.255"));
}

TEST(Ipv4, ClassesFromTheFirstOctet) {
    EXPECT_EQ(GetIpClass(0), -1);
    EXPECT_EQ(GetIpClass(Addr("0.0.0.1")), 0);
    EXPECT_EQ(GetIpClass(Addr("127.255.255.255")), 0);
    EXPECT_EQ(GetIpClass(Addr("128.0.0.0")), 1);
    EXPECT_EQ(GetIpClass(Addr("191.1.1.1")), 1);
    EXPECT_EQ(GetIpClass(Addr("192.168.1.1")), 2);
    EXPECT_EQ(GetIpClass(Addr("223.255.0.1")), 2);
    EXPECT_EQ(GetIpClass(Addr("224.0.0.1")), 3);
    EXPECT_EQ(GetIpClass(Addr("239.9.9.9")), 3);
    EXPECT_EQ(GetIpClass(Addr("240.0.0.1")), 4);
    EXPECT_EQ(GetIpClass(Addr("247.255.255.255")), 4);
    EXPECT_EQ(GetIpClass(Addr("248.0.0.0")), -1);
    EXPECT_EQ(GetIpClass(kInaddrNone), -1);
    EXPECT_TRUE(IsLinkLocalIpv4(Addr("169.254.1.5")));
    EXPECT_FALSE(IsLinkLocalIpv4(Addr("169.253.1.5")));
}

TEST(LocalSubnet, ComparesNetworksUnderEachSidesOwnMask) {
    const std::vector<LOCAL_ADDRESS> locals = {
        {Addr("127.0.0.1"), 1, Addr("255.0.0.0")},
        {Addr("198.51.100.20"), 2, Addr("255.255.255.0")},
    };
    EXPECT_TRUE(IsOnLocalSubnet(Addr("198.51.100.77"), Addr("255.255.255.0"), locals));
    EXPECT_TRUE(IsOnLocalSubnet(Addr("127.0.0.9"), Addr("255.0.0.0"), locals));
    EXPECT_FALSE(IsOnLocalSubnet(Addr("203.0.113.7"), Addr("255.255.255.0"), locals));
    // The device's narrower mask names another network than the local one.
    EXPECT_FALSE(IsOnLocalSubnet(Addr("198.51.100.77"), Addr("255.255.255.192"), locals));
    // Class -1 addresses are never local, whatever the mask.
    EXPECT_FALSE(IsOnLocalSubnet(0, 0, locals));
    EXPECT_FALSE(IsOnLocalSubnet(kInaddrNone, kInaddrNone, locals));
    EXPECT_FALSE(IsOnLocalSubnet(Addr("198.51.100.77"), Addr("255.255.255.0"), {}));
}
