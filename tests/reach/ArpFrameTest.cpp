#include <gtest/gtest.h>

#include <vector>

#include "netops/ArpFrame.h"
#include "netops/Ipv4.h"

using namespace reach;

namespace {

const MacAddress kOwnMac = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
const MacAddress kArpCameraMac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

// An ARP reply as a camera sends it: from `source`, for `address`.
std::vector<uint8_t> Reply(const MacAddress& source, const char* address, uint16_t op = 2) {
    std::vector<uint8_t> frame = {0x02,
                                  0x11,
                                  0x22,
                                  0x33,
                                  0x44,
                                  0x55,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0x08,
                                  0x06,  // Ethernet
                                  0x00,
                                  0x01,
                                  0x08,
                                  0x00,
                                  0x06,
                                  0x04,
                                  static_cast<uint8_t>(op >> 8),
                                  static_cast<uint8_t>(op)};
    std::copy(source.begin(), source.end(), frame.begin() + 6);
    frame.insert(frame.end(), source.begin(), source.end());  // sender hardware address
    const uint32_t ip = InetAddr(address);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&ip);
    frame.insert(frame.end(), bytes, bytes + 4);                // sender protocol address
    frame.insert(frame.end(), kOwnMac.begin(), kOwnMac.end());  // target hardware address
    frame.insert(frame.end(), {0, 0, 0, 0});                    // target protocol address
    frame.resize(60, 0);
    return frame;
}

}  // namespace

TEST(ArpFrame, ProbeBytesAreExactlyAsTabled) {
    const std::vector<uint8_t> expected = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // Ethernet destination
        0x02, 0x11, 0x22, 0x33, 0x44, 0x55,  // Ethernet source
        0x08, 0x06,                          // ARP
        0x00, 0x01, 0x08, 0x00, 0x06, 0x04,  // Ethernet, IPv4, 6, 4
        0x00, 0x01,                          // request
        0x02, 0x11, 0x22, 0x33, 0x44, 0x55,  // sender hardware address
        0x00, 0x00, 0x00, 0x00,              // sender protocol address: probe
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // target hardware address
        0xCB, 0x00, 0x71, 0x09,              // 203.0.113.9
    };
    const ArpProbeFrame frame = BuildArpProbe(kOwnMac, InetAddr("203.0.113.9"));
    ASSERT_EQ(frame.size(), 68u);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.begin() + 42), expected);
    for (size_t i = 42; i < frame.size(); ++i) {
        EXPECT_EQ(frame[i], 0) << "padding byte " << i;
    }
}

TEST(ArpFrame, AnswerIsAReplyFromTheProbedAddress) {
    const uint32_t probed = InetAddr("203.0.113.7");
    auto reply = Reply(kArpCameraMac, "203.0.113.7");
    auto source = ArpAnswerSource(reply.data(), reply.size(), probed);
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(*source, kArpCameraMac);

    // A reply for another address, a request, and our own probe do not count.
    reply = Reply(kArpCameraMac, "203.0.113.8");
    EXPECT_FALSE(ArpAnswerSource(reply.data(), reply.size(), probed));
    reply = Reply(kArpCameraMac, "203.0.113.7", 1);
    EXPECT_FALSE(ArpAnswerSource(reply.data(), reply.size(), probed));
    const ArpProbeFrame probe = BuildArpProbe(kOwnMac, probed);
    EXPECT_FALSE(ArpAnswerSource(probe.data(), probe.size(), probed));

    // Truncated frames and other EtherTypes are dropped, not read past.
    reply = Reply(kArpCameraMac, "203.0.113.7");
    EXPECT_FALSE(ArpAnswerSource(reply.data(), 41, probed));
    EXPECT_FALSE(ArpAnswerSource(nullptr, 0, probed));
    reply[12] = 0x08;
    reply[13] = 0x00;
    EXPECT_FALSE(ArpAnswerSource(reply.data(), reply.size(), probed));
}

TEST(ArpFrame, MacTextsOfTheSearchReports) {
    MacAddress mac{};
    ASSERT_TRUE(ParseMacText("00:1A:2b:3C:4d:5E", mac));
    EXPECT_EQ(mac, kArpCameraMac);
    ASSERT_TRUE(ParseMacText("00-1a-2b-3c-4d-5e", mac));
    EXPECT_EQ(mac, kArpCameraMac);
    ASSERT_TRUE(ParseMacText("001A2B3C4D5E", mac));
    EXPECT_EQ(mac, kArpCameraMac);
    for (const char* bad : {"", "00:1A:2B:3C:4D", "00:1A:2B:3C:4D:5E:", "00:1A-2B:3C:4D:5E",
                            "00:1A:2B:3C:4D:5G", "00.1A.2B.3C.4D.5E", "0:1A:2B:3C:4D:5E0"}) {
        EXPECT_FALSE(ParseMacText(bad, mac)) << bad;
    }
}
