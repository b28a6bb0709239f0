#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/Logger.h"
#include "net/LoopbackPeer.h"
#include "net/SWL_ConnectProc.h"
#include "net/SWL_Socket.h"
#include "support/TestSupport.h"

using testing_support::WaitFor;

namespace {

bool IsOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

std::string RefusedLine(int timeoutMs) {
    return "connect failed 0, " + std::to_string(ECONNREFUSED) +
           ", timeout: " + std::to_string(timeoutMs);
}

}  // namespace

TEST(SocketLayer, StartUpCountPairsInitWithQuit) {
    EXPECT_EQ(SWL_Quit(), 0);  // without SWL_Init: nothing to undo
    EXPECT_EQ(SWL_InitCount(), 0);
    EXPECT_EQ(SWL_Init(), 0);
    EXPECT_EQ(SWL_Init(), 0);
    EXPECT_EQ(SWL_InitCount(), 2);
    EXPECT_EQ(SWL_Quit(), 0);
    EXPECT_EQ(SWL_Quit(), 0);
    EXPECT_EQ(SWL_Quit(), 0);
    EXPECT_EQ(SWL_InitCount(), 0);
}

TEST(SocketLayer, SocketsAreNonBlockingAndCloseResetsTheVariable) {
    SWL_SOCKET sock = SWL_CreateSocket(SWL_AF_INET, SWL_SOCK_STREAM, 0);
    ASSERT_NE(sock, SWL_INVALID_SOCKET);
    EXPECT_NE(fcntl(sock, F_GETFL) & O_NONBLOCK, 0);
    char byte = 0;
    EXPECT_EQ(SWL_Recv(sock, &byte, 1), -1);  // not connected: fails at once
    EXPECT_EQ(SWL_CloseSocket(sock), 0);
    EXPECT_EQ(sock, SWL_INVALID_SOCKET);
}

TEST(SocketLayer, SelectTimesOutOnAQuietSocket) {
    auto pair = loopback::MakePair();
    ASSERT_GE(pair.local, 0);
    EXPECT_EQ(SWL_Select(pair.local, true, false, 20), 0);
    EXPECT_EQ(SWL_Select(pair.local, false, true, 20), 1);
    ASSERT_TRUE(pair.peer.Write({1}));
    EXPECT_EQ(SWL_Select(pair.local, true, false, 2000), 1);
    SWL_CloseSocketEx(pair.local);
}

TEST(SocketLayer, SendToAClosedPeerFailsWithoutSignal) {
    auto pair = loopback::MakePair();
    ASSERT_GE(pair.local, 0);
    pair.peer.Close();
    std::vector<uint8_t> data(1 << 16, 1);
    int result = 0;
    int error = 0;
    // The reset arrives after a first send; a later one fails.
    EXPECT_TRUE(WaitFor([&] {
        result = SWL_Send(pair.local, data.data(), data.size());
        error = SWL_GetLastError();
        return result < 0;
    }));
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << "not a full buffer: " << error;
    SWL_CloseSocketEx(pair.local);
}

TEST(SocketLayer, ConnectExTellsRefusedFromConnected) {
    loopback::CListener listener;
    SWL_IPV4_ADDRESS address;
    ASSERT_TRUE(SWL_MakeAddress("127.0.0.1", listener.Port(), address));
    SWL_SOCKET good = SWL_CreateSocket(SWL_AF_INET, SWL_SOCK_STREAM, 0);
    EXPECT_EQ(SWL_ConnectEx(good, address.Get(), SWL_IPV4_ADDRESS::kLength, 2000), 0);
    SWL_CloseSocket(good);

    ASSERT_TRUE(SWL_MakeAddress("127.0.0.1", loopback::ClosedPort(), address));
    SWL_SOCKET refused = SWL_CreateSocket(SWL_AF_INET, SWL_SOCK_STREAM, 0);
    EXPECT_EQ(SWL_ConnectEx(refused, address.Get(), SWL_IPV4_ADDRESS::kLength, 2000), -1);
    SWL_CloseSocket(refused);

    EXPECT_FALSE(SWL_MakeAddress("300.1.1.1", 1, address));
    EXPECT_FALSE(SWL_MakeAddress("camera", 1, address));
}

TEST(ConnectProc, WaitStepsAreWholeSecondsThenTheRest) {
    using Steps = std::vector<int>;
    EXPECT_EQ(CSWL_ConnectProc::WaitSteps(0), (Steps{1000}));
    EXPECT_EQ(CSWL_ConnectProc::WaitSteps(300), (Steps{300}));
    EXPECT_EQ(CSWL_ConnectProc::WaitSteps(1000), (Steps{1000}));
    EXPECT_EQ(CSWL_ConnectProc::WaitSteps(1500), (Steps{1000, 500}));
    EXPECT_EQ(CSWL_ConnectProc::WaitSteps(2500), (Steps{1000, 1000, 500}));
    EXPECT_EQ(CSWL_ConnectProc::WaitSteps(3000), (Steps{1000, 1000, 1000}));
}

