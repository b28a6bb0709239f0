// The window as a new technician meets it: the list's room, the folded
// rollout options, a typed package path, the log pane's events, the
// analytics columns beside the result, headings that fit, the time
// estimate, the language chosen in the program, and the resume question.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "CollapsiblePanel.h"
#include "FirmhandDlgFixture.h"
#include "LogPane.h"
#include "RowPhase.h"
#include "WindowState.h"
#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "http/AiVersionResult.h"
#include "upgrade/UpgradeResult.h"

FH_LOG_SOURCE("TechnicianWindowTest");

using testing_support::ReadFile;

namespace {

class TechnicianWindowTest : public FirmhandDlgTest {
protected:
    void TearDown() override {
        SetCurrentLanguage(UiLanguage::English);
        FirmhandDlgTest::TearDown();
    }
    QLineEdit* PathEdit() { return qobject_cast<QLineEdit*>(m_dlg->Control(IDC_PACKAGE_PATH)); }
    int RowsShown() {
        QTableView* view = m_dlg->ListView();
        return view->viewport()->height() / view->verticalHeader()->defaultSectionSize();
    }
    // The View menu's entry with this text.
    QAction* MenuAction(const QString& text) {
        for (QAction* action : m_dlg->findChildren<QAction*>()) {
            if (action->text() == text) {
                return action;
            }
        }
        return nullptr;
    }
};

// The window a message box really opens from (the fixture's window answers
// in its place).
class CBoxDlg : public CFirmhandDlg {
public:
    using CFirmhandDlg::ShowMessage;
};

// Closes the next message box once it shows, noting its title and text.
void CloseNextMessageBox(QStringList* texts) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, texts] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *texts << box->windowTitle() << box->text();
            for (QAbstractButton* button : box->buttons()) {
                *texts << button->text();
            }
            box->reject();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

}  // namespace

// On a 1280 x 800 screen (less a desktop panel) the list shows at least
// twelve cameras; the rollout options are folded until opened, and stay as
// the technician left them.
TEST_F(TechnicianWindowTest, ListHasTheRoomAndTheRolloutOptionsFoldRemembered) {
    Open();
    AddCameras(20);
    m_dlg->resize(m_dlg->DefaultWindowSize(QSize(1280, 760)));
    m_dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg));
    ProcessGuiEvents();
    EXPECT_LE(m_dlg->height(), 760);
    EXPECT_GE(RowsShown(), 12) << "window " << m_dlg->height() << " px high";
    EXPECT_FALSE(m_dlg->RolloutPanel()->IsOpen());
    EXPECT_FALSE(m_dlg->Control(IDC_PACKAGE_LIST)->isVisible());
    EXPECT_TRUE(m_dlg->Control(IDC_UPGRADE)->isVisible());

    const int folded = RowsShown();
    QTest::mouseClick(m_dlg->RolloutPanel()->Toggle(), Qt::LeftButton);
    ProcessGuiEvents();
    EXPECT_TRUE(m_dlg->RolloutPanel()->IsOpen());
    EXPECT_TRUE(m_dlg->Control(IDC_PACKAGE_LIST)->isVisible());
    EXPECT_LT(RowsShown(), folded) << "the options take the list's room only when open";
    m_dlg->close();
    m_ownDlg.reset();

    Open();
    EXPECT_TRUE(m_dlg->RolloutPanel()->IsOpen());
    m_dlg->RolloutPanel()->SetOpen(false);
    m_dlg->SaveWindowState();
    m_ownDlg.reset();
    Open();
    EXPECT_FALSE(m_dlg->RolloutPanel()->IsOpen());
}

