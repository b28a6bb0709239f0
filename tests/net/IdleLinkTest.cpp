// Idle links cost nothing: the receive thread sleeps until bytes arrive or
// Destroy wakes it, and every link's keep-alives come from one timer thread.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "net/LoopbackPeer.h"
#include "net/SWL_TCPLink.h"
#include "support/TestSupport.h"

using loopback::Bytes;
using loopback::DataHead;
using testing_support::IsThreadBlocked;
using testing_support::ProcessThreads;
using testing_support::ReturnsWithin;
using testing_support::WaitFor;
using namespace std::chrono_literals;

namespace {

// The one thread in `now` that is not in `before`, or 0.
pid_t NewThread(const std::set<pid_t>& before, const std::set<pid_t>& now) {
    pid_t found = 0;
    for (pid_t tid : now) {
        if (before.count(tid) == 0) {
            if (found != 0) {
                return 0;
            }
            found = tid;
        }
    }
    return found;
}

// How often the thread gave up the processor of its own accord (its sleeps).
long VoluntarySwitches(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
            return std::stol(line.substr(line.find(':') + 1));
        }
    }
    return -1;
}

std::atomic<int> g_messages{0};
std::atomic<int> g_losses{0};

void Count(void*, const uint8_t* data, int32_t) {
    (data != nullptr ? g_messages : g_losses).fetch_add(1);
}

class IdleLink : public ::testing::Test {
protected:
    void SetUp() override {
        g_messages = 0;
        g_losses = 0;
        m_pair = loopback::MakePair();
        ASSERT_GE(m_pair.local, 0);
        m_link = CSWL_TCPLink::Create(m_pair.local, m_timer);
        ASSERT_NE(m_link, nullptr);
        ASSERT_EQ(m_link->Init(&Count, nullptr), 0);
        const std::set<pid_t> before = ProcessThreads();
        ASSERT_EQ(m_link->StartAutoRecv(), 0);
        ASSERT_TRUE(
            WaitFor([&] { return (m_recvThread = NewThread(before, ProcessThreads())) != 0; }));
        ASSERT_TRUE(WaitFor([&] { return IsThreadBlocked(m_recvThread); }));
    }

    loopback::SocketPair m_pair;
    CSWL_LinkTimer m_timer;  // outlives the link
    std::unique_ptr<CSWL_TCPLink> m_link;
    pid_t m_recvThread = 0;
};

}  // namespace

TEST_F(IdleLink, ReceiveThreadSleepsThroughKeepAlivesAndWakesOnData) {
    const long before = VoluntarySwitches(m_recvThread);
    // Two keep-alive heads: about two seconds of an idle link.
    EXPECT_EQ(m_pair.peer.Read(8), DataHead(0));
    EXPECT_EQ(m_pair.peer.Read(8), DataHead(0));
    // Polling in turns would have woken it hundreds of times meanwhile.
    EXPECT_LE(VoluntarySwitches(m_recvThread) - before, 2);

    ASSERT_TRUE(m_pair.peer.Write(loopback::Concat({DataHead(3), Bytes{'a', 'b', 'c'}})));
    EXPECT_TRUE(WaitFor([] { return g_messages.load() == 1; }));
    EXPECT_EQ(g_losses.load(), 0);
}

TEST_F(IdleLink, DestroyWakesTheSleepingReceiveThread) {
    EXPECT_TRUE(ReturnsWithin(5s, [&] { EXPECT_EQ(m_link->Destroy(), 0); }));
    EXPECT_EQ(ProcessThreads().count(m_recvThread), 0u);
    EXPECT_TRUE(m_pair.peer.WaitClosed());
}

