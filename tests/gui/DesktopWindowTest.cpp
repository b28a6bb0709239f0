// The window a technician keeps open all day: the result column's phases,
// icons and coalesced repaints, the filter and the buttons that act on the
// rows shown, the row menu, export, the status bar, the log pane and the
// view remembered between runs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QHeaderView>
#include <QPainter>
#include <QSignalSpy>
#include <QTableView>
#include <fstream>
#include <sstream>

#include "DeviceFilter.h"
#include "FirmhandDlgFixture.h"
#include "LogPane.h"
#include "ResultDelegate.h"
#include "StateIcons.h"
#include "app/Logger.h"
#include "session/MessageEvents.h"
#include "upgrade/UpgradeResult.h"

FH_LOG_SOURCE("DesktopWindowTest");

using testing_support::ReadFile;

namespace {

class DesktopWindowTest : public FirmhandDlgTest {
protected:
    int Row(int i) { return m_dlg->List().findDeviceItem(Mac(i)); }
    // Result-column repaints the model sends for a row.
    static int ChangesOfRow(const QSignalSpy& spy, int row) {
        int count = 0;
        for (const QList<QVariant>& args : spy) {
            const auto first = args[0].value<QModelIndex>();
            const auto last = args[1].value<QModelIndex>();
            count += first.row() <= row && row <= last.row() && last.column() == COL_RESULT;
        }
        return count;
    }
    QLineEdit* FilterEdit() { return qobject_cast<QLineEdit*>(m_dlg->Control(IDC_FILTER)); }
};

// Paints one result cell as the list does.
QImage PaintCell(CDeviceListModel& model, int row) {
    CResultDelegate delegate;
    QImage image(200, 24, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.state = QStyle::State_Enabled;
    option.decorationSize = QSize(16, 16);
    delegate.paint(&painter, option, model.index(row, COL_RESULT));
    return image;
}

}  // namespace

TEST_F(DesktopWindowTest, ResultColumnFollowsThePhasesAndRepaintsOncePerRowPerFrame) {
    Open();
    AddCameras(3);
    CDeviceListModel& list = DeviceList();
    list.FlushRepaints();
    QSignalSpy changes(&list, &QAbstractItemModel::dataChanged);

    // A burst of progress for two cameras within one frame: one repaint
    // each, with the last value.
    for (int block = 0; block < 50; ++block) {
        m_dlg->OnUpgradeProgress(block, Mac(0));
        m_dlg->OnUpgradeProgress(block, Mac(1));
    }
    EXPECT_EQ(changes.count(), 0) << "nothing repainted before the frame";
    EXPECT_EQ(Result(Mac(0)), "49%") << "the text is there at once";
    list.FlushRepaints();
    EXPECT_EQ(ChangesOfRow(changes, Row(0)), 1);
    EXPECT_EQ(ChangesOfRow(changes, Row(1)), 1);
    EXPECT_EQ(ChangesOfRow(changes, Row(2)), 0);
    EXPECT_EQ(list.Phase(Row(0)), RowPhase::Transferring);
    EXPECT_EQ(list.Progress(Row(0)), 49);
    // The frame timer sends them on its own too.
    m_dlg->OnUpgradeProgress(60, Mac(2));
    ASSERT_TRUE(PumpUntil([&] { return ChangesOfRow(changes, Row(2)) == 1; }, 5000));

    const std::pair<UpgradeProgress, RowPhase> states[] = {
        {UpgradeProgress::Starting, RowPhase::Running},
        {UpgradeProgress::WaitComplete, RowPhase::Waiting},
        {UpgradeProgress::Queued, RowPhase::Queued},
    };
    for (const auto& [state, phase] : states) {
        m_dlg->OnUpgradeResult(state, Mac(0));
        EXPECT_EQ(list.Phase(Row(0)), phase) << NumberOf(state);
        EXPECT_EQ(list.Progress(Row(0)), -1) << NumberOf(state);
    }
    const std::pair<UpgradeResult, RowPhase> results[] = {
        {UpgradeResult::Ok, RowPhase::Upgraded},
        {UpgradeResult::AlreadyCurrent, RowPhase::Skipped},
        {UpgradeResult::NoPackageForModel, RowPhase::Skipped},
        {UpgradeResult::BadCredentials, RowPhase::Failed},
        {UpgradeResult::VersionUnchanged, RowPhase::Failed},
        {UpgradeResult::NotStarted, RowPhase::Cancelled},
    };
    for (const auto& [code, phase] : results) {
        m_dlg->OnUpgradeResult(code, Mac(0));
        EXPECT_EQ(list.Phase(Row(0)), phase) << NumberOf(code);
        EXPECT_EQ(list.Progress(Row(0)), -1) << NumberOf(code);
    }
    // A posted number that names neither never reaches the window.
    EXPECT_FALSE(EventOfMessage(MakeTextMessage(WM_UPGRADE_RESULT, 20, Mac(0))));

    // A failed row stands out and its tooltip tells what happened.
    GetLogInstance()->SetLevel(kLogInfo);
    LOG_INFO("Test", "1(1) times upgrade device, mac: %s, currentIp: 127.0.70.2:9008, x: 1",
             Mac(1).c_str());
    m_dlg->LogPane().Drain();
    m_dlg->OnUpgradeResult(UpgradeProgress::Starting, Mac(1));
    m_dlg->OnUpgradeResult(UpgradeResult::ConnectFailed, Mac(1));
    const QModelIndex failed = list.index(Row(1), COL_RESULT);
    EXPECT_TRUE(list.data(list.index(Row(1), COL_NAME), Qt::BackgroundRole).isValid());
    EXPECT_FALSE(list.data(list.index(Row(2), COL_NAME), Qt::BackgroundRole).isValid());
    const QString tip = list.data(failed, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("Device connection failed!"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("Attempts: 1"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("Address used: 127.0.70.2:9008"))) << tip.toStdString();
    // Why, in words; the log's line about it is for a developer.
    EXPECT_TRUE(
        tip.contains(QStringLiteral("Reason: The camera could not be reached on its data port.")))
        << tip.toStdString();
    EXPECT_FALSE(tip.contains(QStringLiteral("Last log line"))) << tip.toStdString();

    // The status bar counts them.
    Check(Mac(2));
    m_dlg->OnUpgradeResult(UpgradeProgress::Queued, Mac(2));
    EXPECT_EQ(m_dlg->StatusCountsText(),
              QStringLiteral("Found 3 · checked 1 · queued 1 · running 0 · upgraded 0 · "
                             "failed 1 · skipped 0"));
}

TEST_F(DesktopWindowTest, DelegateDrawsABarWhileSendingAndAStateIconOtherwise) {
    Open();
    AddCameras(2);
    CDeviceListModel& list = DeviceList();
    // Every phase has an icon, from the theme or from the compiled-in copy.
    for (int phase = 1; phase < static_cast<int>(RowPhase::Count); ++phase) {
        EXPECT_FALSE(StateIcon(static_cast<RowPhase>(phase)).isNull()) << phase;
    }
    EXPECT_TRUE(StateIcon(RowPhase::None).isNull());

    m_dlg->OnUpgradeProgress(10, Mac(0));
    const QImage tenPercent = PaintCell(list, Row(0));
    m_dlg->OnUpgradeProgress(90, Mac(0));
    const QImage ninetyPercent = PaintCell(list, Row(0));
    EXPECT_NE(tenPercent, ninetyPercent) << "the bar grows";

    list.SetCellText(Row(1), COL_RESULT, QStringLiteral("Upgraded successfully!"));
    const QImage textOnly = PaintCell(list, Row(1));
    m_dlg->OnUpgradeResult(UpgradeResult::Ok, Mac(1));
    const QImage withIcon = PaintCell(list, Row(1));
    EXPECT_NE(textOnly, withIcon) << "the state icon is drawn";
}

TEST_F(DesktopWindowTest, FilterShowsMatchingRowsAndTheButtonsActOnThem) {
    Open();
    AddCameras(3, "IPC-100");
    for (int i = 3; i < 5; ++i) {
        DeviceFields fields;
        fields.mac = Mac(i);
        fields.model = "NVR-8";
        fields.name = "gate";
        fields.ip = "127.0.70." + std::to_string(i + 1);
        fields.version = "5.1.0";
        Found(fields);
    }
    ProcessGuiEvents();
    QAbstractItemModel* shown = m_dlg->ListView()->model();
    ASSERT_EQ(shown->rowCount(), 5);

    // Name, address, MAC, model and version, in any letter case.
    const std::pair<QString, int> filters[] = {
        {QStringLiteral("GATE"), 2},
        {QStringLiteral("127.0.70.2"), 1},
        {QStringLiteral("00:11:22:33:00:04"), 1},
        {QStringLiteral("nvr"), 2},
        {QStringLiteral("5.1.0"), 2},
        {QStringLiteral("nothing"), 0},
        {QString(), 5},
    };
    for (const auto& [text, rows] : filters) {
        FilterEdit()->setText(text);
        EXPECT_EQ(shown->rowCount(), rows) << text.toStdString();
    }

    // Select All and Clear All take only the rows shown.
    FilterEdit()->setText(QStringLiteral("nvr"));
    m_dlg->List().OnSelectAll();
    EXPECT_EQ(DeviceList().CheckedRows().size(), 2u);
    EXPECT_FALSE(DeviceList().IsChecked(Row(0)));
    FilterEdit()->setText(QString());
    m_dlg->List().OnSelectAll();
    EXPECT_EQ(DeviceList().CheckedRows().size(), 5u);
    FilterEdit()->setText(QStringLiteral("gate"));
    m_dlg->List().OnClearAll();
    EXPECT_EQ(DeviceList().CheckedRows().size(), 3u);

    // "Check the same type" too.
    FilterEdit()->setText(QString());
    m_dlg->List().OnClearAll();
    ClickCheck(Mac(3), true);
    ASSERT_EQ(m_dlg->List().RememberedModel(), "NVR-8");
    FilterEdit()->setText(QStringLiteral("127.0.70.4"));  // camera 3 only
    m_dlg->List().OnCheckSameType();
    EXPECT_FALSE(DeviceList().IsChecked(Row(4)));
    FilterEdit()->setText(QString());

    // Only failed rows, and a row leaves the view when it stops failing.
    auto* onlyFailed = qobject_cast<QAbstractButton*>(m_dlg->Control(IDC_ONLY_FAILED));
    m_dlg->OnUpgradeResult(UpgradeResult::Timeout, Mac(1));
    m_dlg->OnUpgradeResult(UpgradeResult::Timeout, Mac(4));
    DeviceList().FlushRepaints();
    onlyFailed->setChecked(true);
    EXPECT_EQ(shown->rowCount(), 2);
    m_dlg->OnUpgradeResult(UpgradeResult::Ok, Mac(4));
    ASSERT_TRUE(PumpUntil([&] { return shown->rowCount() == 1; }, 5000));
    EXPECT_EQ(m_dlg->Filter().VisibleRows(), std::vector<int>{Row(1)});
}

TEST_F(DesktopWindowTest, RowMenuActionsExportAndBatchSummary) {
    Open();
    AddCameras(2, "IPC-100");
    DeviceFields other;
    other.mac = Mac(2);
    other.model = "NVR-8";
    other.ip = "127.0.70.3";
    other.name = "Gate, north";
    Found(other);
    ProcessGuiEvents();

    m_dlg->List().OnCopyMac(Row(1));
    m_dlg->List().OnCopyAddress(Row(2));
    EXPECT_EQ(m_dlg->copied,
              (std::vector<QString>{QString::fromStdString(Mac(1)), QStringLiteral("127.0.70.3")}));
    m_dlg->List().OnCheckModelOf(Row(0));
    EXPECT_EQ(DeviceList().CheckedRows().size(), 2u);
    EXPECT_FALSE(DeviceList().IsChecked(Row(2)));
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));

