// The automatic upgrade test: the row hook, timer 257, the package that
// each batch takes, the log line of a return with the wrong build, and a
// start that waits for the running batch's end.
#include <gtest/gtest.h>

#include "FirmhandDlgFixture.h"
#include "app/Logger.h"

namespace {

class AutoUpgradeTest : public FirmhandDlgTest {
protected:
    // A long delay: the tests fire timer 257 themselves, as its handler.
    void Settings(bool withPackage2, int delay = 60000) {
        m_package1 = CGuiSimSetup::WritePackage(m_sandbox.File("one.bin"), 200);
        m_package2 = withPackage2 ? CGuiSimSetup::WritePackage(m_sandbox.File("two.bin"), 200) : "";
        WriteProgramSettings(
            "AutoUpgradeTest=true\nAutoUpgradeDeviceMac=aa:00:00:00:00:01\n"
            "UpgradePackage1=" +
            m_package1 + "\nUpgradePackage2=" + m_package2 +
            "\nUpgradePackage1BulidNo=101\nUpgradePackage2BulidNo=202\n"
            "AutoUpgradeDelay=" +
            std::to_string(delay) + "\n");
        Open();  // the session's settings turn the test on
    }
    // The camera shows up as a new row with this build.
    void Appear(int build) {
        DeviceFields fields;
        fields.mac = "AA:00:00:00:00:01";
        fields.build = build;
        Found(fields);
        ProcessGuiEvents();
    }
    // The batch ends and the camera goes while it reboots.
    void FinishAndGo() {
        ASSERT_TRUE(WaitForBatchEnd());
        Post(MakeTextMessage(WM_DEVICE_NOTIFY, DEVICE_NOTIFY_GONE, "AA:00:00:00:00:01"));
        ProcessGuiEvents();
        ASSERT_EQ(m_dlg->List().findDeviceItem("AA:00:00:00:00:01"), -1);
    }
    void Fire() {
        ASSERT_TRUE(m_dlg->AutoUpgrade().IsTimerActive());
        m_dlg->AutoUpgrade().OnTimer(AUTO_UPGRADE_TIMER);
    }
    std::string LastPackage() {
        return Session().Package() ? Session().Package()->Path() : std::string();
    }

    std::string m_package1;
    std::string m_package2;
};

}  // namespace

TEST_F(AutoUpgradeTest, OffLeavesTheCameraAlone) {
    WriteProgramSettings(
        "AutoUpgradeTest=false\nAutoUpgradeDeviceMac=AA:00:00:00:00:01\n"
        "UpgradePackage1=/pkg/one.bin\nAutoUpgradeDelay=0\n");
    Open();
    Appear(5);
    EXPECT_TRUE(DeviceList().CheckedRows().empty());
    EXPECT_FALSE(m_dlg->AutoUpgrade().IsTimerActive());
    m_dlg->AutoUpgrade().OnTimer(AUTO_UPGRADE_TIMER);
    EXPECT_FALSE(m_dlg->IsUpgrading());
    EXPECT_EQ(Session().Package(), nullptr);
}

TEST_F(AutoUpgradeTest, PackagesAlternateAndWrongBuildsAreLogged) {
    Settings(true);
    CLogCapture log;
    AddCameras(1);  // a camera the technician checks by hand goes along
    Check(Mac(0));

    Appear(50);
    EXPECT_TRUE(DeviceList().IsChecked(m_dlg->List().findDeviceItem("AA:00:00:00:00:01")));
    EXPECT_TRUE(m_dlg->AutoUpgrade().IsTimerActive());
    m_dlg->AutoUpgrade().OnTimer(258);  // another timer: nothing
    EXPECT_FALSE(m_dlg->IsUpgrading());
    Fire();
    EXPECT_TRUE(m_dlg->IsUpgrading());
    EXPECT_EQ(LastPackage(), m_package1);
    EXPECT_FALSE(m_dlg->AutoUpgrade().IsTimerActive());
    EXPECT_EQ(log.Count("update failed"), 0) << "no package had been sent before";
    // The edit showing the file is not touched.
    EXPECT_EQ(ControlText(IDC_PACKAGE_PATH), QString());
    FinishAndGo();
    EXPECT_EQ(m_dlg->batchEnds, (std::vector<int>{2}));

    Appear(101);  // package 1's build: fine
    Fire();
    EXPECT_EQ(LastPackage(), m_package2);
    EXPECT_EQ(log.Count("update failed"), 0);

    FinishAndGo();
    Appear(7);  // package 2 should have given 202
    Fire();
    EXPECT_EQ(LastPackage(), m_package1);
    EXPECT_EQ(log.Count("package " + m_package2 + " update failed, now bulid 7"), 1);
    EXPECT_EQ(log.Count("update failed"), 1);

    FinishAndGo();
    EXPECT_EQ(m_dlg->batchEnds.size(), 3u);
    Appear(202);  // package 1 was sent, so 202 is wrong now
    EXPECT_EQ(log.Count("package " + m_package1 + " update failed, now bulid 202"), 1);
}

