#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "netops/Ipv4.h"
#include "reach/FreeAddress.h"

using namespace reach;

namespace {

// Scripted draws and a record of every candidate asked about.
struct Walk {
    explicit Walk(std::vector<uint32_t> d, std::set<uint32_t> u = {}, bool all = false)
        : draws(std::move(d)), used(std::move(u)), allUsed(all) {}

    std::vector<uint32_t> draws;
    std::set<uint32_t> used;  // host numbers that answer
    bool allUsed = false;
    std::vector<uint32_t> asked;  // host numbers, in order

    uint32_t Run(const char* device, const char* mask) {
        size_t next = 0;
        const uint32_t maskValue = InetAddr(mask);
        return ChooseFreeAddress(
            InetAddr(device), maskValue,
            [&](uint32_t candidate) {
                const uint32_t host = Ipv4ToHost(candidate) & ~Ipv4ToHost(maskValue);
                asked.push_back(host);
                return allUsed || used.count(host) != 0;
            },
            [&] { return next < draws.size() ? draws[next++] : 0u; });
    }
};

std::vector<uint32_t> Range(uint32_t from, uint32_t to) {
    std::vector<uint32_t> all;
    for (uint32_t i = from; i <= to; ++i) {
        all.push_back(i);
    }
    return all;
}

}  // namespace

TEST(FreeAddress, FirstFreeCandidateKeepsTheDevicesNetwork) {
    Walk walk({7, 3});
    EXPECT_EQ(walk.Run("10.1.2.3", "255.255.0.0"), InetAddr("10.1.0.7"));
    EXPECT_EQ(walk.asked, std::vector<uint32_t>{7});

    Walk stepping({7, 3}, {7, 10});
    EXPECT_EQ(stepping.Run("203.0.113.200", "255.255.255.0"), InetAddr("203.0.113.13"));
    EXPECT_EQ(stepping.asked, (std::vector<uint32_t>{7, 10, 13}));
}

TEST(FreeAddress, ADrawOfZeroStartsInTheMiddle) {
    Walk walk({0, 5});
    EXPECT_EQ(walk.Run("203.0.113.1", "255.255.255.0"), InetAddr("203.0.113.127"));
}

TEST(FreeAddress, EveryHostNumberIsTriedOnceWhenAllAreUsed) {
    // /24 gives 1..254; /28 gives 1..14, for many starts and steps.
    Walk big({100, 37}, {}, true);
    EXPECT_EQ(big.Run("203.0.113.1", "255.255.255.0"), 0u);
    EXPECT_EQ(big.asked.front(), 100u);
    std::vector<uint32_t> sorted = big.asked;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, Range(1, 254));

    for (uint32_t s = 1; s <= 14; ++s) {
        for (uint32_t d = 1; d < s; ++d) {
            Walk walk({s, d}, {}, true);
            ASSERT_EQ(walk.Run("203.0.113.1", "255.255.255.240"), 0u);
            std::sort(walk.asked.begin(), walk.asked.end());
            ASSERT_EQ(walk.asked, Range(1, 14)) << "s=" << s << " d=" << d;
        }
    }
}

TEST(FreeAddress, SmallMasks) {
    // /30: host numbers 1 and 2 only.
    Walk thirty({2, 1}, {}, true);
    EXPECT_EQ(thirty.Run("203.0.113.5", "255.255.255.252"), 0u);
    EXPECT_EQ(thirty.asked, (std::vector<uint32_t>{2, 1}));
    Walk thirtyFree({2, 1}, {2});
    EXPECT_EQ(thirtyFree.Run("203.0.113.5", "255.255.255.252"), InetAddr("203.0.113.5"));

    // /31, /32, a mask of 0 and a non-contiguous mask give nothing, unasked.
    for (const char* mask : {"255.255.255.254", "255.255.255.255", "0.0.0.0", "255.0.255.0"}) {
        Walk none({5, 1});
        EXPECT_EQ(none.Run("203.0.113.5", mask), 0u) << mask;
        EXPECT_TRUE(none.asked.empty()) << mask;
    }
}

TEST(FreeAddress, AStepOfZeroEndsAfterTheFirstUsedCandidate) {
    Walk walk({50, 50}, {50});  // d = 50 mod 50 = 0
    EXPECT_EQ(walk.Run("203.0.113.5", "255.255.255.0"), 0u);
    EXPECT_EQ(walk.asked, std::vector<uint32_t>{50});

    // On a /30 a draw of 0 makes s = 1 and so d = 0.
    Walk thirty({0, 9}, {1});
    EXPECT_EQ(thirty.Run("203.0.113.5", "255.255.255.252"), 0u);
    EXPECT_EQ(thirty.asked, std::vector<uint32_t>{1});
}

TEST(FreeAddress, LargeDrawsStayInRange) {
    Walk walk({0x7FFFFFFFu, 0x7FFFFFFEu}, {}, true);
    EXPECT_EQ(walk.Run("10.0.0.1", "255.255.255.0"), 0u);
    EXPECT_EQ(walk.asked.size(), 254u);
}