    // The list in the CLI's scan format, the rows shown only.
    FilterEdit()->setText(QStringLiteral("gate"));
    const std::string listCsv = m_sandbox.File("list.csv");
    ASSERT_TRUE(m_dlg->ExportList(QString::fromStdString(listCsv)));
    EXPECT_EQ(ReadFile(listCsv),
              "devName,mac,ip,ip2,productModel,versionText,buildDate,kernelVer,activationText\n"
              "\"Gate, north\"," +
                  Mac(2) + ",127.0.70.3,,NVR-8,3.1.0(12),2024-01-05,4.9.0,Activated\n");
    FilterEdit()->setText(QString());
    const std::string listJson = m_sandbox.File("list.json");
    ASSERT_TRUE(m_dlg->ExportList(QString::fromStdString(listJson)));
    const std::string json = ReadFile(listJson);
    EXPECT_EQ(json.front(), '[');
    EXPECT_NE(json.find("\"devName\": \"Gate, north\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"versionText\": \"3.1.0(12)\""), std::string::npos) << json;

    // Results only after a batch (of the two checked cameras); its end sums
    // it up and tells the desktop, since the window is not the active one.
    EXPECT_FALSE(m_dlg->LastBatch().Outcomes().size());
    StartWith({0});
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_TRUE(m_dlg->StatusTimeText().startsWith(
        QStringLiteral("Batch finished: 0 upgraded, 2 failed, 0 skipped in ")))
        << m_dlg->StatusTimeText().toStdString();
    ASSERT_EQ(m_dlg->notified.size(), 1u);
    EXPECT_TRUE(m_dlg->notified[0].startsWith(QStringLiteral("Firmhand: batch finished: Batch")))
        << m_dlg->notified[0].toStdString();
    const std::string report = m_sandbox.File("report.csv");
    ASSERT_TRUE(m_dlg->ExportResults(QString::fromStdString(report)));
    const std::string csv = ReadFile(report);
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "mac,ip,code,text,oldVersion,newVersion,attempts,seconds,status,name,package,"
              "startedAt,endedAt,queuedAt,reason");
    EXPECT_NE(csv.find(Mac(0) + ",127.0.70.1,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",3.1.0(12),,"), std::string::npos) << "old version, no new one: " << csv;
    EXPECT_NE(csv.find(",failed,cam," + m_sandbox.File("fw.bin") + ","), std::string::npos) << csv;
    // The page a technician hands over, as the CLI writes it.
    const std::string page = m_sandbox.File("report.html");
    ASSERT_TRUE(m_dlg->ExportResults(QString::fromStdString(page)));
    const std::string html = ReadFile(page);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u) << html;
    EXPECT_NE(html.find("<td id=\"failed\">2</td>"), std::string::npos) << html;

    // Retry takes the one camera, whatever is checked.
    m_dlg->List().OnClearAll();
    m_dlg->List().OnRetryCamera(Row(2));
    ASSERT_TRUE(WaitForBatchEnd());
    ASSERT_EQ(m_dlg->LastBatch().Outcomes().size(), 1u);
    EXPECT_EQ(m_dlg->LastBatch().Outcomes()[0].mac, Mac(2));
}