TEST_F(AutoUpgradeTest, WithoutPackageTwoEveryBatchTakesPackageOne) {
    Settings(false, 20);  // the real timer this time
    for (int round = 0; round < 3; ++round) {
        Appear(101);
        const size_t expected = static_cast<size_t>(round + 1);
        ASSERT_TRUE(PumpUntil([&] { return m_dlg->batchEnds.size() == expected; }, 20000));
        EXPECT_EQ(LastPackage(), m_package1);
        FinishAndGo();
    }
}

// The camera came back while the technician's own batch ran: its batch
// starts once that batch has ended.
TEST_F(AutoUpgradeTest, AStartDuringABatchWaitsForItsEnd) {
    Settings(true);
    AddCameras(1);
    m_reach->Close();
    StartWith({0});  // the technician's own batch
    ASSERT_TRUE(m_dlg->IsUpgrading());
    Appear(101);
    Fire();
    EXPECT_EQ(LastPackage(), m_sandbox.File("fw.bin")) << "not started during the batch";
    EXPECT_FALSE(m_dlg->AutoUpgrade().IsTimerActive());

    m_reach->Open();
    ASSERT_TRUE(PumpUntil([&] { return m_dlg->batchEnds.size() == 1u; }, 20000));
    EXPECT_TRUE(m_dlg->IsUpgrading()) << "the waiting start came with the end";
    EXPECT_EQ(LastPackage(), m_package1);
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(m_dlg->batchEnds.size(), 2u);
}

// Against a simulated camera through the real search and engine: the
// camera keeps its row while it reboots (no "gone" comes), and is upgraded
// again each time it is back, packages alternating.
TEST_F(AutoUpgradeTest, UpgradesTheCameraEachTimeItComesBack) {
    SESSION_OPTIONS options = SimOptions(21);
    SimCameraConfig camera = m_sim->Camera(0);
    m_fleet.AddCamera(camera);
    StartFleet();
    m_package1 = CGuiSimSetup::WritePackage(m_sandbox.File("one.bin"), 2000);
    m_package2 = CGuiSimSetup::WritePackage(m_sandbox.File("two.bin"), 2000);
    // Each upgrade gives the camera the next build: 1 after package 1, 2
    // after package 2, and 3 after package 1 again (a wrong build).
    WriteProgramSettings("AutoUpgradeTest=true\nAutoUpgradeDeviceMac=" + camera.mac +
                         "\nUpgradePackage1=" + m_package1 + "\nUpgradePackage2=" + m_package2 +
                         "\nUpgradePackage1BulidNo=" + std::to_string(camera.build + 1) +
                         "\nUpgradePackage2BulidNo=" + std::to_string(camera.build + 2) +
                         "\nAutoUpgradeDelay=50\n");
    CLogCapture log;
    FIRMHAND_OPTIONS launch = FleetOptions();
    launch.packagePath.clear();
    ASSERT_TRUE(Launch(launch, options));

    std::vector<std::string> packages;
    for (size_t batch = 1; batch <= 3; ++batch) {
        ASSERT_TRUE(PumpUntil([&] { return m_dlg->batchEnds.size() == batch; }, 30000))
            << "batch " << batch;
        packages.push_back(LastPackage());
        EXPECT_EQ(Result(camera.mac), "Upgraded successfully!") << batch;
        EXPECT_GE(m_fleet.CountEvents(camera.mac, "upgrade_start"), static_cast<int>(batch));
    }
    EXPECT_EQ(packages, (std::vector<std::string>{m_package1, m_package2, m_package1}));
    // Returns with the builds the packages give are fine; the third is not.
    ASSERT_TRUE(PumpUntil([&] { return log.Count("update failed") == 1; }, 10000));
    EXPECT_EQ(log.Count("package " + m_package1 + " update failed, now bulid " +
                        std::to_string(camera.build + 3)),
              1);
}