TEST(IdleLinks, ShareOneTimerThreadThatEndsWithTheLastLink) {
    // A sanitizer's runtime starts a helper thread with the process's first
    // thread: that happens before the baseline is taken.
    std::thread([] {}).join();
    const std::set<pid_t> baseline = ProcessThreads();
    CSWL_LinkTimer timer;
    constexpr int kLinks = 6;
    std::vector<loopback::SocketPair> pairs(kLinks);
    std::vector<std::unique_ptr<CSWL_TCPLink>> links;
    for (auto& pair : pairs) {
        pair = loopback::MakePair();
        ASSERT_GE(pair.local, 0);
        links.push_back(CSWL_TCPLink::Create(pair.local, timer));
        ASSERT_NE(links.back(), nullptr);
        ASSERT_EQ(links.back()->Init(&Count, nullptr), 0);
        ASSERT_EQ(links.back()->StartAutoRecv(), 0);
    }
    // One receive thread per link and a single timer for all of them.
    // (Waited for: the system lists a thread a moment after its start or
    // its end.)
    EXPECT_TRUE(WaitFor([&] { return ProcessThreads().size() == baseline.size() + kLinks + 1; }))
        << ProcessThreads().size() << " threads, " << baseline.size() << " before";
    for (auto& pair : pairs) {
        EXPECT_EQ(pair.peer.Read(8), DataHead(0));
    }
    for (auto& link : links) {
        link->Destroy();
    }
    EXPECT_TRUE(WaitFor([&] { return ProcessThreads() == baseline; }))
        << ProcessThreads().size() << " threads, " << baseline.size() << " before";
    // A later link starts the timer again.
    auto pair = loopback::MakePair();
    auto link = CSWL_TCPLink::Create(pair.local, timer);
    ASSERT_EQ(link->Init(&Count, nullptr), 0);
    EXPECT_EQ(pair.peer.Read(8), DataHead(0));
}

TEST(IdleLinks, TwoTimersServeTheirOwnLinksAndEndApart) {
    std::thread([] {}).join();
    const std::set<pid_t> baseline = ProcessThreads();
    CSWL_LinkTimer first;
    CSWL_LinkTimer second;
    auto firstPair = loopback::MakePair();
    auto secondPair = loopback::MakePair();
    auto firstLink = CSWL_TCPLink::Create(firstPair.local, first);
    auto secondLink = CSWL_TCPLink::Create(secondPair.local, second);
    ASSERT_TRUE(firstLink && secondLink);
    ASSERT_EQ(firstLink->Init(&Count, nullptr), 0);
    ASSERT_EQ(secondLink->Init(&Count, nullptr), 0);
    // A thread per timer (two sessions' links never share one).
    EXPECT_TRUE(WaitFor([&] { return ProcessThreads().size() == baseline.size() + 2; }))
        << ProcessThreads().size() << " threads, " << baseline.size() << " before";
    EXPECT_EQ(firstPair.peer.Read(8), DataHead(0));
    EXPECT_EQ(secondPair.peer.Read(8), DataHead(0));
    // The first timer's last link goes: its thread ends, the second's goes on.
    firstLink->Destroy();
    EXPECT_TRUE(WaitFor([&] { return ProcessThreads().size() == baseline.size() + 1; }))
        << ProcessThreads().size() << " threads, " << baseline.size() << " before";
    EXPECT_EQ(secondPair.peer.Read(8), DataHead(0));
    EXPECT_EQ(secondPair.peer.Read(8), DataHead(0));
    secondLink->Destroy();
    EXPECT_TRUE(WaitFor([&] { return ProcessThreads() == baseline; }));
}

TEST(LinkSend, TwoPiecesGoOutAsOneMessage) {
    auto pair = loopback::MakePair();
    CSWL_LinkTimer timer;
    auto link = CSWL_TCPLink::Create(pair.local, timer);
    ASSERT_NE(link, nullptr);
    const Bytes head = {1, 2, 3};
    const Bytes body = loopback::Pattern(70000, 5);
    ASSERT_EQ(link->SendData(head.data(), 3, body.data(), static_cast<uint32_t>(body.size())), 0);
    EXPECT_EQ(pair.peer.ReadMessage(), loopback::Concat({head, body}));
}
