// Inputs found by fuzzing the link's receive path, kept as regression tests.
#include <gtest/gtest.h>

#include <mutex>

#include "app/Logger.h"
#include "net/LoopbackPeer.h"
#include "net/SWL_TCPLink.h"
#include "support/TestSupport.h"

using loopback::Bytes;
using loopback::Concat;
using loopback::DataHead;
using loopback::Fragment;

namespace {

struct Received {
    std::mutex mutex;
    std::vector<Bytes> messages;
    std::atomic<int> nullData{0};

    static void Callback(void* context, const uint8_t* data, int32_t length) {
        auto* self = static_cast<Received*>(context);
        if (data == nullptr) {
            self->nullData.fetch_add(1);
            return;
        }
        std::lock_guard<std::mutex> guard(self->mutex);
        self->messages.emplace_back(data, data + length);
    }
    size_t Count() {
        std::lock_guard<std::mutex> guard(mutex);
        return messages.size();
    }
};

}  // namespace

// A fragmented message of total length 0 used to be handed out as an empty
// message, which reaches a receiver as a null pointer: the device client
// took it for the loss of the link, and its login reply parser stepped past
// the empty buffer.
TEST(LinkFuzzFindings, EmptyFragmentedMessageIsDropped) {
    CLogCapture log;
    auto pair = loopback::MakePair();
    ASSERT_GE(pair.local, 0);
    auto link = CSWL_TCPLink::Create(pair.local);
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(pair.peer.Write(Concat({Fragment(1, 1, 0, 1, 0, {}), DataHead(2), {'o', 'k'}})));
    Bytes got;
    int result = SWL_RECV_NOTHING;
    for (int turn = 0; turn < 10 && result == SWL_RECV_NOTHING; ++turn) {
        result = link->RecvData(got, true, 3000);
    }
    ASSERT_EQ(result, SWL_RECV_DONE);
    EXPECT_EQ(got, (Bytes{'o', 'k'}));
    EXPECT_FALSE(link->IsBroken());
    EXPECT_TRUE(log.Contains("message dropped, id: 1, received: 0, total length: 0"));
}

TEST(LinkFuzzFindings, EmptyFragmentedMessageNeverReachesTheCallback) {
    auto pair = loopback::MakePair();
    ASSERT_GE(pair.local, 0);
    auto link = CSWL_TCPLink::Create(pair.local);
    ASSERT_NE(link, nullptr);
    Received received;
    ASSERT_EQ(link->Init(&Received::Callback, &received), 0);
    ASSERT_EQ(link->StartAutoRecv(), 0);
    ASSERT_TRUE(pair.peer.Write(Concat({Fragment(4, 1, 0, 1, 1, {}), DataHead(1), {'x'}})));
    ASSERT_TRUE(testing_support::WaitFor([&] { return received.Count() == 1; }));
    EXPECT_EQ(received.nullData.load(), 0) << "no loss is reported while the link is up";
    link->Destroy();
}
