#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <map>
#include <set>

#include "AboutDlg.h"
#include "FirmhandDlgFixture.h"
#include "PictureEx.h"
#include "app/StringTable.h"
#include "app/Version.h"

void SendLeftClick(QWidget* widget) {
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    const QPointF global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

TEST_F(FirmhandDlgTest, ControlsTextsAndStartState) {
    WriteUserSettings("Username=technician\nPassword=0123456789012345678901234567890123456789\n");
    Open();
    EXPECT_EQ(m_dlg->windowTitle(),
              QStringLiteral("Batch Firmhandv") +
                  QString::fromStdString(VersionToString(GetModuleVersionNumber())));
    EXPECT_FALSE(m_dlg->windowIcon().isNull());

    const std::pair<int, const char*> texts[] = {
        {IDC_SELECT_ALL, "Select All"},
        {IDC_CLEAR_ALL, "Clear All"},
        {IDC_CHECK_SAME_TYPE, "Check the same type of device"},
        {IDC_GET_AI_VERSION, "Get AI Version"},
        {IDC_SHOW_AI, "Show AI Version"},
        {IDC_SHOW_SLAVE_IP, "Hide slave IP address"},
        {IDC_BUSY_TEXT, "Upgrading, Please wait...."},
        {IDC_BATCH_GROUP, "Batch Upgrade"},
        {IDC_USERNAME_LABEL, "Username"},
        {IDC_PASSWORD_LABEL, "Password"},
        {IDC_BROWSE, "Browse"},
        {IDC_UPGRADE, "Upgrade"},
    };
    for (const auto& [id, text] : texts) {
        EXPECT_EQ(ControlText(id), QString::fromUtf8(text)) << id;
    }
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
    EXPECT_TRUE(m_dlg->Control(IDC_BUSY_TEXT)->isHidden());
    EXPECT_TRUE(m_dlg->Control(IDC_BUSY_PICTURE)->isHidden());

    auto* user = qobject_cast<QLineEdit*>(m_dlg->Control(IDC_USERNAME));
    auto* password = qobject_cast<QLineEdit*>(m_dlg->Control(IDC_PASSWORD));
    ASSERT_NE(user, nullptr);
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(user->text(), QStringLiteral("technician"));
    EXPECT_EQ(user->maxLength(), 30);
    EXPECT_EQ(password->maxLength(), 30);
    EXPECT_EQ(password->text(), QStringLiteral("012345678901234567890123456789"));
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(qobject_cast<QLineEdit*>(m_dlg->Control(IDC_PACKAGE_PATH))->isReadOnly());

    // Columns at start: slave address shown (the default), analytics hidden.
    EXPECT_EQ(m_dlg->ColumnWidth(COL_SLAVE_IP), 110);
    EXPECT_EQ(m_dlg->ColumnWidth(COL_MAC), 125);
    for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE, COL_AI_MATCH_FACE}) {
        EXPECT_EQ(m_dlg->ColumnWidth(column), 0) << column;
    }
}

TEST_F(FirmhandDlgTest, DefaultCredentialsAndAnimationLoaded) {
    Open();
    EXPECT_EQ(ControlText(IDC_USERNAME), QStringLiteral("admin"));
    EXPECT_EQ(ControlText(IDC_PASSWORD), QStringLiteral("739518"));
    EXPECT_TRUE(m_dlg->BusyPicture()->IsLoaded());
    EXPECT_EQ(m_dlg->BusyPicture()->FrameCount(), 12);
}

