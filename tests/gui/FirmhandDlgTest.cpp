#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <map>
#include <set>

#include "FirmhandDlgFixture.h"
#include "PictureEx.h"
#include "app/StringTable.h"
#include "upgrade/UpgradeResult.h"

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

TEST_F(FirmhandDlgTest, StoredCredentialsAndStartState) {
    WriteUserSettings("Username=technician\nPassword=0123456789012345678901234567890123456789\n");
    Open();
    EXPECT_FALSE(m_dlg->windowIcon().isNull());
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
    EXPECT_TRUE(m_dlg->Control(IDC_BUSY_TEXT)->isHidden());
    EXPECT_TRUE(m_dlg->Control(IDC_BUSY_PICTURE)->isHidden());
    EXPECT_TRUE(m_dlg->BusyPicture()->IsLoaded());

    auto* user = qobject_cast<QLineEdit*>(m_dlg->Control(IDC_USERNAME));
    auto* password = qobject_cast<QLineEdit*>(m_dlg->Control(IDC_PASSWORD));
    ASSERT_NE(user, nullptr);
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(user->text(), QStringLiteral("technician"));
    EXPECT_EQ(password->text(), QStringLiteral("012345678901234567890123456789"));
    // Masked until the technician asks to see it.
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    qobject_cast<QAbstractButton*>(m_dlg->Control(IDC_SHOW_PASSWORD))->setChecked(true);
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    // The upgrade file is typed or browsed.
    EXPECT_FALSE(qobject_cast<QLineEdit*>(m_dlg->Control(IDC_PACKAGE_PATH))->isReadOnly());

    // Columns at start: slave address shown (the default), analytics hidden.
    EXPECT_GT(m_dlg->List().ColumnWidth(COL_SLAVE_IP), 0);
    for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE, COL_AI_MATCH_FACE}) {
        EXPECT_EQ(m_dlg->List().ColumnWidth(column), 0) << column;
    }
}

TEST_F(FirmhandDlgTest, ColumnsShowAndHide) {
    WriteProgramSettings("ShowSlaveIp=false\n");
    Open();
    EXPECT_EQ(m_dlg->List().ColumnWidth(COL_SLAVE_IP), 0);
    EXPECT_EQ(ControlText(IDC_SHOW_SLAVE_IP), QStringLiteral("Show slave IP address"));
    m_dlg->List().OnShowSlaveIp();
    // At least their start widths; wider where the heading needs it.
    EXPECT_GE(m_dlg->List().ColumnWidth(COL_SLAVE_IP), 110);
    EXPECT_EQ(ControlText(IDC_SHOW_SLAVE_IP), QStringLiteral("Hide slave IP address"));
    m_dlg->List().OnShowSlaveIp();
    EXPECT_EQ(m_dlg->List().ColumnWidth(COL_SLAVE_IP), 0);

    m_dlg->List().OnShowAiVersion();
    EXPECT_TRUE(m_dlg->List().AreAiColumnsShown());
    EXPECT_EQ(ControlText(IDC_SHOW_AI), QStringLiteral("Hide AI Version"));
    for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE}) {
        EXPECT_GE(m_dlg->List().ColumnWidth(column), 80) << column;
    }
    EXPECT_EQ(m_dlg->List().ColumnWidth(COL_AI_MATCH_FACE), 0);
    m_dlg->List().OnShowAiVersion();
    EXPECT_EQ(ControlText(IDC_SHOW_AI), QStringLiteral("Show AI Version"));
    for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE}) {
        EXPECT_EQ(m_dlg->List().ColumnWidth(column), 0) << column;
    }
}