TEST_F(DesktopWindowTest, LogPaneFollowsTheSelectedCamera) {
    Open();
    AddCameras(2);
    m_dlg->DeveloperLogAction()->setChecked(true);
    GetLogInstance()->SetLevel(kLogInfo);
    LOG_INFO("Test", "login succeed, mac: %s", Mac(0).c_str());
    LOG_INFO("Test", "connect failed 3, mac: %s", Mac(1).c_str());
    LOG_INFO("Test", "search round");
    m_dlg->LogPane().Drain();
    QString all = m_dlg->LogPane().Text();
    EXPECT_TRUE(all.contains(QStringLiteral("login succeed")));
    EXPECT_TRUE(all.contains(QStringLiteral("connect failed")));
    EXPECT_TRUE(all.contains(QStringLiteral("search round")));

    QTableView* view = m_dlg->ListView();
    view->setCurrentIndex(m_dlg->Filter().mapFromSource(DeviceList().index(Row(1), 0)));
    const QString one = m_dlg->LogPane().Text();
    EXPECT_FALSE(one.contains(QStringLiteral("login succeed")));
    EXPECT_TRUE(one.contains(QStringLiteral("connect failed")));
    EXPECT_FALSE(one.contains(QStringLiteral("search round")));
    view->clearSelection();
    view->selectionModel()->clearCurrentIndex();
    EXPECT_EQ(m_dlg->LogPane().Text(), all);
}