TEST_F(FirmhandDlgTest, ColumnsShowAndHide) {
    WriteProgramSettings("ShowSlaveIp=false\n");
    Open();
    EXPECT_EQ(m_dlg->ColumnWidth(COL_SLAVE_IP), 0);
    EXPECT_EQ(ControlText(IDC_SHOW_SLAVE_IP), QStringLiteral("Show slave IP address"));
    m_dlg->OnShowSlaveIp();
    EXPECT_EQ(m_dlg->ColumnWidth(COL_SLAVE_IP), 110);
    EXPECT_EQ(ControlText(IDC_SHOW_SLAVE_IP), QStringLiteral("Hide slave IP address"));
    m_dlg->OnShowSlaveIp();
    EXPECT_EQ(m_dlg->ColumnWidth(COL_SLAVE_IP), 0);

    m_dlg->OnShowAiVersion();
    EXPECT_TRUE(m_dlg->AreAiColumnsShown());
    EXPECT_EQ(ControlText(IDC_SHOW_AI), QStringLiteral("Hide AI Version"));
    for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE}) {
        EXPECT_EQ(m_dlg->ColumnWidth(column), 80) << column;
    }
    EXPECT_EQ(m_dlg->ColumnWidth(COL_AI_MATCH_FACE), 0);
    m_dlg->OnShowAiVersion();
    EXPECT_EQ(ControlText(IDC_SHOW_AI), QStringLiteral("Show AI Version"));
    for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE}) {
        EXPECT_EQ(m_dlg->ColumnWidth(column), 0) << column;
    }
}

TEST_F(FirmhandDlgTest, SearchReportsReachTheListAndTheJobs) {
    Open();
    DeviceSpec fields;
    fields.mac = "AA:00:00:00:00:01";
    Found(fields);
    fields.mac = "aa:00:00:00:00:01";
    fields.ip = "192.168.1.77";
    Found(fields, DEVICE_NOTIFY_CHANGED);
    fields.mac = "AA:00:00:00:00:02";
    Found(fields);
    ProcessGuiEvents();
    ASSERT_EQ(DeviceList().RowCount(), 2);
    EXPECT_EQ(DeviceList().CellText(m_dlg->findDeviceItem("AA:00:00:00:00:01"), COL_IP),
              QStringLiteral("192.168.1.77"));
    ASSERT_EQ(m_engine->reports.size(), 3u);
    EXPECT_EQ(m_engine->reports[1].first, DEVICE_NOTIFY_CHANGED);
    EXPECT_EQ(m_engine->reports[1].second, "aa:00:00:00:00:01");

    // Gone while a job runs: the row stays. Gone without a job: removed.
    m_engine->jobs["AA:00:00:00:00:02"] = false;
    Post(MakeTextMessage(WM_DEVICE_NOTIFY, DEVICE_NOTIFY_GONE, "AA:00:00:00:00:02"));
    Post(MakeTextMessage(WM_DEVICE_NOTIFY, DEVICE_NOTIFY_GONE, "aa:00:00:00:00:01"));
    Post(MakeTextMessage(WM_DEVICE_NOTIFY, DEVICE_NOTIFY_GONE, "no:such:mac"));
    ProcessGuiEvents();
    EXPECT_EQ(DeviceList().RowCount(), 1);
    EXPECT_EQ(m_dlg->findDeviceItem("AA:00:00:00:00:02"), 0);
    EXPECT_FALSE(m_dlg->removeDeviceItem("AA:00:00:00:00:02"));
}