// The session filters the reports (a camera with a running job is never
// reported gone); the window shows what arrives.
TEST_F(FirmhandDlgTest, SearchReportsReachTheList) {
    Open();
    DeviceFields fields;
    fields.mac = "AA:00:00:00:00:01";
    Found(fields);
    fields.mac = "aa:00:00:00:00:01";
    fields.ip = "127.0.70.77";
    Found(fields, DEVICE_NOTIFY_CHANGED);
    fields.mac = "AA:00:00:00:00:02";
    Found(fields);
    ProcessGuiEvents();
    ASSERT_EQ(DeviceList().RowCount(), 2);
    EXPECT_EQ(DeviceList().CellText(m_dlg->List().findDeviceItem("AA:00:00:00:00:01"), COL_IP),
              QStringLiteral("127.0.70.77"));

    Post(MakeTextMessage(WM_DEVICE_NOTIFY, DEVICE_NOTIFY_GONE, "aa:00:00:00:00:01"));
    Post(MakeTextMessage(WM_DEVICE_NOTIFY, DEVICE_NOTIFY_GONE, "no:such:mac"));
    ProcessGuiEvents();
    EXPECT_EQ(DeviceList().RowCount(), 1);
    EXPECT_EQ(m_dlg->List().findDeviceItem("AA:00:00:00:00:02"), 0);
}

TEST_F(FirmhandDlgTest, ColumnClicksSortDescendingThenAscending) {
    Open();
    for (const auto& [mac, ip] : std::vector<std::pair<std::string, std::string>>{
             {"01", "10.0.0.2"}, {"02", "9.0.0.1"}, {"03", "10.0.0.10"}}) {
        DeviceFields fields;
        fields.mac = mac;
        fields.ip = ip;
        m_dlg->List().addDeviceItem(MakeDevice(fields));
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
    m_dlg->List().OnColumnClick(COL_IP);
    EXPECT_EQ(ips(), (Texts{"9.0.0.1", "10.0.0.2", "10.0.0.10"}));
    m_dlg->List().OnColumnClick(COL_BUILD_DATE);  // not a sort column
    EXPECT_EQ(ips(), (Texts{"9.0.0.1", "10.0.0.2", "10.0.0.10"}));
    // Each column keeps its own direction.
    m_dlg->List().OnColumnClick(COL_MAC);
    EXPECT_EQ(DeviceList().CellText(0, COL_MAC), QStringLiteral("03"));
    m_dlg->List().OnColumnClick(COL_IP);
    EXPECT_EQ(ips(), (Texts{"10.0.0.10", "10.0.0.2", "9.0.0.1"}));
}

TEST_F(FirmhandDlgTest, SameTypeButtonFollowsTheCheckedModels) {
    Open();
    DeviceFields fields;
    for (const auto& [mac, model] : std::vector<std::pair<std::string, std::string>>{
             {"01", "A"}, {"02", "B"}, {"03", "A"}, {"04", "A"}}) {
        fields.mac = mac;
        fields.model = model;
        m_dlg->List().addDeviceItem(MakeDevice(fields));
    }
    ClickCheck("01", true);
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));
    EXPECT_EQ(m_dlg->List().RememberedModel(), "A");
    m_dlg->List().OnCheckSameType();
    EXPECT_TRUE(DeviceList().IsChecked(m_dlg->List().findDeviceItem("03")));
    EXPECT_TRUE(DeviceList().IsChecked(m_dlg->List().findDeviceItem("04")));
    EXPECT_FALSE(DeviceList().IsChecked(m_dlg->List().findDeviceItem("02")));

    ClickCheck("02", true);  // two models checked
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
    EXPECT_EQ(m_dlg->List().RememberedModel(), "A");
    ClickCheck("02", false);
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));

    m_dlg->List().OnSelectAll();
    EXPECT_EQ(DeviceList().CheckedRows().size(), 4u);
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
    ClickCheck("02", false);
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));
    m_dlg->List().OnClearAll();
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

