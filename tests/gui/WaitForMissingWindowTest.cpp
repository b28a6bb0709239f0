// Cameras the search has not found, in the window: rows added from the
// site's inventory and by MAC, a batch that waits for them up to "Wait for
// missing" (the one switched on meanwhile is upgraded and its row becomes
// its found row, the other ends "Not found within" the time), and what is
// refused before anything is contacted.
#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>

#include "AddCameraMacDlg.h"
#include "FirmhandDlgFixture.h"
#include "LogPane.h"
#include "NotFoundCamerasDlg.h"
#include "app/StringTable.h"
#include "inventory/Inventory.h"
#include "upgrade/UpgradeResult.h"

namespace {

class WaitForMissingWindowTest : public FirmhandDlgTest {
protected:
    void SetWait(const QString& text) { m_dlg->RolloutPanel()->SetWaitForMissing(text); }
    int Row(const std::string& mac) { return m_dlg->List().findDeviceItem(mac); }
    // The MAC typed into "By MAC address..." and Add clicked: "" when the
    // dialog took it, else the reason it shows.
    QString TypeMac(const QString& text) {
        QPointer<CAddCameraMacDlg> dialog = m_dlg->OpenAddByMac();
        dialog->MacEdit()->setText(text);
        dialog->accept();
        QString problem = dialog->Problem();
        EXPECT_EQ(dialog->result() == QDialog::Accepted, problem.isEmpty()) << text.toStdString();
        if (problem.isEmpty()) {
            EXPECT_TRUE(PumpUntil([&] { return dialog.isNull(); }, 5000)) << "closed and gone";
        } else {
            dialog->close();  // the technician gives up
        }
        ProcessGuiEvents();
        return problem;
    }
};

void RecordSighting(const std::string& path, const std::string& site,
                    const SimCameraConfig& camera) {
    std::string error;
    auto inventory = CInventory::Open(path, InventoryAccess::Write, error);
    ASSERT_TRUE(inventory) << error;
    CAMERA_SIGHTING seen{camera.mac,         camera.name, camera.model, camera.ip, camera.ip2,
                         camera.softwareVer, 1,           1700000000000};
    ASSERT_TRUE(inventory->RecordSightings(site, {seen}, error)) << error;
}

}  // namespace

// One camera from the site's inventory (those of another site, and one
// the search found, are not offered) and one typed by MAC, both switched
// off: the one switched on while the batch waits is upgraded in its own
// row, the other ends "Not found within 5s" and is never contacted.
TEST_F(WaitForMissingWindowTest, AwaitedCamerasFromInventoryAndByMac) {
    SESSION_OPTIONS base = SimOptions(26);
    base.runsFolder = m_sandbox.File("runs");
    base.inventoryPath = m_sandbox.File("inventory.sqlite");
    SimCameraConfig on = m_sim->Camera(0);
    SimCameraConfig late = m_sim->Camera(1);
    late.name = "Gate";
    late.switchedOff = true;
    SimCameraConfig never = m_sim->Camera(2);
    never.name = "Yard";
    never.model = "IPC-3030";
    never.switchedOff = true;
    SimCameraConfig elsewhere = m_sim->Camera(3);
    for (const SimCameraConfig& camera : {on, late, never}) {
        m_fleet.AddCamera(camera);
    }
    StartFleet();
    ASSERT_TRUE(Launch(FleetOptions(), base));
    ASSERT_TRUE(PumpUntil([&] { return DeviceList().RowCount() == 1; }, 10000));
    const std::string site = m_dlg->InventorySite();
    ASSERT_NO_FATAL_FAILURE(RecordSighting(base.inventoryPath, site, on));
    ASSERT_NO_FATAL_FAILURE(RecordSighting(base.inventoryPath, site, never));
    ASSERT_NO_FATAL_FAILURE(RecordSighting(base.inventoryPath, site + "-other", elsewhere));

    CNotFoundCamerasDlg* offer = m_dlg->OpenAddFromInventory();
    ASSERT_EQ(offer->Offered().size(), 1u) << offer->Problem();
    EXPECT_EQ(offer->Offered()[0].mac, never.mac);
    offer->Table()->selectRow(0);
    offer->accept();
    ProcessGuiEvents();
    EXPECT_EQ(TypeMac(QString::fromStdString(late.mac).toLower().replace(QLatin1Char(':'),
                                                                         QLatin1Char('-'))),
              QString());
    // A MAC no camera of the fleet has: never found, known by nothing else.
    const std::string ghost = "02:00:00:00:00:99";
    EXPECT_EQ(TypeMac(QString::fromStdString(ghost)), QString());
    ASSERT_EQ(DeviceList().RowCount(), 4);
    ASSERT_TRUE(DeviceList().IsNotFound(Row(never.mac)));
    ASSERT_TRUE(DeviceList().IsNotFound(Row(late.mac)));
    EXPECT_EQ(DeviceList().CellText(Row(never.mac), COL_NAME), QString::fromStdString(never.name));
    EXPECT_EQ(DeviceList().CellText(Row(never.mac), COL_IP), QString::fromStdString(never.ip));
    EXPECT_EQ(DeviceList().CellText(Row(late.mac), COL_NAME), QString()) << "only its MAC known";
    EXPECT_EQ(DeviceList().Counts().found, 1);

    ChoosePackage();
    SetWait(QStringLiteral("5s"));
    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(m_dlg->IsUpgrading()) << ::testing::PrintToString(m_dlg->messages);
    ASSERT_TRUE(PumpUntil(
        [&] {
            return Result(late.mac) == LoadString(IDS_WAITING_TO_BE_FOUND) &&
                   Result(never.mac) == LoadString(IDS_WAITING_TO_BE_FOUND);
        },
        10000));
    ASSERT_TRUE(m_fleet.SetOnline(late.mac, true));
    ASSERT_TRUE(WaitForBatchEnd());

    EXPECT_EQ(m_fleet.State(on.mac)->upgradesCompleted, 1);
    EXPECT_EQ(m_fleet.State(late.mac)->upgradesCompleted, 1);
    EXPECT_EQ(m_fleet.CountEvents(never.mac, "connect"), 0);
    EXPECT_EQ(DeviceList().RowCount(), 4) << "the found camera keeps its one row";
    EXPECT_FALSE(DeviceList().IsNotFound(Row(late.mac)));
    EXPECT_EQ(DeviceList().CellText(Row(late.mac), COL_NAME), QString::fromStdString(late.name));
    EXPECT_EQ(Result(late.mac), ResultCodeToText(UpgradeResult::Ok));
    EXPECT_TRUE(DeviceList().IsNotFound(Row(never.mac)));
    EXPECT_EQ(Result(never.mac), "Not found within 5s");
    // The batch's record: the late camera as the search found it.
    for (const CameraOutcome& o : m_dlg->LastBatch().Outcomes()) {
        if (o.mac == late.mac) {
            EXPECT_EQ(o.ip, late.ip);
            EXPECT_EQ(o.code, UpgradeResult::Ok);
        } else if (o.mac == never.mac) {
            EXPECT_EQ(o.code, UpgradeResult::NotFoundInTime);
            EXPECT_EQ(OutcomeText(o), "Not found within 5s");
        }
    }
    EXPECT_EQ(m_dlg->LastBatch().Outcomes().size(), 4u);
    // The log names a camera known only by its MAC by it, and sets the
    // reason apart from a result that ends without a mark.
    m_dlg->LogPane().Drain();
    const QString log = m_dlg->LogPane().Text();
    EXPECT_TRUE(log.contains(
        QString::fromStdString(ghost + " (" + ghost + "): Not found within 5s \u2014 " +
                               ResultReasonText(UpgradeResult::NotFoundInTime))))
        << log.toStdString();
}