TEST_F(FirmhandDlgTest, ColumnClicksSortDescendingThenAscending) {
    Open();
    for (const auto& [mac, ip] : std::vector<std::pair<std::string, std::string>>{
             {"01", "10.0.0.2"}, {"02", "9.0.0.1"}, {"03", "10.0.0.10"}}) {
        DeviceSpec fields;
        fields.mac = mac;
        fields.ip = ip;
        m_dlg->addDeviceItem(MakeDevice(fields));
    }
    auto ips = [this] {
        std::vector<std::string> texts;
        for (int row = 0; row < DeviceList().RowCount(); ++row) {
            texts.push_back(DeviceList().CellText(row, COL_IP).toStdString());
        }
        return texts;
    };
    using Texts = std::vector<std::string>;
    // A click on the heading, as the header reports it.
    emit m_dlg->ListView()->horizontalHeader()->sectionClicked(COL_IP);
    EXPECT_EQ(ips(), (Texts{"10.0.0.10", "10.0.0.2", "9.0.0.1"}));
    EXPECT_EQ(m_dlg->ListView()->horizontalHeader()->sortIndicatorSection(), COL_IP);
    EXPECT_EQ(m_dlg->ListView()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    m_dlg->OnColumnClick(COL_IP);
    EXPECT_EQ(ips(), (Texts{"9.0.0.1", "10.0.0.2", "10.0.0.10"}));
    m_dlg->OnColumnClick(COL_BUILD_DATE);  // not a sort column
    EXPECT_EQ(ips(), (Texts{"9.0.0.1", "10.0.0.2", "10.0.0.10"}));
    // Each column keeps its own direction.
    m_dlg->OnColumnClick(COL_MAC);
    EXPECT_EQ(DeviceList().CellText(0, COL_MAC), QStringLiteral("03"));
    m_dlg->OnColumnClick(COL_IP);
    EXPECT_EQ(ips(), (Texts{"10.0.0.10", "10.0.0.2", "9.0.0.1"}));
}

TEST_F(FirmhandDlgTest, SameTypeButtonFollowsTheCheckedModels) {
    Open();
    DeviceSpec fields;
    for (const auto& [mac, model] : std::vector<std::pair<std::string, std::string>>{
             {"01", "A"}, {"02", "B"}, {"03", "A"}, {"04", "A"}}) {
        fields.mac = mac;
        fields.model = model;
        m_dlg->addDeviceItem(MakeDevice(fields));
    }
    ClickCheck("01", true);
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));
    EXPECT_EQ(m_dlg->RememberedModel(), "A");
    m_dlg->OnCheckSameType();
    EXPECT_TRUE(DeviceList().IsChecked(m_dlg->findDeviceItem("03")));
    EXPECT_TRUE(DeviceList().IsChecked(m_dlg->findDeviceItem("04")));
    EXPECT_FALSE(DeviceList().IsChecked(m_dlg->findDeviceItem("02")));

    ClickCheck("02", true);  // two models checked
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
    EXPECT_EQ(m_dlg->RememberedModel(), "A");
    ClickCheck("02", false);
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));

    m_dlg->OnSelectAll();
    EXPECT_EQ(DeviceList().CheckedRows().size(), 4u);
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
    ClickCheck("02", false);
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));
    m_dlg->OnClearAll();
    EXPECT_TRUE(DeviceList().CheckedRows().empty());
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
    ClickCheck("02", true);
    ClickCheck("02", false);  // nothing checked any more
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
}

TEST_F(FirmhandDlgTest, BrowseKeepsThePathWhenCancelled) {
    Open();
    auto* edit = qobject_cast<QLineEdit*>(m_dlg->Control(IDC_PACKAGE_PATH));
    m_dlg->chosenFile = QStringLiteral("/tmp/pkg/fw-1.bin");
    m_dlg->OnBrowse();
    EXPECT_EQ(m_dlg->UpgradeFile(), QStringLiteral("/tmp/pkg/fw-1.bin"));
    EXPECT_EQ(edit->text(), QStringLiteral("/tmp/pkg/fw-1.bin"));
    m_dlg->chosenFile.clear();
    m_dlg->OnBrowse();
    EXPECT_EQ(m_dlg->UpgradeFile(), QStringLiteral("/tmp/pkg/fw-1.bin"));
    EXPECT_EQ(edit->text(), QStringLiteral("/tmp/pkg/fw-1.bin"));
}

