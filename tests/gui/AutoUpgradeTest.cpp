// The automatic upgrade test: the row hook, timer 257, the package that
// each batch takes, and the log line of a return with the wrong build.
#include <gtest/gtest.h>

#include "FirmhandDlgFixture.h"
#include "GuiSimSupport.h"
#include "app/Logger.h"

namespace {

class AutoUpgradeTest : public FirmhandDlgTest {
protected:
    // A long delay: the tests fire timer 257 themselves, as its handler.
    void Settings(const std::string& package2, int delay = 60000) {
        WriteProgramSettings(
            "AutoUpgradeTest=true\nAutoUpgradeDeviceMac=aa:00:00:00:00:01\n"
            "UpgradePackage1=/pkg/one.bin\nUpgradePackage2=" +
            package2 +
            "\nUpgradePackage1BulidNo=101\nUpgradePackage2BulidNo=202\n"
            "AutoUpgradeDelay=" +
            std::to_string(delay) + "\n");
        Open();
        m_dlg->InitAutoUpgradeTest();
    }
    // The camera shows up as a new row with this build.
    void Appear(int build) {
        DeviceSpec fields;
        fields.mac = "AA:00:00:00:00:01";
        fields.build = build;
        Found(fields);
        ProcessGuiEvents();
    }
    // The batch ends and the camera goes while it reboots.
    void FinishAndGo() {
        for (auto& [mac, finished] : m_engine->jobs) {
            finished = true;
        }
        for (const DEVICE_S_INFO& device : m_engine->starts.back().devices) {
            Post(MakeTextMessage(WM_UPGRADE_RESULT, 0, std::string(FieldText(device.mac))));
        }
        Post(MakeTextMessage(WM_DEVICE_NOTIFY, DEVICE_NOTIFY_GONE, "AA:00:00:00:00:01"));
        ProcessGuiEvents();
        ASSERT_FALSE(m_dlg->IsUpgrading());
        ASSERT_EQ(m_dlg->findDeviceItem("AA:00:00:00:00:01"), -1);
    }
    void Fire() {
        ASSERT_TRUE(m_dlg->IsAutoUpgradeTimerActive());
        m_dlg->OnTimer(AUTO_UPGRADE_TIMER);
    }
    std::string LastPackage() const { return m_engine->starts.back().packagePath; }
};

}  // namespace

TEST_F(AutoUpgradeTest, OffLeavesTheCameraAlone) {
    WriteProgramSettings(
        "AutoUpgradeTest=false\nAutoUpgradeDeviceMac=AA:00:00:00:00:01\n"
        "UpgradePackage1=/pkg/one.bin\nAutoUpgradeDelay=0\n");
    Open();
    m_dlg->InitAutoUpgradeTest();
    Appear(5);
    EXPECT_TRUE(DeviceList().CheckedRows().empty());
    EXPECT_FALSE(m_dlg->IsAutoUpgradeTimerActive());
    m_dlg->OnTimer(AUTO_UPGRADE_TIMER);
    EXPECT_TRUE(m_engine->starts.empty());
}

TEST_F(AutoUpgradeTest, PackagesAlternateAndWrongBuildsAreLogged) {
    Settings("/pkg/two.bin");
    CLogCapture log;
    AddCameras(1);  // a camera the technician checks by hand goes along
    Check(Mac(0));

    Appear(50);
    EXPECT_TRUE(DeviceList().IsChecked(m_dlg->findDeviceItem("AA:00:00:00:00:01")));
    EXPECT_TRUE(m_dlg->IsAutoUpgradeTimerActive());
    m_dlg->OnTimer(258);  // another timer: nothing
    EXPECT_TRUE(m_engine->starts.empty());
    Fire();
    ASSERT_EQ(m_engine->starts.size(), 1u);
    EXPECT_EQ(LastPackage(), "/pkg/one.bin");
    EXPECT_EQ(m_engine->starts[0].devices.size(), 2u);
    EXPECT_TRUE(m_dlg->IsUpgrading());
    EXPECT_FALSE(m_dlg->IsAutoUpgradeTimerActive());
    EXPECT_EQ(log.Count("update failed"), 0) << "no package had been sent before";
    // The edit showing the file is not touched.
    EXPECT_EQ(ControlText(IDC_PACKAGE_PATH), QString());

    FinishAndGo();
    Appear(101);  // package 1's build: fine
    Fire();
    ASSERT_EQ(m_engine->starts.size(), 2u);
    EXPECT_EQ(LastPackage(), "/pkg/two.bin");
    EXPECT_EQ(log.Count("update failed"), 0);

    FinishAndGo();
    Appear(7);  // package 2 should have given 202
    Fire();
    ASSERT_EQ(m_engine->starts.size(), 3u);
    EXPECT_EQ(LastPackage(), "/pkg/one.bin");
    EXPECT_EQ(log.Count("package /pkg/two.bin update failed, now bulid 7"), 1);
    EXPECT_EQ(log.Count("update failed"), 1);

    FinishAndGo();
    Appear(202);  // package 1 was sent, so 202 is wrong now
    EXPECT_EQ(log.Count("package /pkg/one.bin update failed, now bulid 202"), 1);
}

TEST_F(AutoUpgradeTest, WithoutPackageTwoEveryBatchTakesPackageOne) {
    Settings("", 20);  // the real timer this time
    for (int round = 0; round < 3; ++round) {
        Appear(101);
        const size_t expected = static_cast<size_t>(round + 1);
        ASSERT_TRUE(PumpUntil([&] { return m_engine->starts.size() == expected; }, 5000));
        EXPECT_EQ(LastPackage(), "/pkg/one.bin");
        FinishAndGo();
    }
}

TEST_F(AutoUpgradeTest, ATimerDuringABatchStartsNothing) {
    Settings("/pkg/two.bin");
    AddCameras(1);
    StartWith({0});  // the technician's own batch
    ASSERT_TRUE(m_dlg->IsUpgrading());
    Appear(101);
    EXPECT_TRUE(m_dlg->IsAutoUpgradeTimerActive());
    m_dlg->OnTimer(AUTO_UPGRADE_TIMER);
    EXPECT_EQ(m_engine->starts.size(), 1u);
    EXPECT_FALSE(m_dlg->IsAutoUpgradeTimerActive()) << "not started again";
    EXPECT_EQ(m_dlg->UpgradeFile(), QString::fromStdString(m_sandbox.File("fw.bin")));
}
