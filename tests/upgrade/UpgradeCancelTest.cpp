// Cancelling a batch while its workers wait: for the slave address, for the
// camera to go offline, to come back, to come back in upgrade mode, and for
// a block's acknowledgement. Every wait is set to ten minutes; the batch
// must still end within seconds, every job with a final result.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <stop_token>

#include "CountingReachability.h"
#include "app/Settings.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

namespace {

constexpr const char* kTenMinutes = "600";
// Far below every wait's own time-out, far above what a cancel needs.
constexpr int kEndLimitMs = 30000;

struct WaitCase {
    const char* name;
    // Transfers the camera completed before the wait (0 or 1).
    int transfers;
    // Gives the camera the behaviour that keeps its worker in the wait.
    std::function<void(SimCameraConfig& camera, const SimCameraConfig& first)> behave;
    // True once the camera's worker is in the wait.
    std::function<bool(CSessionHarness& h, const std::string& mac)> waiting;
};

bool LogHas(CSessionHarness& h, const std::string& line) {
    return h.Log().Contains(line);
}

const WaitCase kWaits[] = {
    {"SlaveAddress", 0,
     [](SimCameraConfig& camera, const SimCameraConfig& first) { camera.ip2 = first.ip2; },
     [](CSessionHarness& h, const std::string& mac) {
         return LogHas(h, "wait ip2 change, mac: " + mac);
     }},
    {"Offline", 1,
     // Still flashing, and so still answering, for far longer than the test.
     [](SimCameraConfig& camera, const SimCameraConfig&) { camera.flashMs = 600000; },
     [](CSessionHarness& h, const std::string& mac) {
         return LogHas(h, "wait device offline, mac: " + mac);
     }},
    {"Reboot", 1,
     [](SimCameraConfig& camera, const SimCameraConfig&) { camera.faults.neverReturn = true; },
     [](CSessionHarness& h, const std::string& mac) {
         return LogHas(h, "wait device reboot, mac: " + mac);
     }},
    {"UpgradeMode", 0,
     [](SimCameraConfig& camera, const SimCameraConfig&) {
         camera.faults.upgradeErrorAtBlock = 3;
         camera.faults.upgradeErrorWord = 22;
         camera.offlineMs = 600000;  // restarts, and is not back within the test
     },
     [](CSessionHarness& h, const std::string& mac) {
         return LogHas(h, "wait upgrade mode, mac: " + mac);
     }},
    {"BlockAcknowledgement", 0,
     [](SimCameraConfig& camera, const SimCameraConfig&) { camera.faults.stopAcksAtBlock = 20; },
     [](CSessionHarness& h, const std::string& mac) {
         return h.Fleet().CountEvents(mac, "acks_stopped") > 0;
     }},
};

void PrintTo(const WaitCase& wait, std::ostream* out) {
    *out << wait.name;
}

class UpgradeCancel : public ::testing::TestWithParam<WaitCase> {};

}  // namespace