// Every refusal the window can meet: the message the technician sees, the
// controls left free, and nothing changed or contacted for any camera.
TEST_F(FirmhandDlgTest, RefusedBatchesMakeNoCameraReachableAndLeaveNoJob) {
    Open();
    AddCameras(33);
    for (const char* mac : {"AA:00:00:00:00:01", "AA:00:00:00:00:02"}) {
        DeviceFields fields;  // the same slave address
        fields.mac = mac;
        fields.ip2 = "127.0.72.1";
        Found(fields);
    }
    ProcessGuiEvents();
    auto refused = [this](int messageId) {
        EXPECT_EQ(m_dlg->messages, (std::vector<int>{messageId}));
        EXPECT_TRUE(Unlocked());
        EXPECT_FALSE(m_dlg->IsUpgrading());
        EXPECT_FALSE(Session().IsUpgrading());
        for (int row : DeviceList().CheckedRows()) {
            EXPECT_FALSE(Session().HasJob(std::string(FieldText(DeviceList().Record(row)->mac))));
        }
        EXPECT_EQ(m_reach->Entered(), 0) << "no address added";
        EXPECT_EQ(m_connects.load(), 0) << "no camera contacted";
        m_dlg->messages.clear();
    };

    m_dlg->OnBnClickedButtonUpdate();
    refused(IDS_SELECT_FILE);

    ChoosePackage();
    DeviceList().SetCellText(5, COL_RESULT, QStringLiteral("old"));
    m_dlg->OnBnClickedButtonUpdate();
    refused(IDS_SELECT_DEVICE);
    EXPECT_EQ(DeviceList().CellText(5, COL_RESULT), QString()) << "cleared anyway";

    m_dlg->List().OnClearAll();
    for (const char* mac : {"AA:00:00:00:00:01", "AA:00:00:00:00:02"}) {
        Check(mac);
    }
    Check(Mac(0));
    m_dlg->answer = false;
    m_dlg->OnBnClickedButtonUpdate();
    refused(IDS_DUPLICATE_SLAVE_IP);  // the question, declined
    m_dlg->answer = true;

    m_dlg->List().OnClearAll();
    Check(Mac(0));
    m_dlg->SetUpgradeFile(QString::fromStdString(m_sandbox.File("missing.bin")));
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_FALSE(m_dlg->details.empty());
    EXPECT_EQ(m_dlg->details.back(), m_sandbox.File("missing.bin"));
    refused(IDS_PACKAGE_NOT_FOUND);

    m_sandbox.Write("short.bin", "ab");  // not even a package's first word
    m_dlg->SetUpgradeFile(QString::fromStdString(m_sandbox.File("short.bin")));
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_FALSE(m_dlg->details.empty());
    EXPECT_NE(m_dlg->details.back().find("short.bin: a package of 2 bytes"), std::string::npos)
        << m_dlg->details.back();
    refused(IDS_PACKAGE_ERROR);
}

TEST_F(FirmhandDlgTest, SharedSlaveAddressesAskFirst) {
    Open();
    for (int i = 0; i < 4; ++i) {
        DeviceFields fields;
        fields.mac = Mac(i);
        // Two share one; an empty one shares nothing.
        fields.ip2 = i < 2 ? "127.0.71.9" : (i == 2 ? "" : "127.0.71." + std::to_string(i));
        Found(fields);
    }
    ProcessGuiEvents();
    m_dlg->answer = false;
    StartWith({0, 1, 2});
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_DUPLICATE_SLAVE_IP}));
    EXPECT_TRUE(Unlocked());
    std::set<int> selected;
    for (const QModelIndex& index : m_dlg->ListView()->selectionModel()->selectedRows()) {
        selected.insert(index.row());
    }
    EXPECT_EQ(selected, (std::set<int>{m_dlg->List().findDeviceItem(Mac(0)),
                                       m_dlg->List().findDeviceItem(Mac(1))}));

    m_dlg->messages.clear();
    m_dlg->answer = true;
    m_dlg->OnBnClickedButtonUpdate();
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_DUPLICATE_SLAVE_IP}));
    EXPECT_TRUE(LockedForBatch());
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(m_reach->Made().size(), 3u);
}

