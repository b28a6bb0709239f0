// The batch run: its refusals, slave-address waits, cancellation and a full
// batch of 32 cameras.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "app/IniFile.h"
#include "app/MessageQueue.h"
#include "app/Settings.h"
#include "upgrade/UpgradeResult.h"
#include "upgrade/UpgradeTimings.h"

TEST(UpgradeBatch, RefusalsInTheirOrder) {
    CEngineHarness h;
    auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    h.Start();
    EXPECT_EQ(h.StartBatch({cam.mac}, ""), BatchStartResult::NoPackage);
    EXPECT_EQ(h.StartBatch({}, "x.bin"), BatchStartResult::NoDevice);
    EXPECT_TRUE(h.Log().Count("upgrade package, file:") == 0);
    // A missing file is found only after the checks, and the line is still written.
    EXPECT_EQ(h.StartBatch({cam.mac}, "/nonexistent/fw.bin"), BatchStartResult::OpenFailed);
    EXPECT_TRUE(h.Log().Contains("upgrade package, file: /nonexistent/fw.bin, selectedCount: 1"));
    EXPECT_FALSE(h.Engine().IsUpgrading());

    ASSERT_EQ(h.StartBatch({cam.mac}, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    EXPECT_EQ(h.StartBatch({cam.mac}, h.NewStylePackage("fw.bin")),
              BatchStartResult::AlreadyRunning);
    EXPECT_TRUE(h.WaitForBatchEnd());
    EXPECT_FALSE(h.Engine().IsUpgrading());
    EXPECT_EQ(h.Engine().Jobs().jobCount(), 0u) << "the table is emptied at the end";
}

TEST(UpgradeBatch, MoreThan32CamerasAreRefused) {
    CEngineHarness h;
    h.Start();
    BatchRequest request;
    for (int i = 0; i < 33; ++i) {
        auto record = std::shared_ptr<DEVICE_S_INFO>(MakeEmptyDeviceInfo().release());
        CopyField(record->mac, "02:00:00:00:01:" + std::to_string(10 + i));
        CopyField(record->ip2, "10.0.0." + std::to_string(i));
        request.devices.push_back(record);
    }
    request.packagePath = "/nonexistent";
    EXPECT_EQ(h.Engine().StartBatch(request), BatchStartResult::TooManyDevices);
    EXPECT_FALSE(h.Log().Contains("upgrade package, file:")) << "no file is read";
}

TEST(UpgradeBatch, SharedSlaveAddressAsksAndCancelStops) {
    CEngineHarness h;
    auto a = h.Camera(1);
    auto b = h.Camera(2);
    b.ip2 = "";
    a.ip2 = "";
    h.Fleet().AddCamera(a);
    h.Fleet().AddCamera(b);
    h.Start();
    EXPECT_EQ(h.StartBatch({a.mac, b.mac}, h.NewStylePackage("fw.bin"), false),
              BatchStartResult::DuplicatesDeclined);
    EXPECT_EQ(h.duplicatesAsked.size(), 2u);
    EXPECT_FALSE(h.Engine().IsUpgrading());
}

TEST(UpgradeBatch, SharedSlaveAddressWaitsThenGoesOn) {
    CEngineHarness h;
    h.SetSetting(settings::kWaitIp2ChangeTimeout, "1");
    auto a = h.Camera(1);
    auto b = h.Camera(2);
    b.ip2 = "";
    a.ip2 = "";
    h.Fleet().AddCamera(a);
    h.Fleet().AddCamera(b);
    h.Start();
    h.RunBatch({a.mac, b.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(a.mac), UPGRADE_OK);
    EXPECT_EQ(h.FinalResult(b.mac), UPGRADE_OK);
    EXPECT_EQ(h.Log().Count("wait ip2 change timeout, ip2: :"), 2);
}

TEST(UpgradeBatch, SlaveAddressChangedBySearchEndsTheWait) {
    CEngineHarness h;
    h.SetSetting(settings::kWaitIp2ChangeTimeout, "30");
    auto a = h.Camera(1);
    auto b = h.Camera(2);
    b.ip2 = a.ip2;
    b.faults.ip2ChangeAfterMs = 1500;
    b.faults.ip2ChangeTo = h.Camera(3).ip2;
    b.faults.ip2ChangeMask = "255.0.0.0";
    h.Fleet().AddCamera(a);
    h.Fleet().AddCamera(b);
    h.Start();
    h.RunBatch({a.mac, b.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(a.mac), UPGRADE_OK);
    EXPECT_EQ(h.FinalResult(b.mac), UPGRADE_OK);
    EXPECT_EQ(h.Log().Count("wait ip2 change timeout"), 0);
    EXPECT_EQ(h.Log().Count("no repeat ip2: "), 2);
}

TEST(UpgradeBatch, CancelledTransferEndsAsFailure) {
    CEngineHarness h;
    h.SetSetting(settings::kWaitUpgradeProgressTimeout, "20");
    auto cam = h.Camera(1);
    cam.faults.stopAcksAtBlock = 20;
    h.Fleet().AddCamera(cam);
    h.Start();
    ASSERT_EQ(h.StartBatch({cam.mac}, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    ASSERT_TRUE(testing_support::WaitFor([&] {
        h.Pump(10);
        return h.Fleet().State(cam.mac)->lastBlock >= 19;
    }));
    auto job = h.Engine().Jobs().findJob(cam.mac);
    ASSERT_TRUE(job);
    h.Engine().CancelAll();
    ASSERT_TRUE(h.Engine().WaitForWorkers(10000));
    h.Pump(50);
    EXPECT_TRUE(job->cancelled.load());
    EXPECT_TRUE(job->finished.load());
    EXPECT_EQ(h.FinalResult(cam.mac), UPGRADE_FAILED);
    EXPECT_EQ(h.Fleet().State(cam.mac)->upgradesCompleted, 0);
}

TEST(UpgradeBatch, ThirtyTwoCamerasAllFinish) {
    CEngineHarness h;
    std::vector<std::string> macs;
    for (int i = 1; i <= 32; ++i) {
        auto cam = h.Camera(i);
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    h.Start();
    h.RunBatch(macs, h.NewStylePackage("fw.bin", 100000));
    for (const std::string& mac : macs) {
        EXPECT_EQ(h.FinalResult(mac), UPGRADE_OK) << mac;
    }
    EXPECT_EQ(h.Engine().RunningWorkers() >= 0, true);
    EXPECT_TRUE(h.Engine().WaitForWorkers(10000));
}

TEST(UpgradeBatchEnd, WaitsForEveryJobsFinalResultWhateverTheOrder) {
    testing_support::CSandbox box;
    testing_support::CScopedEnv xdg("XDG_DATA_HOME", box.File("data"));
    ResetIniPaths();
    GetProgramIni().SetPath(box.File("firmhand.ini"));
    GetProgramIni().SetOverride(settings::kTryUpgradeMaxCount, "0");
    GetProgramIni().SetOverride(settings::kWaitIp2ChangeTimeout, "0");
    box.Write("fw.bin", "\x18\x01\x22\x20payload");
    auto queue = std::make_shared<CMessageQueue>();
    CUpgradeEngine engine(queue);
    BatchRequest request;
    for (const char* mac : {"02:00:00:00:00:0A", "02:00:00:00:00:0B"}) {
        auto record = std::shared_ptr<DEVICE_S_INFO>(MakeEmptyDeviceInfo().release());
        CopyField(record->mac, mac);
        CopyField(record->ip2, std::string("10.0.0.") + mac[16]);
        request.devices.push_back(record);
    }
    request.packagePath = box.File("fw.bin");
    ASSERT_EQ(engine.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(engine.WaitForWorkers(10000));
    ASSERT_TRUE(engine.Jobs().AllJobsFinished());

    // Both jobs are finished, but only B's final result has been shown.
    EXPECT_FALSE(engine.OnUpgradeResult(UPGRADE_STATE_STARTING, "02:00:00:00:00:0B"));
    EXPECT_FALSE(engine.OnUpgradeResult(UPGRADE_FAILED, "02:00:00:00:00:0B"));
    EXPECT_TRUE(engine.IsUpgrading());
    EXPECT_TRUE(engine.OnUpgradeResult(UPGRADE_FAILED, "02:00:00:00:00:0A"));
    EXPECT_FALSE(engine.IsUpgrading());
    EXPECT_EQ(engine.Jobs().jobCount(), 0u);
    ResetIniPaths();
}

namespace {
// Counts what the batch start asks of reachability.
class CCountingReachability : public IReachability {
public:
    void AddLinkLocalRoute() override {}
    bool MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                             uint32_t& addedAddress, bool tryFirstAddress) override {
        asked.push_back(device.mac);
        firstAddressTried = tryFirstAddress;
        deviceAddress = 0;
        addedAddress = 0x0A0000FE;
        return true;
    }
    bool IsLocalHostAddress(uint32_t address) override {
        ++localChecks;
        return address == 0x0A0000FE && localChecks >= 3;
    }
    std::vector<std::string> asked;
    bool firstAddressTried = false;
    int localChecks = 0;
};
}  // namespace

TEST(UpgradeBatchStart, EveryCheckedCameraIsMadeReachableFirst) {
    testing_support::CSandbox box;
    testing_support::CScopedEnv xdg("XDG_DATA_HOME", box.File("data"));
    ResetIniPaths();
    GetProgramIni().SetPath(box.File("firmhand.ini"));
    UpgradeTimings timings;
    timings.localAddressPolls = 5;
    SetUpgradeTimingsForTests(timings);
    auto reach = std::make_shared<CCountingReachability>();
    CUpgradeEngine engine(std::make_shared<CMessageQueue>());
    engine.SetReachability(reach);
    BatchRequest request;
    for (const char* mac : {"02:00:00:00:00:0C", "02:00:00:00:00:0D"}) {
        auto record = std::shared_ptr<DEVICE_S_INFO>(MakeEmptyDeviceInfo().release());
        CopyField(record->mac, mac);
        request.devices.push_back(record);
    }
    request.packagePath = box.File("missing.bin");
    EXPECT_EQ(engine.StartBatch(request), BatchStartResult::OpenFailed);
    EXPECT_EQ(reach->asked, (std::vector<std::string>{"02:00:00:00:00:0C", "02:00:00:00:00:0D"}));
    EXPECT_TRUE(reach->firstAddressTried);
    // Each added address is awaited until the host reports it (3 polls).
    EXPECT_EQ(reach->localChecks, 3 + 1);
    SetUpgradeTimingsForTests(UpgradeTimings{});
    ResetIniPaths();
}