// The upgrade file has a label and takes a typed path; a path that is no
// file is refused with its own message and the path, before the question
// and before any camera is touched.
TEST_F(TechnicianWindowTest, TypedPackagePathIsTakenAndAMissingOneRefused) {
    Open();
    AddCameras(1);
    Check(Mac(0));
    auto* label = qobject_cast<QLabel*>(m_dlg->Control(IDC_PACKAGE_LABEL));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Upgrade file:"));
    EXPECT_EQ(label->buddy(), PathEdit());
    EXPECT_FALSE(PathEdit()->isReadOnly());

    for (const std::string& wrong : {m_sandbox.File("fw-typo.bin"), m_sandbox.Path()}) {
        PathEdit()->clear();
        QTest::keyClicks(PathEdit(), QString::fromStdString(wrong));
        EXPECT_EQ(m_dlg->UpgradeFile().toStdString(), wrong);
        m_dlg->OnBnClickedButtonUpdate();
        EXPECT_EQ(m_dlg->messages, (std::vector<int>{IDS_PACKAGE_NOT_FOUND}));
        EXPECT_EQ(m_dlg->details.back(), wrong);
        EXPECT_TRUE(m_dlg->batchQuestions.empty());
        EXPECT_FALSE(m_dlg->IsUpgrading());
        m_dlg->messages.clear();
    }
    EXPECT_EQ(m_reach->Entered(), 0);
    EXPECT_EQ(m_connects.load(), 0);

    // Blanks around a pasted path do not count; the typed file is the batch's.
    const std::string package = CGuiSimSetup::WritePackage(m_sandbox.File("typed.bin"), 200);
    PathEdit()->clear();
    QTest::keyClicks(PathEdit(), QString::fromStdString("  " + package + " "));
    m_dlg->OnBnClickedButtonUpdate();
    EXPECT_TRUE(m_dlg->messages.empty());
    ASSERT_TRUE(m_dlg->IsUpgrading());
    EXPECT_FALSE(PathEdit()->isEnabled()) << "the batch's file stays as it started";
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_TRUE(PathEdit()->isEnabled());
    ASSERT_FALSE(m_dlg->LastBatch().Outcomes().empty());
    EXPECT_EQ(m_dlg->LastBatch().Outcomes().front().package, package);
}

// At the default level the pane tells the technician's story; the
// program's own lines come with "Developer log lines" (remembered).
TEST_F(TechnicianWindowTest, LogPaneShowsEventsAndDeveloperLinesOnRequest) {
    Open();
    AddCameras(1);
    GetLogInstance()->SetLevel(kLogInfo);
    LOG_INFO("Test", "login succeed, mac: %s", Mac(0).c_str());
    m_dlg->LogPane().Drain();
    const QString found = m_dlg->LogPane().Text();
    EXPECT_TRUE(found.contains(
        QStringLiteral("Camera found: cam (IPC-100) at 127.0.70.1, MAC 00:11:22:33:00:00")))
        << found.toStdString();
    EXPECT_FALSE(found.contains(QStringLiteral("login succeed")));
    EXPECT_FALSE(found.contains(QStringLiteral("HandleDatagram")));

    StartWith({0});
    ASSERT_TRUE(WaitForBatchEnd());
    m_dlg->LogPane().Drain();
    const QString story = m_dlg->LogPane().Text();
    for (const QString& event :
         {QStringLiteral("Upgrade started: 1 camera"),
          QStringLiteral("cam (127.0.70.1): upgrade started"),
          QStringLiteral("cam (127.0.70.1): ") + QString::fromStdString(Result(Mac(0))),
          QStringLiteral("Batch finished: 0 upgraded, 1 failed")}) {
        EXPECT_TRUE(story.contains(event)) << event.toStdString() << "\n" << story.toStdString();
    }
    EXPECT_EQ(story.count(QStringLiteral("upgrade started")), 1)
        << "one start per camera, not per attempt";
    EXPECT_FALSE(story.contains(QStringLiteral("login succeed")));

    // The status bar's summary follows a language change.
    m_dlg->ChooseLanguage(UiLanguage::SimplifiedChinese);
    EXPECT_TRUE(m_dlg->StatusTimeText().startsWith(QString::fromStdString(
        LoadString(IDS_BATCH_SUMMARY).substr(0, LoadString(IDS_BATCH_SUMMARY).find('%')))))
        << m_dlg->StatusTimeText().toStdString();
    m_dlg->ChooseLanguage(UiLanguage::English);

    m_dlg->DeveloperLogAction()->setChecked(true);
    EXPECT_TRUE(m_dlg->LogPane().Text().contains(QStringLiteral("login succeed")));
    EXPECT_TRUE(m_dlg->LogPane().Text().contains(QStringLiteral("Camera found")));
    m_dlg->SaveWindowState();
    m_ownDlg.reset();
    Open();
    EXPECT_TRUE(m_dlg->DeveloperLogAction()->isChecked());

    // A camera's name that holds a terminal escape shows it escaped.
    DeviceFields hostile;
    hostile.mac = Mac(7);
    hostile.name = "lobby\x1B[2J";
    Found(hostile);
    ProcessGuiEvents();
    m_dlg->LogPane().Drain();
    const QString shown = m_dlg->LogPane().Text();
    EXPECT_TRUE(shown.contains(QStringLiteral("Camera found: lobby\\x1B[2J")))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(QChar(0x1B)));
}

