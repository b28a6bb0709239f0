// The batch's way through its states (idle, starting, running, cancelling,
// ended) as the session reports it, each call a state does not allow, and
// what stays readable once the session has stopped.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

#include "net/SWL_LinkTimer.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

namespace {

// A client factory whose connects wait until the test opens the gate (or
// the job is cancelled): the batch stays Running as long as the test needs.
struct ConnectGate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int waiting = 0;

    void Open() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            open = true;
        }
        changed.notify_all();
    }
    bool WaitForConnect() {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [this] { return waiting > 0; });
    }
};

UpgradeClientFactory GatedFactory(const std::shared_ptr<ConnectGate>& gate) {
    // The factory's own link timer, alive as long as a copy of it.
    auto timer = std::make_shared<CSWL_LinkTimer>();
    const UpgradeClientFactory real = DefaultUpgradeClientFactory(*timer);
    return [gate, timer, real](const std::string& mac, const std::string& ip, uint16_t port,
                               uint32_t& error, uint32_t timeoutMs,
                               const std::atomic<bool>* cancel) -> UpgradeDeviceClientPtr {
        {
            std::unique_lock<std::mutex> lock(gate->mutex);
            ++gate->waiting;
            gate->changed.notify_all();
            // A cancel sets the job's flag without a notify: looked at every
            // 10 ms turn, as a connect does.
            while (!gate->open && !(cancel != nullptr && cancel->load())) {
                gate->changed.wait_for(lock, std::chrono::milliseconds(10));
            }
            --gate->waiting;
        }
        return real(mac, ip, port, error, timeoutMs, cancel);
    };
}

struct BatchStateTest : ::testing::Test {
    void SetUp() override {
        h.Options().clientFactory = GatedFactory(gate);
        h.rememberLogin = false;
        first = h.Camera(1);
        second = h.Camera(2);
        h.Fleet().AddCamera(first);
        h.Fleet().AddCamera(second);
        ASSERT_TRUE(h.Start());
        package = h.NewStylePackage("fw.bin");
    }
    CFirmhandSession& Session() { return h.Session(); }
    BatchRequest Request(const std::vector<std::string>& macs) {
        BatchRequest request = h.Request(macs);
        request.packagePath = package;
        return request;
    }

    // Both cameras on one slave address: the start asks whether to go on.
    BatchRequest SharingRequest() {
        BatchRequest request = Request({first.mac, second.mac});
        auto sharing = std::make_shared<DEVICE_S_INFO>(*request.devices[1]);
        std::memcpy(sharing->ip2, request.devices[0]->ip2, sizeof(sharing->ip2));
        request.devices[1] = sharing;
        return request;
    }

    std::shared_ptr<ConnectGate> gate = std::make_shared<ConnectGate>();
    CSessionHarness h;
    SimCameraConfig first;
    SimCameraConfig second;
    std::string package;
};

}  // namespace

TEST_F(BatchStateTest, IdleAllowsOnlyAStart) {
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Idle);
    EXPECT_EQ(Session().CancelAll(), BatchCallResult::WrongState) << "nothing to cancel";
    EXPECT_TRUE(Session().WaitForBatchEnd(0));
    EXPECT_FALSE(Session().IsUpgrading());
    EXPECT_EQ(Session().RunJournalPath(), "");
    EXPECT_TRUE(Session().LastBatchOutcomes().empty());
    // A refused start goes back to Idle.
    EXPECT_EQ(h.StartBatch(h.Request({first.mac})), BatchStartResult::NoPackage);
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Idle);
}

TEST_F(BatchStateTest, RunsToItsEndAndStartsAgainFromEnded) {
    ASSERT_EQ(h.StartBatch(Request({first.mac})), BatchStartResult::Started);
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Running) << "the connect waits at the gate";
    EXPECT_TRUE(Session().IsUpgrading());
    EXPECT_EQ(h.StartBatch(Request({second.mac})), BatchStartResult::AlreadyRunning);
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Running) << "a refused start changes nothing";
    EXPECT_FALSE(Session().WaitForBatchEnd(0));
    gate->Open();
    ASSERT_TRUE(h.WaitForBatchEnd());
    ASSERT_TRUE(Session().WaitForBatchEnd(10000));
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Ended);
    EXPECT_FALSE(Session().IsUpgrading());
    EXPECT_EQ(Session().CancelAll(), BatchCallResult::WrongState) << "nothing to cancel";
    ASSERT_EQ(Session().LastBatchOutcomes().size(), 1u);
    EXPECT_EQ(Session().LastBatchOutcomes()[0].mac, first.mac);
    EXPECT_EQ(Session().LastBatchOutcomes()[0].code, UpgradeResult::Ok);
    const std::string firstJournal = Session().RunJournalPath();
    EXPECT_NE(firstJournal, "");

    // A refused start from Ended goes back to Ended; the last batch stays.
    EXPECT_EQ(h.StartBatch(h.Request({second.mac})), BatchStartResult::NoPackage);
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Ended);
    EXPECT_EQ(Session().LastBatchOutcomes().size(), 1u);

    ASSERT_EQ(h.StartBatch(Request({second.mac})), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    ASSERT_TRUE(Session().WaitForBatchEnd(10000));
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Ended);
    ASSERT_EQ(Session().LastBatchOutcomes().size(), 1u);
    EXPECT_EQ(Session().LastBatchOutcomes()[0].mac, second.mac);
    EXPECT_EQ(Session().LastBatchOutcomes()[0].code, UpgradeResult::Ok);
    EXPECT_NE(Session().RunJournalPath(), firstJournal);
}

