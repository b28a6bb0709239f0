// The window's rollout controls against simulated cameras: packages by
// model, "Force", the failure limit, "Retry failed" and the offer to resume
// a run that did not finish.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QSpinBox>

#include "FirmhandDlgFixture.h"
#include "app/StringTable.h"
#include "upgrade/UpgradeResult.h"

namespace {

class RolloutWindowTest : public FirmhandDlgTest {
protected:
    // The window on the fleet's cameras, one at a time in list order.
    void LaunchOne(SESSION_OPTIONS base, size_t cameras) {
        base.runsFolder = m_sandbox.File("runs");
        base.settingOverrides[settings::kMaxParallelUpgrades] = "1";
        StartFleet();
        FIRMHAND_OPTIONS options = FleetOptions();
        options.packagePath.clear();
        ASSERT_TRUE(Launch(options, base));
        ASSERT_TRUE(PumpUntil([&] { return DeviceList().RowCount() == int(cameras); }, 10000));
    }
    int Upgrades(const SimCameraConfig& camera) {
        return m_fleet.State(camera.mac)->upgradesCompleted;
    }
    int Logins(const SimCameraConfig& camera) { return m_fleet.State(camera.mac)->logins; }
};

// Each model's cameras get their model's package (a camera refuses any
// other by its digest); a camera already on the package's version is
// skipped until "Force" is checked.
TEST_F(RolloutWindowTest, PackagesByModelAndForce) {
    SESSION_OPTIONS base = SimOptions(24);
    const std::string first = CGuiSimSetup::WritePackage(m_sandbox.File("a.bin"), 3000);
    const std::string second = CGuiSimSetup::WritePackage(m_sandbox.File("b.bin"), 4000);
    const std::string current =
        CGuiSimSetup::WritePackage(m_sandbox.File("fw_4.0.2_230118.bin"), 2000);
    SimCameraConfig a = m_sim->Camera(0);
    a.model = "IPC-A";
    a.package = NewStylePackageBytes(3000);  // as in a.bin
    SimCameraConfig b = m_sim->Camera(1);
    b.model = "IPC-B";
    b.package = NewStylePackageBytes(4000);
    SimCameraConfig c = m_sim->Camera(2);
    c.model = "IPC-C";
    for (const SimCameraConfig& camera : {a, b, c}) {
        m_fleet.AddCamera(camera);
    }
    ASSERT_NO_FATAL_FAILURE(LaunchOne(base, 3));
    m_dlg->SelectUpgradeFile(QString::fromStdString(current));
    m_dlg->RolloutPanel()->AddModelPackage("IPC-B", QString::fromStdString(second));
    m_dlg->RolloutPanel()->AddModelPackage("IPC-A", QString::fromStdString(first));
    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(m_dlg->IsUpgrading());
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(Upgrades(a), 1);
    EXPECT_EQ(Upgrades(b), 1);
    EXPECT_EQ(Upgrades(c), 0);
    EXPECT_EQ(Result(c.mac), ResultCodeToText(UpgradeResult::AlreadyCurrent));
    EXPECT_EQ(Logins(c), 0) << "a current camera is not connected";

    qobject_cast<QCheckBox*>(m_dlg->Control(IDC_FORCE))->setChecked(true);
    m_dlg->List().OnClearAll();
    Check(c.mac);
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(Upgrades(c), 1) << "forced";
    EXPECT_TRUE(m_dlg->messages.empty()) << "the other models' packages stay out of the batch";
    EXPECT_EQ(Upgrades(a), 1);
}

// Two failures stop the run: the cameras after them are not started;
// "Retry failed" runs only the failed ones again.
TEST_F(RolloutWindowTest, FailureLimitAndRetryFailed) {
    SESSION_OPTIONS base = SimOptions(25);
    std::vector<SimCameraConfig> cameras;
    for (int i = 0; i < 4; ++i) {
        cameras.push_back(m_sim->Camera(i));
        cameras.back().password = "other";  // refused: result 11
        m_fleet.AddCamera(cameras.back());
    }
    ASSERT_NO_FATAL_FAILURE(LaunchOne(base, cameras.size()));
    ChoosePackage();
    qobject_cast<QSpinBox*>(m_dlg->Control(IDC_MAX_FAILURES))->setValue(2);
    EXPECT_FALSE(Enabled(IDC_RETRY_FAILED));
    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(WaitForBatchEnd());
    std::vector<std::string> failed;
    int notStarted = 0;
    for (const SimCameraConfig& camera : cameras) {
        if (Result(camera.mac) == ResultCodeToText(UpgradeResult::BadCredentials)) {
            failed.push_back(camera.mac);
        } else {
            EXPECT_EQ(Result(camera.mac), ResultCodeToText(UpgradeResult::NotStarted));
            EXPECT_EQ(Logins(camera), 0);
            ++notStarted;
        }
    }
    EXPECT_EQ(failed.size(), 2u);
    EXPECT_EQ(notStarted, 2);
    ASSERT_TRUE(Enabled(IDC_RETRY_FAILED));

    qobject_cast<QSpinBox*>(m_dlg->Control(IDC_MAX_FAILURES))->setValue(0);
    SendLeftClick(m_dlg->Control(IDC_RETRY_FAILED));
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(m_dlg->batchEnds.back(), 2) << "only the failed cameras";
    EXPECT_EQ(DeviceList().CheckedRows().size(), 2u);
    for (const SimCameraConfig& camera : cameras) {
        const bool wasFailed = std::find(failed.begin(), failed.end(), camera.mac) != failed.end();
        EXPECT_EQ(Logins(camera), wasFailed ? 10 : 0) << camera.mac;
    }
}

// A cancelled run stays unfinished; the offer at start-up resumes it and
// upgrades its cameras with the run's own package.
TEST_F(RolloutWindowTest, OfferResumesAnUnfinishedRun) {
    SESSION_OPTIONS base = SimOptions(24);
    std::vector<SimCameraConfig> cameras;
    for (int i = 10; i < 12; ++i) {
        cameras.push_back(m_sim->Camera(i));
        m_fleet.AddCamera(cameras.back());
    }
    ASSERT_NO_FATAL_FAILURE(LaunchOne(base, cameras.size()));
    EXPECT_FALSE(m_dlg->OfferResume()) << "no run yet";
    EXPECT_TRUE(m_dlg->messages.empty());
    ChoosePackage();
    m_reach->Close();  // the first camera is held before it is contacted
    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(PumpUntil([&] { return m_reach->Entered() >= 1; }, 10000));
    Session().CancelAll();
    m_reach->Open();
    ASSERT_TRUE(WaitForBatchEnd());
    for (const SimCameraConfig& camera : cameras) {
        ASSERT_EQ(Upgrades(camera), 0);
    }
    m_dlg->SelectUpgradeFile(QString());

    // The question says what Cancel does, and does it: the run stays as it
    // is and is offered again.
    m_dlg->answer = false;
    EXPECT_FALSE(m_dlg->OfferResume());
    ASSERT_EQ(m_dlg->messages, (std::vector<int>{IDS_RESUME_RUN}));
    EXPECT_NE(m_dlg->details.back().find("Cancel leaves the run as it is: it is offered again at "
                                         "the next start"),
              std::string::npos)
        << m_dlg->details.back();
    EXPECT_FALSE(m_dlg->IsUpgrading());
    ASSERT_TRUE(Session().UnfinishedRun());
    m_dlg->messages.clear();

    m_dlg->answer = true;
    ASSERT_TRUE(m_dlg->OfferResume());
    ASSERT_EQ(m_dlg->messages, (std::vector<int>{IDS_RESUME_RUN}));
    EXPECT_NE(m_dlg->details.back().find("2"), std::string::npos) << m_dlg->details.back();
    ASSERT_TRUE(WaitForBatchEnd());
    for (const SimCameraConfig& camera : cameras) {
        EXPECT_EQ(Upgrades(camera), 1) << camera.mac;
        EXPECT_EQ(Result(camera.mac), ResultCodeToText(UpgradeResult::Ok));
    }
    EXPECT_FALSE(Session().UnfinishedRun()) << "the resumed run finished";
    m_dlg->answer = false;
    EXPECT_FALSE(m_dlg->OfferResume());
}

}  // namespace