TEST_F(FirmhandDlgTest, UpgradeRefusals) {
    Open();
    AddCameras(34);

    m_dlg->OnBnClickedButtonUpdate();  // no package
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_SELECT_FILE}));

    m_dlg->messages.clear();
    m_dlg->SetUpgradeFile(QStringLiteral("/tmp/fw.bin"));
    DeviceList().SetCellText(5, COL_RESULT, QStringLiteral("old"));
    m_dlg->OnBnClickedButtonUpdate();  // nothing checked
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_SELECT_DEVICE}));
    EXPECT_EQ(DeviceList().CellText(5, COL_RESULT), QString());  // cleared anyway

    m_dlg->messages.clear();
    for (int i = 0; i < 33; ++i) {
        Check(Mac(i));
    }
    m_dlg->OnBnClickedButtonUpdate();  // 33 checked
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_MAX_32}));
    EXPECT_TRUE(m_engine->starts.empty());
    EXPECT_TRUE(Unlocked());
    EXPECT_FALSE(m_dlg->IsUpgrading());

    // 32 is allowed.
    m_dlg->messages.clear();
    DeviceList().SetChecked(m_dlg->findDeviceItem(Mac(0)), false);
    m_dlg->OnBnClickedButtonUpdate();
    EXPECT_TRUE(m_dlg->messages.empty());
    ASSERT_EQ(m_engine->starts.size(), 1u);
    EXPECT_EQ(m_engine->starts[0].devices.size(), 32u);
    EXPECT_TRUE(m_dlg->IsUpgrading());

    m_dlg->OnBnClickedButtonUpdate();  // second press
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_UPGRADING_WAIT}));
    EXPECT_EQ(m_engine->starts.size(), 1u);
}

TEST_F(FirmhandDlgTest, SharedSlaveAddressesAskFirst) {
    Open();
    for (int i = 0; i < 4; ++i) {
        DeviceSpec fields;
        fields.mac = Mac(i);
        fields.ip2 = i < 2 ? "" : "172.16.0." + std::to_string(i);  // two empty ones
        Found(fields);
    }
    ProcessGuiEvents();
    m_dlg->answer = false;
    StartWith({0, 1, 2});
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_DUPLICATE_SLAVE_IP}));
    EXPECT_TRUE(m_engine->starts.empty());
    EXPECT_TRUE(Unlocked());
    std::set<int> selected;
    for (const QModelIndex& index : m_dlg->ListView()->selectionModel()->selectedRows()) {
        selected.insert(index.row());
    }
    EXPECT_EQ(selected,
              (std::set<int>{m_dlg->findDeviceItem(Mac(0)), m_dlg->findDeviceItem(Mac(1))}));

    m_dlg->messages.clear();
    m_dlg->answer = true;
    m_dlg->OnBnClickedButtonUpdate();
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_DUPLICATE_SLAVE_IP}));
    ASSERT_EQ(m_engine->starts.size(), 1u);
    EXPECT_TRUE(LockedForBatch());
}

TEST_F(FirmhandDlgTest, PackageThatDoesNotOpenLeavesTheControlsUnlocked) {
    Open();
    AddCameras(2);
    m_engine->refusal = IDS_OPEN_FILE_FAILED;
    StartWith({0, 1});
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_OPEN_FILE_FAILED}));
    EXPECT_EQ(m_engine->starts.size(), 1u);
    EXPECT_TRUE(Unlocked());
    EXPECT_FALSE(m_dlg->IsUpgrading());
}

