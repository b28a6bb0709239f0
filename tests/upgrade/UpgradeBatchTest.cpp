// The batch run: its refusals, the preparation of its cameras, slave-address
// waits and a full batch of 32 cameras.
#include <gtest/gtest.h>

#include "CountingReachability.h"
#include "app/Settings.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

namespace {

// Messages of one id, as "wParam text".
std::vector<std::string> MessagesOf(const CSessionHarness& h, uint32_t id) {
    std::vector<std::string> seen;
    for (const SeenMessage& message : h.Messages()) {
        if (message.id == id) {
            seen.push_back(std::to_string(message.wParam) + " " + message.text);
        }
    }
    return seen;
}

}  // namespace

TEST(UpgradeBatchRefusals, EachLeavesNoJobAndAddsNoAddress) {
    CSessionHarness h;
    h.SetSetting(settings::kWaitUpgradeProgressTimeout, "600");
    auto reach = std::make_shared<CCountingReachability>();
    h.Options().reachability = reach;
    auto healthy = h.Camera(1);
    auto shareA = h.Camera(2);
    auto shareB = h.Camera(3);
    shareB.ip2 = shareA.ip2;
    auto stalling = h.Camera(4);
    stalling.faults.stopAcksAtBlock = 2;
    for (const auto& cam : {healthy, shareA, shareB, stalling}) {
        h.Fleet().AddCamera(cam);
    }
    ASSERT_TRUE(h.Start());
    const std::string package = h.NewStylePackage("fw.bin");

    const auto expectNothingDone = [&](const std::vector<std::string>& macs) {
        EXPECT_EQ(reach->Asked(), std::vector<std::string>{}) << "no address is added";
        for (const std::string& mac : macs) {
            EXPECT_FALSE(h.Session().HasJob(mac)) << mac;
        }
        EXPECT_FALSE(h.Session().IsUpgrading());
        EXPECT_EQ(h.Session().Package(), nullptr) << "no package is taken";
    };

    EXPECT_EQ(h.StartBatch({healthy.mac}, ""), BatchStartResult::NoPackage);
    expectNothingDone({healthy.mac});
    EXPECT_EQ(h.StartBatch({}, package), BatchStartResult::NoDevice);
    expectNothingDone({});
    EXPECT_EQ(h.StartBatch({healthy.mac, shareA.mac, shareB.mac}, package, false),
              BatchStartResult::DuplicatesDeclined);
    EXPECT_EQ(h.duplicatesAsked, (std::vector<std::string>{shareA.mac, shareB.mac}));
    expectNothingDone({healthy.mac, shareA.mac, shareB.mac});
    EXPECT_EQ(h.Log().Count("upgrade package, file:"), 0) << "no file was read so far";

    // A file that cannot be opened or is empty is found only after the
    // checks above; the line naming it is still written.
    const std::string missing = h.Sandbox().File("missing.bin");
    EXPECT_EQ(h.StartBatch({healthy.mac}, missing), BatchStartResult::OpenFailed);
    EXPECT_TRUE(h.Log().Contains("upgrade package, file: " + missing + ", selectedCount: 1"));
    expectNothingDone({healthy.mac});
    EXPECT_EQ(h.StartBatch({healthy.mac}, h.WritePackage("empty.bin", {})),
              BatchStartResult::PackageInvalid);
    expectNothingDone({healthy.mac});
    EXPECT_EQ(h.StartBatch({healthy.mac}, h.WritePackage("short.bin", {0x18, 0x01, 0x22})),
              BatchStartResult::PackageInvalid);
    expectNothingDone({healthy.mac});

    // While a batch runs, another one is refused without touching its cameras.
    ASSERT_EQ(h.StartBatch({stalling.mac}, package), BatchStartResult::Started);
    ASSERT_TRUE(h.Fleet().WaitForEvent(stalling.mac, "acks_stopped", 10000));
    EXPECT_EQ(h.StartBatch({healthy.mac}, package), BatchStartResult::AlreadyRunning);
    EXPECT_EQ(reach->Asked(), std::vector<std::string>{stalling.mac});
    EXPECT_FALSE(h.Session().HasJob(healthy.mac));
    EXPECT_TRUE(h.Session().HasJob(stalling.mac));
    h.Session().CancelAll();
    ASSERT_TRUE(h.WaitForBatchEnd(30000));
    EXPECT_EQ(h.BatchEnds(), 1) << "a refused batch posts no end";
    EXPECT_EQ(MessagesOf(h, WM_BATCH_PREPARED), std::vector<std::string>{"1 " + stalling.mac});
    EXPECT_EQ(h.Results(healthy.mac), std::vector<CameraCode>{});
    EXPECT_EQ(h.Fleet().State(healthy.mac)->logins, 0);
}

