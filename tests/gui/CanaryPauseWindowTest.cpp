// The window's "Canary first" check box with its count per model and its Pause / Go on button
// against simulated cameras: failed canaries hold back their model's other camera, and a paused
// batch starts no camera until it goes on, as the button and the status bar say.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>

#include "FirmhandDlgFixture.h"
#include "app/StringTable.h"
#include "upgrade/UpgradeResult.h"

namespace {

class CanaryPauseWindowTest : public FirmhandDlgTest {
protected:
    // The window on the fleet's cameras, `parallel` at a time.
    void LaunchOne(SESSION_OPTIONS base, size_t cameras, int parallel = 1) {
        base.runsFolder = m_sandbox.File("runs");
        base.settingOverrides[settings::kMaxParallelUpgrades] = std::to_string(parallel);
        base.settingOverrides[settings::kTryUpgradeMaxCountSingle] = "1";
        base.settingOverrides[settings::kWaitRebootTimeout] = "600";
        StartFleet();
        FIRMHAND_OPTIONS options = FleetOptions();
        options.packagePath.clear();
        ASSERT_TRUE(Launch(options, base));
        ASSERT_TRUE(PumpUntil([&] { return DeviceList().RowCount() == int(cameras); }, 10000));
    }
    QString StatusMessage() const { return m_dlg->statusBar()->currentMessage(); }
};

}  // namespace

TEST_F(CanaryPauseWindowTest, FailedCanariesHoldBackTheRestOfTheirModel) {
    SESSION_OPTIONS base = SimOptions(40);
    std::vector<SimCameraConfig> cameras;
    for (int i = 0; i < 3; ++i) {
        cameras.push_back(m_sim->Camera(i));
        // Whichever are the canaries fail in their transfer.
        cameras.back().faults.upgradeErrorAtBlock = 4;
        cameras.back().faults.upgradeErrorWord = 5;
        m_fleet.AddCamera(cameras.back());
    }
    // Two at a time: both canaries run together; with one canary per model
    // the second slot would have waited for it.
    ASSERT_NO_FATAL_FAILURE(LaunchOne(base, cameras.size(), 2));
    ChoosePackage();
    auto* canary = qobject_cast<QCheckBox*>(m_dlg->Control(IDC_CANARY));
    auto* count = qobject_cast<QSpinBox*>(m_dlg->Control(IDC_CANARY_COUNT));
    EXPECT_EQ(canary->text().toStdString(), "Canary first");
    EXPECT_FALSE(count->isEnabled()) << "a count means nothing without canaries";
    canary->setChecked(true);
    ASSERT_TRUE(count->isEnabled());
    count->setValue(2);
    EXPECT_EQ(count->text().toStdString(), "2 per model");
    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(m_dlg->IsUpgrading());
    EXPECT_FALSE(Enabled(IDC_CANARY)) << "locked while the batch runs";
    EXPECT_FALSE(Enabled(IDC_CANARY_COUNT));
    ASSERT_TRUE(WaitForBatchEnd());
    int heldBack = 0;
    for (const SimCameraConfig& camera : cameras) {
        if (Result(camera.mac) == "Not started: canary failed") {
            ++heldBack;
            EXPECT_EQ(m_fleet.State(camera.mac)->logins, 0);
        } else {
            EXPECT_EQ(Result(camera.mac), ResultCodeToText(UpgradeResult::DeviceError));
        }
    }
    EXPECT_EQ(heldBack, 1) << "both canaries ran before the model was held back";
    EXPECT_TRUE(Enabled(IDC_CANARY));
    EXPECT_TRUE(Enabled(IDC_CANARY_COUNT));
}

TEST_F(CanaryPauseWindowTest, PauseButtonHoldsTheNextCameraUntilGoOn) {
    SESSION_OPTIONS base = SimOptions(41);
    std::vector<SimCameraConfig> cameras;
    for (int i = 0; i < 2; ++i) {
        cameras.push_back(m_sim->Camera(i));
        // Each stays away after flashing until the test lets it back.
        cameras.back().faults.neverReturn = true;
        m_fleet.AddCamera(cameras.back());
    }
    ASSERT_NO_FATAL_FAILURE(LaunchOne(base, cameras.size()));
    auto* pause = qobject_cast<QPushButton*>(m_dlg->Control(IDC_PAUSE));
    EXPECT_FALSE(pause->isEnabled()) << "no batch to pause";
    EXPECT_EQ(pause->text().toStdString(), "Pause");
    ChoosePackage();
    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(pause->isEnabled());

    // The first camera runs; it cannot end before the test lets it back.
    std::string first;
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (const SimCameraConfig& camera : cameras) {
                if (m_fleet.CountEvents(camera.mac, "connect") > 0) {
                    first = camera.mac;
                }
            }
            return !first.empty();
        },
        30000));
    pause->click();
    ASSERT_TRUE(PumpUntil([&] { return pause->text().toStdString() == "Go on"; }, 10000));
    EXPECT_EQ(StatusMessage().toStdString(),
              "Paused: no further camera starts; running ones finish");
    m_dlg->ChooseLanguage(UiLanguage::TraditionalChinese);
    EXPECT_EQ(StatusMessage().toStdString(), LoadString(IDS_PAUSED));
    EXPECT_EQ(pause->text().toStdString(), LoadString(IDS_GO_ON));
    m_dlg->ChooseLanguage(UiLanguage::English);
    ASSERT_TRUE(PumpUntil([&] { return m_fleet.State(first)->phase == "offline"; }, 30000));
    ASSERT_TRUE(m_fleet.SetOnline(first, true));
    ASSERT_TRUE(
        PumpUntil([&] { return Result(first) == ResultCodeToText(UpgradeResult::Ok); }, 30000));
    const std::string& second = first == cameras[0].mac ? cameras[1].mac : cameras[0].mac;
    EXPECT_EQ(m_fleet.CountEvents(second, "connect"), 0) << "started while paused";
    EXPECT_TRUE(m_dlg->IsUpgrading());

    pause->click();
    ASSERT_TRUE(PumpUntil([&] { return pause->text().toStdString() == "Pause"; }, 10000));
    EXPECT_TRUE(StatusMessage().isEmpty());
    ASSERT_TRUE(PumpUntil([&] { return m_fleet.State(second)->phase == "offline"; }, 30000));
    ASSERT_TRUE(m_fleet.SetOnline(second, true));
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(Result(second), ResultCodeToText(UpgradeResult::Ok));
    EXPECT_FALSE(pause->isEnabled());
}