TEST_F(FirmhandDlgTest, BatchShowsProgressAndUnlocksAfterTheLastResult) {
    Open();
    AddCameras(4);
    auto* user = qobject_cast<QLineEdit*>(m_dlg->Control(IDC_USERNAME));
    user->setText(QStringLiteral("op"));
    DeviceList().SetCellText(m_dlg->findDeviceItem(Mac(3)), COL_RESULT, QStringLiteral("old"));
    StartWith({0, 1, 2});

    ASSERT_EQ(m_engine->starts.size(), 1u);
    const UPGRADE_BATCH_REQUEST& request = m_engine->starts[0];
    ASSERT_EQ(request.devices.size(), 3u);
    // Checked rows top to bottom; new rows went on top, so camera 2 first.
    EXPECT_EQ(std::string(FieldText(request.devices[0].mac)), Mac(2));
    EXPECT_EQ(request.packagePath, m_sandbox.File("fw.bin"));
    EXPECT_EQ(request.userName, "op");
    EXPECT_EQ(request.password, "739518");
    EXPECT_TRUE(LockedForBatch());
    EXPECT_TRUE(m_dlg->IsUpgrading());
    EXPECT_EQ(Result(Mac(3)), "");  // every row cleared at the start

    Post(MakeTextMessage(WM_UPGRADE_PROGRESS, 0, Mac(0)));
    Post(MakeTextMessage(WM_UPGRADE_PROGRESS, 45, Mac(1)));
    Post(MakeTextMessage(WM_UPGRADE_PROGRESS, 46, Mac(1)));
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 17, Mac(2)));
    ProcessGuiEvents();
    EXPECT_EQ(Result(Mac(0)), "0%");
    EXPECT_EQ(Result(Mac(1)), "46%");
    EXPECT_EQ(Result(Mac(2)), "Wait for restart to enter upgrade mode");
    EXPECT_TRUE(LockedForBatch());

    // Two final results: still one job running.
    m_engine->jobs[Mac(0)] = true;
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 0, Mac(0)));
    m_engine->jobs[Mac(1)] = true;
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 11, Mac(1)));
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 18, Mac(2)));
    ProcessGuiEvents();
    EXPECT_EQ(Result(Mac(0)), "Upgraded successfully!");
    EXPECT_EQ(Result(Mac(1)), "Incorrect Username/Password!");
    EXPECT_TRUE(LockedForBatch());
    EXPECT_TRUE(m_dlg->IsUpgrading());

    // A code without a text clears the column; the last final result ends
    // the batch and empties the job table.
    m_engine->jobs[Mac(2)] = true;
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 13, Mac(2)));
    ProcessGuiEvents();
    EXPECT_EQ(Result(Mac(2)), "");
    EXPECT_FALSE(m_dlg->IsUpgrading());
    EXPECT_TRUE(Unlocked());
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));
    // The engine heard of every result, intermediate ones too.
    EXPECT_EQ(m_engine->results.size(), 5u);
    EXPECT_TRUE(m_engine->jobs.empty());
    // Results stay until the next batch.
    EXPECT_EQ(Result(Mac(0)), "Upgraded successfully!");
}

// A worker marks its job finished just before it posts its result, so the
// engine may call the batch over while the last result is still on its way.
TEST_F(FirmhandDlgTest, CrossingFinalResultsKeepTheLockUntilTheLast) {
    Open();
    AddCameras(2);
    StartWith({0, 1});
    m_engine->jobs[Mac(0)] = true;
    m_engine->jobs[Mac(1)] = true;  // finished, its message not yet handled
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 0, Mac(0)));
    ProcessGuiEvents();
    EXPECT_TRUE(m_engine->jobs.empty()) << "the engine called the batch over";
    EXPECT_TRUE(LockedForBatch());
    EXPECT_TRUE(m_dlg->IsUpgrading());
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 18, Mac(1)));  // not final
    ProcessGuiEvents();
    EXPECT_TRUE(LockedForBatch());
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 0, Mac(1)));
    ProcessGuiEvents();
    EXPECT_TRUE(Unlocked());
    EXPECT_FALSE(m_dlg->IsUpgrading());
    EXPECT_EQ(Result(Mac(1)), "Upgraded successfully!");
}

TEST_F(FirmhandDlgTest, MessagesForUnknownCamerasChangeNoRow) {
    Open();
    AddCameras(1);
    EXPECT_EQ(m_dlg->OnUpgradeProgress(5, "ff:ff:ff:ff:ff:ff"), 0);
    EXPECT_EQ(m_dlg->OnUpgradeProgress(5, Mac(0)), 1);
    StartWith({0});
    ASSERT_TRUE(m_dlg->IsUpgrading());
    m_engine->jobs[Mac(0)] = true;
    EXPECT_EQ(m_dlg->OnUpgradeResult(0, "ff:ff:ff:ff:ff:ff"), 1);
    EXPECT_EQ(Result(Mac(0)), "");
    EXPECT_FALSE(m_dlg->IsUpgrading());  // every job finished: the batch is over
    // Progress matches the MAC without regard to case.
    EXPECT_EQ(m_dlg->OnUpgradeProgress(7, "00:11:22:33:00:00"), 1);
    EXPECT_EQ(Result(Mac(0)), "7%");
}