// A malformed MAC, or one already listed, stays in the dialog with its
// reason; a malformed or missing waiting time refuses the batch before it
// asks, clears or contacts anything.
TEST_F(WaitForMissingWindowTest, MalformedMacAndWaitingTimeAreRefused) {
    Open();
    AddCameras(1);
    for (const char* text : {"00:11:22:33:44", "00:11:22:33:44:5G", "00:11-22:33:44:55",
                             "001122334455", "00:11:22:33:44:55:66", ""}) {
        EXPECT_EQ(TypeMac(QString::fromUtf8(text)),
                  QString::fromStdString(LoadString(IDS_MAC_MALFORMED)))
            << text;
    }
    EXPECT_EQ(TypeMac(QString::fromStdString(Mac(0)).toLower()),
              QString::fromStdString(LoadString(IDS_MAC_LISTED)));
    EXPECT_EQ(DeviceList().RowCount(), 1);
    EXPECT_EQ(TypeMac(QStringLiteral(" 0a-1B-2c-3D-4e-5F ")), QString());
    ASSERT_EQ(DeviceList().RowCount(), 2);
    EXPECT_TRUE(DeviceList().IsNotFound(Row("0A:1B:2C:3D:4E:5F")));

    ChoosePackage();
    DeviceList().SetResultText(Mac(0), QStringLiteral("earlier"));
    const auto refused = [&](const char* wait, bool withNotFound, int message) {
        m_dlg->messages.clear();
        m_dlg->details.clear();
        m_dlg->List().OnClearAll();
        Check(Mac(0));
        if (withNotFound) {
            Check("0A:1B:2C:3D:4E:5F");
        }
        SetWait(QString::fromUtf8(wait));
        m_dlg->OnBnClickedButtonUpdate();
        EXPECT_FALSE(m_dlg->IsUpgrading()) << wait;
        EXPECT_EQ(m_dlg->messages, std::vector<int>{message}) << wait;
        if (message == IDS_WAIT_INVALID && !m_dlg->details.empty()) {
            EXPECT_NE(m_dlg->details[0].find(wait), std::string::npos) << "the time as typed";
        }
    };
    refused("10x", false, IDS_WAIT_INVALID);  // refused even with nothing to wait for
    refused("25h", true, IDS_WAIT_INVALID);
    refused("0s", true, IDS_WAIT_INVALID);
    refused("", true, IDS_WAIT_NEEDED);
    EXPECT_TRUE(m_dlg->batchQuestions.empty());
    EXPECT_EQ(m_reach->Entered(), 0);
    EXPECT_EQ(m_connects, 0);
    EXPECT_EQ(Result(Mac(0)), "earlier") << "nothing cleared";
}