TEST_F(BatchStateTest, CancelOnceWhileRunningThenEnded) {
    ASSERT_EQ(h.StartBatch(Request({first.mac, second.mac})), BatchStartResult::Started);
    ASSERT_TRUE(gate->WaitForConnect());
    EXPECT_EQ(Session().CancelAll(), BatchCallResult::Done);
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Cancelling);
    EXPECT_TRUE(Session().IsUpgrading()) << "until its end is posted";
    EXPECT_EQ(Session().CancelAll(), BatchCallResult::WrongState) << "cancelled already";
    EXPECT_EQ(h.StartBatch(Request({first.mac})), BatchStartResult::AlreadyRunning);
    ASSERT_TRUE(h.WaitForBatchEnd());
    ASSERT_TRUE(Session().WaitForBatchEnd(10000));
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Ended);
    const auto outcomes = Session().LastBatchOutcomes();
    ASSERT_EQ(outcomes.size(), 2u) << "one per camera, in request order";
    EXPECT_EQ(outcomes[0].mac, first.mac);
    EXPECT_EQ(outcomes[1].mac, second.mac);
    for (const BatchOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.code, h.FinalResult(outcome.mac)) << outcome.mac;
        EXPECT_NE(outcome.code, UpgradeResult::Ok) << outcome.mac;
    }
}

TEST_F(BatchStateTest, ACancelWhileStartingEndsTheBatchAtOnce) {
    // The start asks, and the test answers from within the Starting state.
    BatchRequest request = SharingRequest();
    BatchState seen = BatchState::Idle;
    BatchStartResult nested = BatchStartResult::Started;
    BatchCallResult cancel = BatchCallResult::WrongState;
    request.confirmDuplicates = [&](const std::vector<std::string>&) {
        seen = Session().BatchStateNow();
        nested = Session().StartBatch(Request({first.mac}));
        cancel = Session().CancelAll();
        return true;
    };
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    EXPECT_EQ(seen, BatchState::Starting);
    EXPECT_EQ(nested, BatchStartResult::AlreadyRunning) << "a start while starting";
    EXPECT_EQ(cancel, BatchCallResult::Done);
    ASSERT_TRUE(h.WaitForBatchEnd());
    ASSERT_TRUE(Session().WaitForBatchEnd(10000));
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Ended);
    EXPECT_EQ(gate->waiting, 0);
    for (const BatchOutcome& outcome : Session().LastBatchOutcomes()) {
        EXPECT_EQ(outcome.code, UpgradeResult::Cancelled) << outcome.mac;
    }
    EXPECT_EQ(Session().LastBatchOutcomes().size(), 2u);
}

TEST_F(BatchStateTest, AStopEndsTheBatchAndKeepsItReadable) {
    ASSERT_EQ(h.StartBatch(Request({first.mac})), BatchStartResult::Started);
    ASSERT_TRUE(gate->WaitForConnect());
    const std::string journal = Session().RunJournalPath();
    ASSERT_NE(journal, "");
    Session().Stop();
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Ended);
    EXPECT_FALSE(Session().IsUpgrading());
    EXPECT_TRUE(Session().WaitForBatchEnd(0));
    EXPECT_EQ(Session().RunJournalPath(), journal);
    ASSERT_EQ(Session().LastBatchOutcomes().size(), 1u);
    EXPECT_EQ(Session().LastBatchOutcomes()[0].mac, first.mac);
    EXPECT_EQ(Session().CancelAll(), BatchCallResult::WrongState);
    EXPECT_EQ(Session().StartBatch(Request({second.mac})), BatchStartResult::ThreadFailed);
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Ended);
}

TEST_F(BatchStateTest, AStopWhileStartingStartsNothing) {
    BatchRequest request = SharingRequest();
    request.confirmDuplicates = [&](const std::vector<std::string>&) {
        Session().Stop();  // the window closes while it asks
        return true;
    };
    EXPECT_EQ(h.StartBatch(request), BatchStartResult::ThreadFailed);
    EXPECT_EQ(Session().BatchStateNow(), BatchState::Idle);
    EXPECT_EQ(Session().RunJournalPath(), "") << "no journal begun";
    EXPECT_FALSE(Session().UnfinishedRun());
    EXPECT_EQ(gate->waiting, 0);
    EXPECT_EQ(Session().CancelAll(), BatchCallResult::WrongState);
}