TEST_F(FirmhandDlgTest, LeftClicksAreSwallowedWhileUpgrading) {
    Open();
    AddCameras(1);
    auto* getAi = qobject_cast<QPushButton*>(m_dlg->Control(IDC_GET_AI_VERSION));
    int clicks = 0;
    QObject::connect(getAi, &QPushButton::clicked, getAi, [&clicks] { ++clicks; });
    SendLeftClick(getAi);
    EXPECT_EQ(clicks, 1);

    StartWith({0});
    ASSERT_TRUE(m_dlg->IsUpgrading());
    // Nothing checked: the button only asks for a choice (no query goes out).
    DeviceList().SetChecked(0, false);
    SendLeftClick(getAi);
    EXPECT_EQ(clicks, 0 + 1);
    // The keyboard still works.
    getAi->click();
    EXPECT_EQ(clicks, 2);

    m_engine->jobs[Mac(0)] = true;
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 0, Mac(0)));
    ProcessGuiEvents();
    SendLeftClick(getAi);
    EXPECT_EQ(clicks, 3);
    // Each click that got through asked for a checked camera.
    EXPECT_EQ(m_dlg->messages, std::vector<int>(3, IDS_SELECT_SAME_AI));
}

TEST_F(FirmhandDlgTest, ClosingCancelsTheJobs) {
    Open();
    AddCameras(2);
    StartWith({0, 1});
    ASSERT_EQ(m_engine->jobs.size(), 2u);
    const int cancels = m_engine->cancels;
    m_dlg->close();
    EXPECT_EQ(m_engine->cancels, cancels + 1);
    EXPECT_TRUE(m_engine->jobs.empty());
    EXPECT_EQ(DeviceList().RowCount(), 0);
    EXPECT_FALSE(m_dlg->BusyPicture()->HasThread());
}

TEST_F(FirmhandDlgTest, AboutBox) {
    Open();
    bool found = false;
    for (QAction* action : m_dlg->menuBar()->actions()) {
        found = found || action->text() == QStringLiteral("About Firmhand");
    }
    EXPECT_TRUE(found);
    CAboutDlg about(QStringLiteral("Name:"), QStringLiteral("Version:"), QStringLiteral("Date:"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Firmhand"));
    EXPECT_EQ(about.Text(CAboutDlg::IDC_NAME), QStringLiteral("Name:Firmhand"));
    EXPECT_EQ(about.Text(CAboutDlg::IDC_VERSION),
              QStringLiteral("Version:v") +
                  QString::fromStdString(VersionToString(GetModuleVersionNumber())));
    EXPECT_EQ(about.Text(CAboutDlg::IDC_DATE),
              QStringLiteral("Date:") + QString::fromLatin1(BuildDateText()));
    EXPECT_FALSE(about.Text(CAboutDlg::IDC_NOTICE).isEmpty());
}

TEST_F(FirmhandDlgTest, DoubleClickOpensTheWebPage) {
    Open();
    DeviceSpec fields;
    fields.mac = "01";
    fields.ip = "192.168.1.5";
    fields.ip2 = "172.16.0.5";
    fields.httpPort = 80;
    m_dlg->addDeviceItem(MakeDevice(fields));
    fields.mac = "02";
    fields.httpPort = 8080;
    m_dlg->addDeviceItem(MakeDevice(fields));
    CDeviceListModel& list = DeviceList();

    // Without reachability the listed address is used.
    emit m_dlg->ListView()->doubleClicked(list.index(m_dlg->findDeviceItem("01"), COL_NAME));
    m_dlg->OnListDoubleClicked(QModelIndex());  // empty space: nothing
    ASSERT_EQ(m_dlg->opened, (std::vector<std::string>{"http://192.168.1.5"}));

    auto reachability = std::make_shared<CFakeReachability>();
    m_dlg->SetReachability(reachability);
    m_dlg->OnListDoubleClicked(list.index(m_dlg->findDeviceItem("02"), COL_MAC));
    EXPECT_TRUE(reachability->tryFirst);
    EXPECT_EQ(reachability->asked.size(), 2u);  // waited for the added address
    EXPECT_EQ(m_dlg->opened.back(), "http://172.16.0.5:8080");
}
