// A caller's cancel flag ends a connect that would otherwise wait out its
// whole time-out (an upgrade job cancelled while its camera does not answer).
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "net/LoopbackPeer.h"
#include "net/SWL_ConnectProc.h"
#include "net/SWL_Socket.h"

namespace {

// A refused connect is a failure only after the full time-out; without the
// flag this call would take a minute.
constexpr int kMinuteMs = 60000;
constexpr auto kLimit = std::chrono::seconds(20);

SWL_SOCKET ConnectRefusedUnless(const std::atomic<bool>* cancel) {
    auto proc = CSWL_ConnectProc::Create("127.0.0.1", loopback::ClosedPort());
    if (!proc) {
        return SWL_INVALID_SOCKET;
    }
    proc->SetCancelFlag(cancel);
    return proc->ConnectSynEx(kMinuteMs);
}

}  // namespace

TEST(ConnectCancel, AFlagSetBeforeOrDuringTheWaitEndsTheConnectAsAFailure) {
    std::atomic<bool> before{true};
    auto early = std::async(std::launch::async, [&] { return ConnectRefusedUnless(&before); });
    ASSERT_EQ(early.wait_for(kLimit), std::future_status::ready);
    EXPECT_EQ(early.get(), SWL_INVALID_SOCKET);

    std::atomic<bool> during{false};
    auto late = std::async(std::launch::async, [&] { return ConnectRefusedUnless(&during); });
    during.store(true);
    ASSERT_EQ(late.wait_for(kLimit), std::future_status::ready);
    EXPECT_EQ(late.get(), SWL_INVALID_SOCKET);
}

TEST(ConnectCancel, AnUnsetFlagLeavesASuccessfulConnectAlone) {
    loopback::CListener listener;
    const uint16_t port = listener.Port();

    std::atomic<bool> cancel{false};
    auto proc = CSWL_ConnectProc::Create("127.0.0.1", port);
    ASSERT_NE(proc, nullptr);
    proc->SetCancelFlag(&cancel);
    SWL_SOCKET sock = proc->ConnectSynEx(kMinuteMs);
    EXPECT_NE(sock, SWL_INVALID_SOCKET);
    SWL_CloseSocket(sock);
}