// The batch start returns at once: the cameras are made reachable on the
// session's threads while the window already shows the batch running. The
// controls stay locked through every final result and come back with the
// batch's end.
TEST_F(FirmhandDlgTest, UpgradeLocksAtOnceAndUnlocksAtTheBatchEnd) {
    Open();
    AddCameras(4);
    DeviceList().SetCellText(m_dlg->List().findDeviceItem(Mac(3)), COL_RESULT,
                             QStringLiteral("old"));
    ChoosePackage();
    for (int i : {0, 1, 2}) {
        Check(Mac(i));
    }
    m_reach->Close();
    qobject_cast<QPushButton*>(m_dlg->Control(IDC_UPGRADE))->click();
    EXPECT_TRUE(m_dlg->messages.empty());
    EXPECT_TRUE(m_dlg->IsUpgrading());
    EXPECT_TRUE(LockedForBatch());
    // The list itself stays usable (scrolling, a row's menu), but its check
    // boxes do not change, neither by a click nor by the space key.
    EXPECT_TRUE(m_dlg->Control(IDC_DEVICE_LIST)->isEnabled());
    const QModelIndex check = DeviceList().index(m_dlg->List().findDeviceItem(Mac(3)), COL_CHECK);
    EXPECT_FALSE(DeviceList().flags(check) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(DeviceList().setData(check, Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(DeviceList().IsChecked(check.row()));
    EXPECT_TRUE(m_reach->Made().empty()) << "no camera was made reachable yet";
    EXPECT_FALSE(m_reach->TimedOut());
    EXPECT_EQ(Result(Mac(3)), "") << "every row cleared at the start";
    ASSERT_NE(Session().Package(), nullptr);
    EXPECT_EQ(Session().Package()->Path(), m_sandbox.File("fw.bin"));

    // The engine queues the three cameras on its own thread; the messages
    // below come after, as the workers' would.
    ASSERT_TRUE(PumpUntil(
        [&] {
            return Result(Mac(0)) == "Queued" && Result(Mac(1)) == "Queued" &&
                   Result(Mac(2)) == "Queued";
        },
        30000));

    // Progress and results as the workers post them; camera 0 is on an
    // upgrade path, whose step leads its texts until its result.
    Post(MakeTextMessage(WM_UPGRADE_STEP, PathStepWord(2, 3), Mac(0)));
    ProcessGuiEvents();
    EXPECT_EQ(Result(Mac(0)), "Step 2 of 3");
    Post(MakeTextMessage(WM_UPGRADE_PROGRESS, 0, Mac(0)));
    Post(MakeTextMessage(WM_UPGRADE_PROGRESS, 45, Mac(1)));
    Post(MakeTextMessage(WM_UPGRADE_PROGRESS, 46, Mac(1)));
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 17, Mac(2)));
    ProcessGuiEvents();
    EXPECT_EQ(Result(Mac(0)), "Step 2 of 3: 0%");
    EXPECT_EQ(Result(Mac(1)), "46%");
    EXPECT_EQ(Result(Mac(2)), "Wait for restart to enter upgrade mode");
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 0, Mac(0)));
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 11, Mac(1)));
    Post(MakeTextMessage(WM_UPGRADE_RESULT, 13, Mac(2)));  // no result: never reaches the row
    ProcessGuiEvents();
    EXPECT_EQ(Result(Mac(0)), "Upgraded successfully!");
    EXPECT_EQ(Result(Mac(1)), "Incorrect Username/Password!");
    EXPECT_EQ(Result(Mac(2)), "Wait for restart to enter upgrade mode");
    EXPECT_TRUE(LockedForBatch()) << "a final result for every row is not the end";

    m_reach->Open();
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_TRUE(Unlocked());
    EXPECT_TRUE(Enabled(IDC_CHECK_SAME_TYPE));
    EXPECT_FALSE(m_reach->TimedOut());
    // Checked rows top to bottom; new rows went on top, so camera 2 first.
    EXPECT_EQ(m_reach->Made(), (std::vector<std::string>{Mac(2), Mac(1), Mac(0)}));
    EXPECT_EQ(m_dlg->batchEnds, (std::vector<int>{3}));
    const std::string failed = ResultCodeToText(UpgradeResult::ConnectFailed);
    for (int i : {0, 1, 2}) {
        EXPECT_EQ(Result(Mac(i)), failed) << i;
    }
    EXPECT_EQ(Result(Mac(3)), "");

    // A second press while a batch runs.
    m_reach->Close();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(m_dlg->IsUpgrading());
    m_dlg->OnBnClickedButtonUpdate();
    EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_UPGRADING_WAIT}));
    m_reach->Open();
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(m_dlg->batchEnds.size(), 2u);
}