TEST_P(UpgradeCancel, EndsEveryJobAndTheBatchLongBeforeTheWaitsTimeOut) {
    const WaitCase& wait = GetParam();
    CSessionHarness h;
    for (const char* key :
         {settings::kWaitIp2ChangeTimeout, settings::kWaitDeviceOfflineTimeout,
          settings::kWaitRebootTimeout, settings::kWaitUpgradeModeTimeout,
          settings::kWaitUpgradeProgressTimeout, settings::kWaitUpgradeCompleteTimeout}) {
        h.SetSetting(key, kTenMinutes);
    }
    // Two cameras in the same wait.
    const SimCameraConfig first = h.Camera(1);
    std::vector<std::string> macs;
    for (int n = 1; n <= 2; ++n) {
        SimCameraConfig camera = h.Camera(n);
        wait.behave(camera, first);
        h.Fleet().AddCamera(camera);
        macs.push_back(camera.mac);
    }
    ASSERT_TRUE(h.Start());
    ASSERT_EQ(h.StartBatch(macs, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    for (const std::string& mac : macs) {
        ASSERT_TRUE(h.WaitUntil([&] { return wait.waiting(h, mac); }, 20000)) << mac << " waits";
    }

    h.Session().CancelAll();
    ASSERT_TRUE(h.WaitForBatchEnd(kEndLimitMs)) << "the batch ends soon after the cancel";
    EXPECT_EQ(h.UnfinishedAtEnd(), std::vector<std::string>{});
    EXPECT_EQ(h.LastBatchJobs(), 2);
    for (const std::string& mac : macs) {
        EXPECT_EQ(h.FinalResult(mac), UpgradeResult::Cancelled) << mac;
        EXPECT_FALSE(h.Session().HasJob(mac)) << mac;
        EXPECT_EQ(h.Fleet().State(mac)->upgradesCompleted, wait.transfers) << mac;
    }
    EXPECT_FALSE(h.Session().IsUpgrading());
}

INSTANTIATE_TEST_SUITE_P(EachWait, UpgradeCancel, ::testing::ValuesIn(kWaits),
                         [](const ::testing::TestParamInfo<WaitCase>& each) {
                             return std::string(each.param.name);
                         });

// Waits inside one attempt that cannot look at the job's flag themselves:
// the cancel cuts the camera's connection. The login reply's own limit is
// 20 s; the batch ends long before.
TEST(UpgradeCancelInAttempt, LoginReplyWaitEndsAtTheCancel) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    cam.faults.silentLogin = true;
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    ASSERT_EQ(h.StartBatch({cam.mac}, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    ASSERT_TRUE(h.Fleet().WaitForEvent(cam.mac, "login", 20000));
    h.Session().CancelAll();
    // A generous limit, but half the reply's own.
    ASSERT_TRUE(h.WaitForBatchEnd(10000)) << "the cancel ends the login reply's wait";
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Cancelled);
}

// The web page thread waits for an address added in the camera's subnet;
// stopping the session (the window closing) ends that wait too.
TEST(UpgradeCancelInAttempt, WebPageWaitForAnAddedAddressEndsAtStop) {
    CSessionHarness h;
    // An address that is added but never listed; 3000 polls are five minutes.
    auto reach = std::make_shared<CCountingReachability>(0x0AFE0001u, 1 << 30);
    h.Options().reachability = reach;
    h.Options().timings.localAddressPolls = 3000;
    const auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(h.Session().RequestWebPage(*h.Record(cam.mac)));
    ASSERT_TRUE(h.WaitUntil([&] { return reach->LocalChecks() > 1; }));
    auto stopped = std::async(std::launch::async, [&h] { h.Session().Stop(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "Stop joins the web page thread once its wait has woken";
}

namespace {

// Reachability whose step for a camera takes ten minutes unless stopped.
class CSlowReachability : public IReachability {
public:
    void AddLinkLocalRoute() override {}
    bool MakeDeviceReachable(const DEVICE_S_INFO&, uint32_t& deviceAddress, uint32_t& addedAddress,
                             bool, std::stop_token stop) override {
        deviceAddress = 0;
        addedAddress = 0;
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_entered;
        m_changed.notify_all();
        m_changed.wait_for(lock, stop, std::chrono::minutes(10), [] { return false; });
        m_stopSeen = stop.stop_requested();
        return false;
    }
    bool IsLocalHostAddress(uint32_t) override { return false; }

    bool WaitUntilEntered() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_entered > 0; });
    }
    int Entered() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entered;
    }
    bool StopSeen() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stopSeen;
    }

private:
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    int m_entered = 0;
    bool m_stopSeen = false;
};

}  // namespace

// The coordinator prepares each camera (its reachability step) before its
// worker starts; a cancel then ends that step, and the camera and the ones
// behind it end "Cancelled".
TEST(UpgradeCancelInAttempt, CoordinatorReachabilityStepEndsAtCancel) {
    CSessionHarness h;
    auto reach = std::make_shared<CSlowReachability>();
    h.Options().reachability = reach;
    const auto first = h.Camera(1);
    const auto second = h.Camera(2);
    h.Fleet().AddCamera(first);
    h.Fleet().AddCamera(second);
    ASSERT_TRUE(h.Start());
    ASSERT_EQ(h.StartBatch({first.mac, second.mac}, h.NewStylePackage("fw.bin")),
              BatchStartResult::Started);
    ASSERT_TRUE(reach->WaitUntilEntered());
    h.Session().CancelAll();
    ASSERT_TRUE(h.WaitForBatchEnd(10000)) << "the cancel ends the reachability step";
    EXPECT_TRUE(reach->StopSeen());
    EXPECT_EQ(reach->Entered(), 1) << "no camera is prepared after the cancel";
    EXPECT_EQ(h.FinalResult(first.mac), UpgradeResult::Cancelled);
    EXPECT_EQ(h.FinalResult(second.mac), UpgradeResult::Cancelled);
    EXPECT_EQ(h.Fleet().CountEvents(first.mac, "login"), 0)
        << "the cancelled camera is never touched";
}