// Every shown heading fits its column, in each language, and the sorted
// column has room for its arrow too.
TEST_F(TechnicianWindowTest, HeadingsFitTheirColumns) {
    Open();
    m_dlg->List().OnShowAiVersion();
    QHeaderView* header = m_dlg->ListView()->horizontalHeader();
    for (UiLanguage language :
         {UiLanguage::English, UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
        m_dlg->ChooseLanguage(language);
        for (int column = 0; column < COL_RESULT; ++column) {
            if (m_dlg->List().ColumnWidth(column) > 0) {
                EXPECT_GE(m_dlg->List().ColumnWidth(column), header->sectionSizeHint(column))
                    << "column " << column << " in language " << static_cast<int>(language);
            }
        }
    }
    m_dlg->List().OnColumnClick(COL_SLAVE_IP);
    ASSERT_TRUE(header->isSortIndicatorShown());
    EXPECT_GE(m_dlg->List().ColumnWidth(COL_SLAVE_IP), header->sectionSizeHint(COL_SLAVE_IP));
}

// "Get AI Version" fills its own columns; the upgrade's result, its text
// and its phase (the colour and icon) stay.
TEST_F(TechnicianWindowTest, AnalyticsVersionsLeaveTheUpgradeResult) {
    Open();
    DeviceFields fields;
    fields.mac = "AA:BB:CC:00:00:01";
    m_dlg->List().addDeviceItem(MakeDevice(fields));
    Check(fields.mac);
    const QString upgraded = QString::fromStdString(ResultCodeToText(UpgradeResult::Ok));
    DeviceList().SetResult(fields.mac, UpgradeResult::Ok, upgraded);
    const int row = m_dlg->List().findDeviceItem(fields.mac);
    auto post = [this](CWindowMessage message) {
        Post(std::move(message));
        ProcessGuiEvents();
    };
    post(MakeAiVersionReadMessage(fields.mac, "S", "F", "V"));
    EXPECT_EQ(DeviceList().CellText(row, COL_AI_STRUCT), QStringLiteral("S"));
    post(MakeAiVersionFailedMessage(fields.mac));
    EXPECT_EQ(DeviceList().CellText(row, COL_AI_STRUCT),
              QString::fromStdString(LoadString(IDS_AI_FAILED)));
    EXPECT_EQ(DeviceList().CellText(row, COL_AI_DETECT_FACE), QString()) << "no stale version";
    EXPECT_EQ(DeviceList().CellText(row, COL_RESULT), upgraded);
    EXPECT_EQ(DeviceList().Counts().Of(RowPhase::Upgraded), 1);
    EXPECT_TRUE(m_dlg->List().AreAiColumnsShown());
}

// A camera skipped at once says nothing of how long an upgrade takes: no
// estimate until one has gone through.
TEST_F(TechnicianWindowTest, TimeEstimateWaitsForAnUpgradeThatFinished) {
    Open();
    AddCameras(1, "IPC-100");
    DeviceFields other;
    other.mac = Mac(1);
    other.model = "NVR-8";
    other.ip = "127.0.70.2";
    Found(other);
    ProcessGuiEvents();
    m_dlg->RolloutPanel()->AddModelPackage(
        "IPC-100",
        QString::fromStdString(CGuiSimSetup::WritePackage(m_sandbox.File("ipc.bin"), 200)));
    m_reach->Close();  // the IPC camera waits before it is contacted
    Check(Mac(0));
    Check(Mac(1));
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(m_dlg->IsUpgrading());
    ASSERT_TRUE(PumpUntil([&] { return DeviceList().Counts().Of(RowPhase::Skipped) == 1; }, 10000));
    ASSERT_TRUE(PumpUntil([&] { return m_reach->Entered() >= 1; }, 10000));
    const QString text = m_dlg->StatusTimeText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Elapsed "))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("left"))) << text.toStdString();
    m_reach->Open();
    ASSERT_TRUE(WaitForBatchEnd());
}

// A language switch tells every row's words again from what the row
// keeps: final results (a camera not found with the batch's waiting
// time), a state with its upgrade-path step, and the activation state;
// phases and attempts stay as they were.
TEST_F(TechnicianWindowTest, RowsWordsFollowALanguageSwitch) {
    Open();
    AddCameras(3);
    CDeviceListController& list = m_dlg->List();
    list.SetWaitText("8s");
    list.ShowResult(Mac(0), UpgradeProgress::Starting);
    list.ShowResult(Mac(0), UpgradeResult::Ok);
    list.ShowResult(Mac(1), UpgradeResult::NotFoundInTime);
    list.ShowStep(Mac(2), 1, 2);
    list.ShowResult(Mac(2), UpgradeProgress::Queued);
    const LIST_COUNTS before = DeviceList().Counts();
    const int attempts = DeviceList().Attempts(list.findDeviceItem(Mac(0)));
    const auto words = [&] {
        return std::vector<std::string>{
            Result(Mac(0)), Result(Mac(1)), Result(Mac(2)),
            DeviceList().CellText(list.findDeviceItem(Mac(0)), COL_ACTIVE_STATE).toStdString()};
    };
    const auto expected = [] {
        return std::vector<std::string>{
            ResultCodeToText(UpgradeResult::Ok), NotFoundWithinText("8s"),
            UpgradeStepText(1, 2) + ": " + ResultCodeToText(UpgradeProgress::Queued),
            LoadString(IDS_ACTIVATED)};
    };
    const std::vector<std::string> english = words();
    ASSERT_EQ(english, expected());
    for (UiLanguage language : {UiLanguage::SimplifiedChinese, UiLanguage::TraditionalChinese}) {
        m_dlg->ChooseLanguage(language);
        EXPECT_EQ(words(), expected()) << static_cast<int>(language);
        EXPECT_NE(words(), english) << static_cast<int>(language);
    }
    m_dlg->ChooseLanguage(UiLanguage::English);
    EXPECT_EQ(words(), english);
    const LIST_COUNTS after = DeviceList().Counts();
    for (RowPhase phase : {RowPhase::Upgraded, RowPhase::Failed, RowPhase::Queued}) {
        EXPECT_EQ(after.Of(phase), before.Of(phase)) << static_cast<int>(phase);
    }
    EXPECT_EQ(DeviceList().Attempts(list.findDeviceItem(Mac(0))), attempts);
}

// The language is chosen in the View menu, remembered for the next start,
// and the message boxes opened after speak it.
TEST_F(TechnicianWindowTest, LanguageChosenInTheProgramRememberedAndInMessageBoxes) {
    Open();
    EXPECT_EQ(m_dlg->windowTitle(), QStringLiteral("Batch Firmhand v1.0.0.0"));
    QAction* traditional = MenuAction(QStringLiteral("繁體中文"));
    ASSERT_NE(traditional, nullptr);
    EXPECT_NE(MenuAction(QStringLiteral("简体中文")), nullptr);
    EXPECT_TRUE(MenuAction(QStringLiteral("English"))->isChecked());
    traditional->trigger();
    EXPECT_EQ(CurrentLanguage(), UiLanguage::TraditionalChinese);
    EXPECT_TRUE(traditional->isChecked());
    EXPECT_FALSE(MenuAction(QStringLiteral("English"))->isChecked());
    EXPECT_EQ(m_dlg->windowTitle(), QStringLiteral("批量升級工具 Firmhand v1.0.0.0"));
    EXPECT_EQ(ControlText(IDC_UPGRADE), QStringLiteral("升級"));
    EXPECT_EQ(ControlText(IDC_PACKAGE_LABEL), QStringLiteral("升級檔案："));
    EXPECT_NE(MenuAction(QStringLiteral("檢視(&V)")), nullptr);
    EXPECT_EQ(DeviceList().headerData(COL_RESULT, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("結果"));
    EXPECT_NE(ReadFile(GetUserFolder() + "/firmhand.ini").find("Language=zh_TW"),
              std::string::npos);
    m_ownDlg.reset();

    CBoxDlg box;
    QStringList texts;
    CloseNextMessageBox(&texts);
    box.ShowMessage(IDS_SELECT_FILE, true);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("批量升級工具 Firmhand"),
                                  QStringLiteral("請選擇升級檔案！"), QStringLiteral("確定"),
                                  QStringLiteral("取消")}));

    // The next start speaks it before the window is made.
    SetCurrentLanguage(UiLanguage::English);
    FIRMHAND_OPTIONS options;
    options.adapter = "lo";
    ASSERT_TRUE(Launch(options, Options()));
    EXPECT_EQ(CurrentLanguage(), UiLanguage::TraditionalChinese);
    EXPECT_EQ(ControlText(IDC_BROWSE), QStringLiteral("瀏覽"));
}