TEST_F(DesktopWindowTest, ViewIsRememberedAndDamagedValuesAreIgnored) {
    Open();
    QHeaderView* header = m_dlg->ListView()->horizontalHeader();
    header->resizeSection(COL_MAC, 201);
    header->moveSection(header->visualIndex(COL_PRODUCT), 2);
    m_dlg->List().OnShowAiVersion();
    m_dlg->List().OnShowSlaveIp();
    m_dlg->List().OnColumnClick(COL_IP);  // descending
    m_dlg->resize(1234, 777);
    m_dlg->SaveWindowState();
    m_ownDlg.reset();

    Open();
    header = m_dlg->ListView()->horizontalHeader();
    EXPECT_EQ(m_dlg->List().ColumnWidth(COL_MAC), 201);
    EXPECT_EQ(header->visualIndex(COL_PRODUCT), 2);
    EXPECT_TRUE(m_dlg->List().AreAiColumnsShown());
    EXPECT_EQ(m_dlg->List().ColumnWidth(COL_SLAVE_IP), 0);
    EXPECT_EQ(m_dlg->size(), QSize(1234, 777));
    EXPECT_EQ(header->sortIndicatorSection(), COL_IP);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    // The remembered sort is applied once the cameras are in.
    AddCameras(3);
    ASSERT_TRUE(PumpUntil(
        [&] { return DeviceList().CellText(0, COL_IP) == QStringLiteral("127.0.70.3"); }, 5000));
    m_ownDlg.reset();

    WriteUserSettings(
        "ListColumnWidths=1,2,x\nListColumnOrder=0,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14\n"
        "ListSortColumn=99\nListShowAiColumns=maybe\n");
    Open();
    EXPECT_EQ(m_dlg->List().ColumnWidth(COL_MAC), 125);
    EXPECT_EQ(m_dlg->ListView()->horizontalHeader()->visualIndex(COL_PRODUCT), COL_PRODUCT);
    EXPECT_FALSE(m_dlg->List().AreAiColumnsShown());
    EXPECT_FALSE(m_dlg->ListView()->horizontalHeader()->isSortIndicatorShown());
}

// F5 starts a round at once: with rounds a minute apart, the camera is
// asked again right after the key.
TEST_F(DesktopWindowTest, SearchNowAsksTheCamerasAtOnce) {
    SESSION_OPTIONS options = SimOptions(23);
    options.searchRoundIntervalMs = 60000;
    m_fleet.AddCamera(m_sim->Camera(0));
    StartFleet();
    const std::string mac = m_fleet.Cameras()[0].mac;
    ASSERT_TRUE(Launch(FleetOptions(), options));
    ASSERT_TRUE(PumpUntil([&] { return DeviceList().RowCount() == 1; }, 10000));
    const int asked = m_fleet.CountEvents(mac, "probe_answered");
    m_dlg->OnSearchNow();
    EXPECT_TRUE(m_fleet.WaitForEvent(mac, "probe_answered", 10000, asked + 1));
}