TEST_F(FirmhandDlgTest, MessagesForUnknownCamerasChangeNoRow) {
    Open();
    AddCameras(1);
    EXPECT_EQ(m_dlg->OnUpgradeProgress(5, "ff:ff:ff:ff:ff:ff"), 0);
    EXPECT_EQ(m_dlg->OnUpgradeProgress(5, Mac(0)), 1);
    EXPECT_EQ(m_dlg->OnUpgradeResult(UpgradeResult::Ok, "ff:ff:ff:ff:ff:ff"), 1);
    EXPECT_EQ(Result(Mac(0)), "5%");
    // Progress matches the MAC without regard to case.
    EXPECT_EQ(m_dlg->OnUpgradeProgress(7, "00:11:22:33:00:00"), 1);
    EXPECT_EQ(Result(Mac(0)), "7%");
    // An end without a batch unlocks nothing that was not locked.
    Post(MakeTextMessage(WM_BATCH_END, 0, std::string()));
    ProcessGuiEvents();
    EXPECT_TRUE(Unlocked());
    EXPECT_FALSE(Enabled(IDC_CHECK_SAME_TYPE));
}

TEST_F(FirmhandDlgTest, LeftClicksAreSwallowedWhileUpgrading) {
    Open();
    AddCameras(1);
    auto* getAi = qobject_cast<QPushButton*>(m_dlg->Control(IDC_GET_AI_VERSION));
    int clicks = 0;
    QObject::connect(getAi, &QPushButton::clicked, getAi, [&clicks] { ++clicks; });
    SendLeftClick(getAi);
    EXPECT_EQ(clicks, 1);

    m_reach->Close();  // the batch runs until the test lets it go on
    StartWith({0});
    ASSERT_TRUE(m_dlg->IsUpgrading());
    // Nothing checked: the button only asks for a choice (no query goes out).
    DeviceList().SetChecked(0, false);
    SendLeftClick(getAi);
    EXPECT_EQ(clicks, 0 + 1);
    // The keyboard still works, and so do the list's scroll bars.
    getAi->click();
    EXPECT_EQ(clicks, 2);
    QScrollBar* scroll = m_dlg->ListView()->verticalScrollBar();
    scroll->setRange(0, 100);
    scroll->setValue(0);
    scroll->resize(16, 300);  // with four rows it has no room of its own
    SendLeftClick(scroll);
    EXPECT_GT(scroll->value(), 0);

    m_reach->Open();
    ASSERT_TRUE(WaitForBatchEnd());
    SendLeftClick(getAi);
    EXPECT_EQ(clicks, 3);
    // Each click that got through asked for a checked camera.
    EXPECT_EQ(m_dlg->messages, std::vector<int>(3, IDS_SELECT_SAME_AI));
}

// The page opens when the session's answer arrives; making the camera
// reachable never holds the window thread.
TEST_F(FirmhandDlgTest, DoubleClickOpensTheWebPage) {
    Open();
    DeviceFields fields;
    fields.mac = "01";
    fields.ip = "127.0.70.5";
    fields.ip2 = "127.0.71.5";
    fields.httpPort = 80;
    m_dlg->List().addDeviceItem(MakeDevice(fields));
    fields.mac = "02";
    fields.httpPort = 8080;
    m_dlg->List().addDeviceItem(MakeDevice(fields));
    CDeviceListModel& list = DeviceList();

    // Nothing to add: the listed address.
    m_reach->Close();
    emit m_dlg->ListView()->doubleClicked(list.index(m_dlg->List().findDeviceItem("01"), COL_NAME));
    m_dlg->OnListDoubleClicked(QModelIndex());  // empty space: nothing
    EXPECT_TRUE(m_dlg->opened.empty());
    ASSERT_TRUE(PumpUntil([this] { return m_reach->Entered() == 1; }, 10000));
    m_reach->Open();
    ASSERT_TRUE(PumpUntil([this] { return m_dlg->opened.size() == 1; }, 10000));
    EXPECT_EQ(m_dlg->opened[0], "http://127.0.70.5");

    // An address added in the camera's subnet: its second address, once the
    // added one is there.
    m_reach->useSecondAddress = true;
    m_dlg->OnListDoubleClicked(list.index(m_dlg->List().findDeviceItem("02"), COL_MAC));
    ASSERT_TRUE(PumpUntil([this] { return m_dlg->opened.size() == 2; }, 10000));
    EXPECT_TRUE(m_reach->tryFirst.load());
    EXPECT_EQ(m_reach->asked.load(), 2);
    EXPECT_EQ(m_dlg->opened[1], "http://127.0.71.5:8080");
}
