// The window's site inventory: a camera's history after an upgrade of
// simulated cameras, the inventory view's release-order filter, the
// report's fields in the HTML export, and a database that is no SQLite told
// once while the upgrade goes on.
#include <QLineEdit>
#include <QTableWidget>

#include "CameraHistoryDlg.h"
#include "FirmhandDlgFixture.h"
#include "InventoryView.h"
#include "LogPane.h"
#include "ReportFieldsDlg.h"
#include "device/Digest.h"
#include "inventory/Inventory.h"
#include "model/ReportField.h"

namespace {

using testing_support::ReadFile;

QString Cell(const QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item != nullptr ? item->text() : QString();
}

// The column of `heading` ("" when there is none).
int Column(const QTableWidget* table, const QString& heading) {
    for (int column = 0; column < table->columnCount(); ++column) {
        if (table->horizontalHeaderItem(column)->text() == heading) {
            return column;
        }
    }
    return -1;
}

QStringList ColumnTexts(const QTableWidget* table, const QString& heading) {
    QStringList texts;
    const int column = Column(table, heading);
    for (int row = 0; row < table->rowCount(); ++row) {
        texts << Cell(table, row, column);
    }
    texts.sort();
    return texts;
}

int StepsRecorded(const std::string& path) {
    std::string error;
    auto inventory = CInventory::Open(path, InventoryAccess::Read, error);
    std::vector<INVENTORY_STEP> steps;
    return inventory && inventory->Steps("", "", steps, error) ? int(steps.size()) : -1;
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace

class InventoryWindowTest : public FirmhandDlgTest {
protected:
    void LaunchFleet(SESSION_OPTIONS base, size_t cameras) {
        base.runsFolder = m_sandbox.File("runs");
        StartFleet();
        ASSERT_TRUE(Launch(FleetOptions(), base));
        ASSERT_TRUE(PumpUntil([&] { return DeviceList().RowCount() == int(cameras); }, 10000));
    }
};

// After an upgrade the row menu's history lists the step with its run,
// package and digest, versions before and after, and the versions seen; the
// step is recorded under the Site typed after the window started.
TEST_F(InventoryWindowTest, HistoryOfAnUpgradedCamera) {
    SESSION_OPTIONS base = SimOptions(27);
    const std::string path = m_sandbox.File("inventory.sqlite");
    base.inventoryPath = path;
    SimCameraConfig camera = m_sim->Camera(0);
    camera.name = "<b>lobby</b>\x1b[2J";
    m_fleet.AddCamera(camera);
    ASSERT_NO_FATAL_FAILURE(LaunchFleet(base, 1));
    EXPECT_EQ(m_dlg->InventoryPath(), path);
    EXPECT_EQ(m_dlg->InventorySite(), "127.0.0.0/8");  // adapter "lo"
    // A Site typed now names the site of what is recorded from now on.
    ASSERT_TRUE(m_dlg->SetReportFields({"Hall 2", "", ""}));
    EXPECT_EQ(m_dlg->InventorySite(), "Hall 2");

    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(WaitForBatchEnd());
    ASSERT_EQ(Result(camera.mac), "Upgraded successfully!");
    ASSERT_TRUE(PumpUntil([&] { return StepsRecorded(path) == 1; }, 10000));

    auto* history = static_cast<CCameraHistoryDlg*>(m_dlg->OpenCameraHistory(camera.mac));
    EXPECT_EQ(history->Problem(), "");
    // The camera's name is shown as text, its escape visible.
    EXPECT_TRUE(history->windowTitle().contains(QStringLiteral("<b>lobby</b>\\x1B[2J")))
        << history->windowTitle().toStdString();
    const QTableWidget* steps = history->Steps();
    ASSERT_EQ(steps->rowCount(), 1);
    EXPECT_EQ(Cell(steps, 0, Column(steps, QStringLiteral("Site"))).toStdString(), "Hall 2");
    EXPECT_EQ(Cell(steps, 0, Column(steps, QStringLiteral("Package"))).toStdString(), "fw.bin");
    const std::string package = ReadFile(m_dlg->UpgradeFile().toStdString());
    EXPECT_EQ(Cell(steps, 0, Column(steps, QStringLiteral("SHA-256"))).toStdString(),
              DigestToHex(DigestSha256(package.data(), package.size()), false));
    EXPECT_EQ(Cell(steps, 0, Column(steps, QStringLiteral("From"))).toStdString(), "4.0.2(230118)");
    EXPECT_FALSE(Cell(steps, 0, Column(steps, QStringLiteral("To"))).isEmpty());
    EXPECT_EQ(Cell(steps, 0, Column(steps, QStringLiteral("Attempts"))).toStdString(), "1");
    EXPECT_FALSE(Cell(steps, 0, Column(steps, QStringLiteral("Run"))).isEmpty());
    EXPECT_NE(Cell(steps, 0, Column(steps, QStringLiteral("Started"))).toStdString(), "-");
    EXPECT_NE(Cell(steps, 0, Column(steps, QStringLiteral("Ended"))).toStdString(), "-");
    const QTableWidget* versions = history->Versions();
    ASSERT_GE(versions->rowCount(), 1);
    EXPECT_EQ(Cell(versions, 0, Column(versions, QStringLiteral("Version"))).toStdString(),
              "4.0.2(230118)");

    // Another camera, never recorded: empty tables, no complaint.
    auto* none = static_cast<CCameraHistoryDlg*>(m_dlg->OpenCameraHistory("02:00:00:00:00:99"));
    EXPECT_EQ(none->Problem(), "");
    EXPECT_EQ(none->Steps()->rowCount(), 0);
    EXPECT_EQ(none->Versions()->rowCount(), 0);
}

// "Older than" lists the site's cameras below a version in release order
// (4.0.10 is newer than 4.0.2), through the inventory's own query.
TEST_F(InventoryWindowTest, InventoryViewOlderThanInReleaseOrder) {
    SESSION_OPTIONS options = Options();
    const std::string path = m_sandbox.File("inventory.sqlite");
    options.inventoryPath = path;
    Open(std::move(options));
    {
        std::string error;
        auto inventory = CInventory::Open(path, InventoryAccess::Write, error);
        ASSERT_TRUE(inventory) << error;
        std::vector<CAMERA_SIGHTING> seen = {
            {"02:00:00:00:00:01", "<i>old</i>", "IPC-1", "127.0.0.1", "", "3.9.0", 1, 1000},
            {"02:00:00:00:00:02", "mid", "IPC-1", "127.0.0.2", "127.0.1.2", "4.0.2", 2, 1000},
            {"02:00:00:00:00:03", "new", "IPC-1", "127.0.0.3", "", "4.0.10", 3, 1000},
        };
        ASSERT_TRUE(inventory->RecordSightings("lab", seen, error)) << error;
        ASSERT_TRUE(inventory->RecordSightings(
            "elsewhere", {{"02:00:00:00:00:09", "x", "IPC-1", "127.0.0.9", "", "1.0", 1, 1000}},
            error))
            << error;
    }
    ASSERT_TRUE(m_dlg->SetReportFields({"lab", "", ""}));
    CInventoryView* view = m_dlg->OpenInventoryView();
    QTableWidget* table = view->Table();
    const QString mac = QStringLiteral("MAC");
    EXPECT_EQ(ColumnTexts(table, mac).size(), 3);  // the site's cameras only

    view->OlderThanEdit()->setText(QStringLiteral("4.0.10"));
    EXPECT_EQ(ColumnTexts(table, mac), (QStringList{QStringLiteral("02:00:00:00:00:01"),
                                                    QStringLiteral("02:00:00:00:00:02")}));
    view->OlderThanEdit()->setText(QStringLiteral("4.0.2"));
    EXPECT_EQ(ColumnTexts(table, mac), QStringList{QStringLiteral("02:00:00:00:00:01")});
    EXPECT_EQ(ColumnTexts(table, QStringLiteral("Name")),
              QStringList{QStringLiteral("<i>old</i>")});
    view->OlderThanEdit()->setText(QStringLiteral("4.0.11"));
    EXPECT_EQ(ColumnTexts(table, QStringLiteral("Addresses")),
              (QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2, 127.0.1.2"),
                           QStringLiteral("127.0.0.3")}));

    // A version that is none lists nothing and says why.
    view->OlderThanEdit()->setText(QStringLiteral("4.x"));
    EXPECT_EQ(table->rowCount(), 0);
    EXPECT_NE(view->Problem(), "");
    view->OlderThanEdit()->clear();
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(view->Problem(), "");
}

// The site, customer and technician typed in the window stand in the HTML
// export, escaped, and are remembered; a field past the bound is refused.
TEST_F(InventoryWindowTest, ReportFieldsInTheHtmlExport) {
    Open();
    AddCameras(1);
    StartWith({0});
    ASSERT_TRUE(WaitForBatchEnd());

    const report_fields::REPORT_FIELDS fields{"Hall <B>", "Acme & \"Sons\"", "Kim"};
    ASSERT_TRUE(m_dlg->SetReportFields(fields));
    const std::string file = m_sandbox.File("report.html");
    ASSERT_TRUE(m_dlg->ExportResults(QString::fromStdString(file)));
    const std::string page = ReadFile(file);
    EXPECT_NE(page.find("<td id=\"site\">Hall &lt;B&gt;</td>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td id=\"customer\">Acme &amp; &quot;Sons&quot;</td>"), std::string::npos)
        << page;
    EXPECT_NE(page.find("<td id=\"technician\">Kim</td>"), std::string::npos) << page;

    const report_fields::REPORT_FIELDS remembered = report_fields::Load();
    EXPECT_EQ(remembered.site, fields.site);
    EXPECT_EQ(remembered.customer, fields.customer);
    EXPECT_EQ(remembered.technician, fields.technician);

    // The command line's bounds: one line, at most its byte limit.
    EXPECT_FALSE(m_dlg->SetReportFields({"", std::string(kMaxReportFieldBytes + 1, 'c'), ""}));
    EXPECT_FALSE(m_dlg->SetReportFields({"", "", "two\nlines"}));
    EXPECT_FALSE(m_dlg->SetReportFields({std::string(65, 's'), "", ""}));  // a site name
    EXPECT_EQ(m_dlg->ReportFields().customer, fields.customer);
    CReportFieldsDlg dialog(m_dlg->ReportFields(), QStringLiteral("127.0.0.0/8"), m_dlg);
    EXPECT_TRUE(dialog.Acceptable());
    dialog.CustomerEdit()->setText(QString(int(kMaxReportFieldBytes) / 2 + 1, QChar(0x00E9)));
    EXPECT_FALSE(dialog.Acceptable());  // 202 bytes of UTF-8
    dialog.CustomerEdit()->setText(QStringLiteral("Acme"));
    EXPECT_TRUE(dialog.Acceptable());
    EXPECT_EQ(dialog.Fields().customer, "Acme");

    // An empty site is the adapter's subnet (none here: no adapter chosen).
    ASSERT_TRUE(m_dlg->SetReportFields({"", "", ""}));
    ASSERT_TRUE(m_dlg->ExportResults(QString::fromStdString(file)));
    EXPECT_EQ(ReadFile(file).find("id=\"site\""), std::string::npos);
}

// An inventory file that is no SQLite database is told once, in the log
// pane and the status bar, left byte for byte, and the upgrade goes on.
TEST_F(InventoryWindowTest, BrokenInventoryToldOnceWhileTheUpgradeRuns) {
    SESSION_OPTIONS base = SimOptions(28);
    const std::string path = m_sandbox.File("inventory.sqlite");
    const std::string junk(5000, 'j');
    m_sandbox.Write("inventory.sqlite", junk);
    base.inventoryPath = path;
    m_fleet.AddCamera(m_sim->Camera(0));
    m_fleet.AddCamera(m_sim->Camera(1));
    ASSERT_NO_FATAL_FAILURE(LaunchFleet(base, 2));
    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(WaitForBatchEnd());
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(Result(m_fleet.Cameras()[size_t(n)].mac), "Upgraded successfully!");
    }
    // A second notice (another session's, say) adds nothing.
    Post(MakeTextMessage(WM_INVENTORY_NOTICE, 0, "inventory X is not an SQLite database"));
    ProcessGuiEvents();
    const std::string log = m_dlg->LogPane().Text().toStdString();
    EXPECT_EQ(Count(log, "is not an SQLite database"), 1) << log;
    EXPECT_EQ(Count(log, "Site inventory: "), 1) << log;
    EXPECT_EQ(ReadFile(path), junk);

    // Its views say why they list nothing.
    CInventoryView* view = m_dlg->OpenInventoryView();
    EXPECT_EQ(view->Table()->rowCount(), 0);
    EXPECT_NE(view->Problem().find("is not an SQLite database"), std::string::npos)
        << view->Problem();
}
