// The wait for an added local address sleeps on the kernel's announcements:
// inside a namespace of the test's own, an address added after the wait
// began ends it, another address does not, and a stop ends it at once. The
// wait's own limit is hours, so only a wake can end it within the test.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "netops/Ipv4.h"
#include "reach/Reachability.h"
#include "support/Netns.h"
#include "support/TestSupport.h"

using namespace reach;
using testing_support::CNetns;

namespace {

constexpr int kHoursAttempts = 100000;
constexpr uint32_t kHoursIntervalMs = 100;

// The real host's answers, each question counted.
class CCountedReach : public CReachability {
public:
    bool IsLocalHostAddress(uint32_t address) override {
        const bool listed = CReachability::IsLocalHostAddress(address);
        asked.fetch_add(1);
        return listed;
    }
    std::atomic<int> asked{0};
};

class AddressWait : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CNetns::IsRoot()) {
            GTEST_SKIP() << "needs root to create a network namespace (run as root, as CI does)";
        }
        m_ns = std::make_unique<CNetns>();
        ASSERT_TRUE(m_ns->Ok()) << m_ns->Error();
    }
    void TearDown() override {
        if (m_waiter.joinable()) {
            m_stop.request_stop();
            m_waiter.join();
        }
    }

    // Starts the wait for `address` on a thread inside the namespace.
    void StartWait(const char* address) {
        m_waiter = std::thread([this, wanted = InetAddr(address)] {
            m_ns->Run([&] {
                m_result = WaitForLocalAddress(m_reach, wanted, kHoursAttempts, kHoursIntervalMs,
                                               m_stop.get_token());
            });
            m_done = true;
        });
    }

    std::unique_ptr<CNetns> m_ns;
    CCountedReach m_reach;
    std::stop_source m_stop;
    std::thread m_waiter;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_result{false};
};

TEST_F(AddressWait, AnAddressAddedAfterTheWaitBeganEndsIt) {
    StartWait("10.91.0.7");
    ASSERT_TRUE(testing_support::WaitFor([&] { return m_reach.asked.load() == 1; }));

    // Another address is announced too: asked again, the wait goes on.
    ASSERT_TRUE(m_ns->Ip("addr add 10.91.0.6/24 dev lo"));
    ASSERT_TRUE(testing_support::WaitFor([&] { return m_reach.asked.load() >= 2; }));
    EXPECT_FALSE(m_done.load());

    ASSERT_TRUE(m_ns->Ip("addr add 10.91.0.7/24 dev lo"));
    ASSERT_TRUE(testing_support::WaitFor([&] { return m_done.load(); }));
    EXPECT_TRUE(m_result.load());
}

TEST_F(AddressWait, AStopEndsItAtOnceWithoutAnotherQuestion) {
    StartWait("10.91.0.8");
    ASSERT_TRUE(testing_support::WaitFor([&] { return m_reach.asked.load() == 1; }));
    m_stop.request_stop();
    ASSERT_TRUE(testing_support::WaitFor([&] { return m_done.load(); }));
    EXPECT_FALSE(m_result.load());
    EXPECT_EQ(m_reach.asked.load(), 1);
}

TEST_F(AddressWait, EndsAtItsLimitWhenNothingIsAdded) {
    bool listed = true;
    ASSERT_TRUE(
        m_ns->Run([&] { listed = WaitForLocalAddress(m_reach, InetAddr("10.91.0.9"), 3, 10); }));
    EXPECT_FALSE(listed);
    EXPECT_EQ(m_reach.asked.load(), 2) << "once at the start, once at the limit";
}

}  // namespace