TEST(ConnectProc, RejectsAddressTextThatIsNotIPv4) {
    EXPECT_EQ(CSWL_ConnectProc::Create("camera.local", 80), nullptr);
    EXPECT_EQ(CSWL_ConnectProc::Create("127.0.0.1.1", 80), nullptr);
    EXPECT_EQ(CSWL_ConnectProc::Create(nullptr, 80), nullptr);
    EXPECT_NE(CSWL_ConnectProc::Create("127.0.0.1", 80), nullptr);
}

TEST(ConnectProc, AcceptedConnectReturnsAtOnceAndHandsTheSocketOver) {
    loopback::CListener listener;
    auto proc = CSWL_ConnectProc::Create("127.0.0.1", listener.Port());
    ASSERT_NE(proc, nullptr);
    const SWL_SOCKET sock = proc->ConnectSynEx(3000);
    ASSERT_NE(sock, SWL_INVALID_SOCKET);
    EXPECT_EQ(proc->LastWaitSteps().size(), 1u);
    EXPECT_EQ(proc->GetSocket(), SWL_INVALID_SOCKET);
    EXPECT_NE(fcntl(sock, F_GETFL) & O_NONBLOCK, 0);
    proc.reset();  // must leave the handed-out socket open
    EXPECT_TRUE(IsOpen(sock));
    auto peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    EXPECT_EQ(SWL_Send(sock, "x", 1), 1);
    EXPECT_EQ(peer.Read(1), loopback::Bytes{'x'});
    SWL_CloseSocketEx(sock);
}

// A refused connect is never handed out, and, like an unanswered one, it
// ends only after the full time-out: every wait step is taken. (How a
// time-out splits into steps is WaitStepsAreWholeSecondsThenTheRest's.)
TEST(ConnectProc, RefusedConnectFailsAfterEveryWaitStep) {
    CLogCapture log;
    auto proc = CSWL_ConnectProc::Create("127.0.0.1", loopback::ClosedPort());
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc->ConnectSynEx(1500), SWL_INVALID_SOCKET);
    EXPECT_EQ(proc->LastWaitSteps(), (std::vector<int>{1000, 500}));
    EXPECT_EQ(proc->LastError(), ECONNREFUSED);
    EXPECT_TRUE(log.Contains(RefusedLine(1500)));
    // The socket stays in the object until it is destroyed.
    const SWL_SOCKET kept = proc->GetSocket();
    EXPECT_NE(kept, SWL_INVALID_SOCKET);
    proc.reset();
    EXPECT_FALSE(IsOpen(kept));
}

TEST(ConnectProc, StopEndsTheWaitAtTheNextStep) {
    // Sixty steps: a wait that Stop did not end would take a minute.
    constexpr int kTimeoutMs = 60000;
    auto proc = CSWL_ConnectProc::Create("127.0.0.1", loopback::ClosedPort());
    ASSERT_NE(proc, nullptr);
    std::atomic<pid_t> connecting{0};
    SWL_SOCKET sock = 0;  // the connect's result
    std::thread connector([&] {
        connecting = testing_support::ThisThreadId();
        sock = proc->ConnectSynEx(kTimeoutMs);
    });
    // Stop once the connect sleeps in its first step.
    EXPECT_TRUE(
        WaitFor([&] { return connecting != 0 && testing_support::IsThreadBlocked(connecting); }));
    proc->Stop();
    connector.join();
    EXPECT_EQ(sock, SWL_INVALID_SOCKET);
    EXPECT_EQ(proc->LastError(), ECONNREFUSED);
    EXPECT_LT(proc->LastWaitSteps().size(), CSWL_ConnectProc::WaitSteps(kTimeoutMs).size());
}

TEST(ConnectProc, UnansweredConnectTimesOutAfterEveryWaitStep) {
    // A listener whose accept queue is full drops new connection requests.
    loopback::CListener listener("127.0.0.1", 0);
    const int first = loopback::ConnectTo("127.0.0.1", listener.Port());
    ASSERT_GE(first, 0);
    CLogCapture log;
    auto proc = CSWL_ConnectProc::Create("127.0.0.1", listener.Port());
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc->ConnectSynEx(1500), SWL_INVALID_SOCKET);
    EXPECT_EQ(proc->LastWaitSteps(), (std::vector<int>{1000, 500}));
    EXPECT_TRUE(log.Contains("connect failed 0, " + std::to_string(ETIMEDOUT) + ", timeout: 1500"));
    close(first);
}