TEST(UpgradeBatchStart, EveryCheckedCameraIsMadeReachableBeforeItsJob) {
    CSessionHarness h;
    // Jobs end at once: only the preparation matters here.
    h.SetSetting(settings::kTryUpgradeMaxCount, "0");
    // The added address is listed by the host at the third question.
    auto reach = std::make_shared<CCountingReachability>(0x0A0000FE, 3);
    h.Options().reachability = reach;
    h.Options().timings.localAddressPolls = 5;
    auto a = h.Camera(1);
    auto b = h.Camera(2);
    h.Fleet().AddCamera(a);
    h.Fleet().AddCamera(b);
    ASSERT_TRUE(h.Start());
    h.RunBatch({a.mac, b.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(reach->Asked(), (std::vector<std::string>{a.mac, b.mac}));
    EXPECT_TRUE(reach->FirstAddressTried());
    // Each added address is awaited until the host lists it (3 questions,
    // then 1 for the second camera).
    EXPECT_EQ(reach->LocalChecks(), 3 + 1);
    EXPECT_EQ(MessagesOf(h, WM_BATCH_PREPARED),
              (std::vector<std::string>{"1 " + a.mac, "2 " + b.mac}));
    // Both cameras were queued before either was prepared.
    ASSERT_GE(h.Messages().size(), 3u);
    EXPECT_EQ(h.Messages()[0].wParam, NumberOf(UpgradeProgress::Queued));
    EXPECT_EQ(h.Messages()[1].wParam, NumberOf(UpgradeProgress::Queued));
    EXPECT_EQ(h.Messages()[2].id, WM_BATCH_PREPARED);
    EXPECT_EQ(h.Results(a.mac),
              (std::vector<CameraCode>{UpgradeProgress::Queued, UpgradeResult::Failed}));
    EXPECT_EQ(h.Results(b.mac),
              (std::vector<CameraCode>{UpgradeProgress::Queued, UpgradeResult::Failed}));
}

// Cameras without a second address share nothing: a false "shared"
// verdict would make them wait too.
TEST(UpgradeBatch, SharedSlaveAddressWaitsThenGoesOn) {
    CSessionHarness h;
    h.SetSetting(settings::kWaitIp2ChangeTimeout, "1");
    auto a = h.Camera(1);
    auto b = h.Camera(2);
    b.ip2 = a.ip2;
    auto c = h.Camera(3);
    auto d = h.Camera(4);
    c.ip2 = "";
    d.ip2 = "";
    for (const auto& cam : {a, b, c, d}) {
        h.Fleet().AddCamera(cam);
    }
    ASSERT_TRUE(h.Start());
    h.RunBatch({a.mac, b.mac, c.mac, d.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.duplicatesAsked, (std::vector<std::string>{a.mac, b.mac}));
    for (const auto& cam : {a, b, c, d}) {
        EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok) << cam.mac;
    }
    EXPECT_EQ(h.Log().Count("wait ip2 change timeout, ip2: " + a.ip2), 2);
    EXPECT_EQ(h.Log().Count("wait ip2 change timeout"), 2);
    EXPECT_EQ(h.Log().Count("no repeat ip2: :"), 2);
}

TEST(UpgradeBatch, SlaveAddressChangedBySearchEndsTheWait) {
    CSessionHarness h;
    h.SetSetting(settings::kWaitIp2ChangeTimeout, "30");
    auto a = h.Camera(1);
    auto b = h.Camera(2);
    b.ip2 = a.ip2;
    b.faults.ip2ChangeAfterMs = 1500;
    b.faults.ip2ChangeTo = h.Camera(3).ip2;
    b.faults.ip2ChangeMask = "255.0.0.0";
    h.Fleet().AddCamera(a);
    h.Fleet().AddCamera(b);
    ASSERT_TRUE(h.Start());
    h.RunBatch({a.mac, b.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(a.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.FinalResult(b.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.Log().Count("wait ip2 change timeout"), 0);
    EXPECT_EQ(h.Log().Count("no repeat ip2: "), 2);
}

TEST(UpgradeBatch, ThirtyTwoCamerasAllFinish) {
    CSessionHarness h;
    std::vector<std::string> macs;
    for (int i = 1; i <= 32; ++i) {
        auto cam = h.Camera(i);
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    ASSERT_TRUE(h.Start());
    h.RunBatch(macs, h.NewStylePackage("fw.bin", 100000));
    for (const std::string& mac : macs) {
        EXPECT_EQ(h.FinalResult(mac), UpgradeResult::Ok) << mac;
        EXPECT_FALSE(h.Session().HasJob(mac)) << mac;
    }
    EXPECT_EQ(h.LastBatchJobs(), 32);
    EXPECT_FALSE(h.Session().IsUpgrading());
    EXPECT_TRUE(h.Session().WaitForBatchEnd(10000)) << "the batch's threads are joined";
}
