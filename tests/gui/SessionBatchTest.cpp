// The program as a whole against simulated cameras: the start-up with the
// command-line options, the search filling the list, a batch through the
// core session with its progress and results per row, and the end.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <map>
#include <optional>
#include <set>

#include "FirmhandDlgFixture.h"
#include "PictureEx.h"
#include "app/StringTable.h"
#include "net/SWL_Socket.h"
#include "support/TestSupport.h"
#include "upgrade/UpgradeResult.h"

using testing_support::ProcessThreads;

namespace {

// What the window showed while the batch ran, noted as it changed.
class CBatchWatcher : public QObject {
public:
    CBatchWatcher(CFirmhandDlg& dlg) : m_dlg(dlg) {
        m_upgrade = m_dlg.Control(IDC_UPGRADE);
        m_upgrade->installEventFilter(this);
        CDeviceListModel& list = m_dlg.DeviceList();
        QObject::connect(&list, &QAbstractItemModel::dataChanged, this,
                         [this](const QModelIndex& from, const QModelIndex& to) {
                             if (from.column() <= COL_RESULT && to.column() >= COL_RESULT) {
                                 for (int row = from.row(); row <= to.row(); ++row) {
                                     Note(row);
                                 }
                             }
                         });
    }

    struct Shown {
        QString text;
        bool locked;
    };
    std::map<std::string, std::vector<Shown>> texts;  // per MAC, in order
    // The final texts that had been shown when the controls came back.
    std::vector<std::map<std::string, QString>> unlocks;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_upgrade && event->type() == QEvent::EnabledChange &&
            m_upgrade->isEnabled()) {
            std::map<std::string, QString> last;
            for (const auto& [mac, shown] : texts) {
                last[mac] = shown.empty() ? QString() : shown.back().text;
            }
            unlocks.push_back(last);
        }
        return false;
    }

private:
    void Note(int row) {
        CDeviceListModel& list = m_dlg.DeviceList();
        const QString text = list.CellText(row, COL_RESULT);
        std::vector<Shown>& shown = texts[std::string(FieldText(list.Record(row)->mac))];
        if (!text.isEmpty() && (shown.empty() || shown.back().text != text)) {
            shown.push_back({text, !m_upgrade->isEnabled()});
        }
    }

    CFirmhandDlg& m_dlg;
    QWidget* m_upgrade = nullptr;
};

QString Text(int id) {
    return QString::fromStdString(LoadString(id));
}

class SessionBatchTest : public FirmhandDlgTest {};

}  // namespace

TEST_F(SessionBatchTest, StartsTheSearchAndRunsABatchThroughTheSession) {
    const SESSION_OPTIONS base = SimOptions(0);
    const int initsBefore = SWL_InitCount();
    std::vector<SimCameraConfig> cameras;
    for (int i = 0; i < 3; ++i) {
        cameras.push_back(m_sim->Camera(i));
    }
    cameras[2].password = "other";  // refused five times: result 11
    for (const SimCameraConfig& camera : cameras) {
        m_fleet.AddCamera(camera);
    }
    StartFleet();
    const FIRMHAND_OPTIONS options = FleetOptions();
    ASSERT_TRUE(Launch(options, base));
    CFirmhandDlg& dlg = *m_dlg;
    EXPECT_EQ(m_app->adapterQuestions, 0) << "--adapter given";
    EXPECT_EQ(Session().Options().adapter, "lo");
    EXPECT_EQ(m_reach->routes.load(), 1) << "the link-local route at the start";
    EXPECT_EQ(SWL_InitCount(), initsBefore + 1);
    EXPECT_EQ(dlg.UpgradeFile().toStdString(), options.packagePath);
    EXPECT_EQ(qobject_cast<QLineEdit*>(dlg.Control(IDC_PACKAGE_PATH))->text().toStdString(),
              options.packagePath);

    ASSERT_TRUE(PumpUntil([&] { return dlg.DeviceList().RowCount() == 3; }, 10000))
        << "every camera is listed";
    CBatchWatcher watcher(dlg);
    CDeviceListModel& list = dlg.DeviceList();
    for (int row = 0; row < 3; ++row) {  // clicks on the check boxes
        list.setData(list.index(row, COL_CHECK), Qt::Checked, Qt::CheckStateRole);
    }
    dlg.OnBnClickedButtonUpdate();
    ASSERT_TRUE(dlg.IsUpgrading());
    EXPECT_TRUE(LockedForBatch());

    ASSERT_TRUE(PumpUntil([&] { return !dlg.IsUpgrading(); }, 60000)) << "the batch ends";
    EXPECT_TRUE(Unlocked());
    EXPECT_EQ(m_reach->Made().size(), 3u);

    // Each row showed its own progress, in order, while the controls
    // were locked, and ends with its result.
    for (int i = 0; i < 2; ++i) {
        const auto& shown = watcher.texts[cameras[static_cast<size_t>(i)].mac];
        ASSERT_FALSE(shown.empty()) << i;
        int percent = -1;
        bool installing = false;
        for (const auto& s : shown) {
            EXPECT_TRUE(s.locked) << s.text.toStdString();
            if (s.text.endsWith(QLatin1Char('%'))) {
                const int now = s.text.chopped(1).toInt();
                EXPECT_GT(now, percent);
                EXPECT_FALSE(installing) << "no transfer after the last block";
                percent = now;
            }
            installing = installing || s.text.startsWith(Text(IDS_INSTALLING));
        }
        // Repaints are gathered per frame and the blocks go as fast as the
        // camera acknowledges; the wait for its restart after the last one
        // is sure to show, as installing, never as a full bar.
        EXPECT_LT(percent, 99);
        EXPECT_TRUE(installing) << "the camera installs and restarts after its last block";
        EXPECT_EQ(shown.back().text, Text(IDS_UPGRADE_SUCCESS));
    }
    const auto& refused = watcher.texts[cameras[2].mac];
    ASSERT_FALSE(refused.empty());
    EXPECT_EQ(refused.back().text, Text(IDS_BAD_CREDENTIALS));
    EXPECT_TRUE(refused.back().locked) << "the others were still running";

    // The controls came back once, when every camera had its final text.
    ASSERT_EQ(watcher.unlocks.size(), 1u);
    for (const SimCameraConfig& camera : cameras) {
        const QString last = watcher.unlocks[0][camera.mac];
        EXPECT_TRUE(last == Text(IDS_UPGRADE_SUCCESS) || last == Text(IDS_BAD_CREDENTIALS))
            << camera.mac << " " << last.toStdString();
    }
    EXPECT_EQ(m_fleet.State(cameras[0].mac)->upgradesCompleted, 1);
    EXPECT_EQ(m_fleet.State(cameras[1].mac)->upgradesCompleted, 1);
    // The rows show the new build that the cameras report after the reboot.
    ASSERT_TRUE(PumpUntil(
        [&] {
            return list.CellText(list.FindDeviceItem(cameras[0].mac), COL_VERSION)
                .contains(QString::number(cameras[0].build + 1));
        },
        5000));

    // The end: search stopped, socket layer released.
    const int replyPort = Session().SearchReplyPort();
    EXPECT_NE(replyPort, 0);
    m_app.reset();
    m_dlg = nullptr;
    EXPECT_EQ(SWL_InitCount(), initsBefore);
    EXPECT_TRUE(testing_support::UdpPortIsFree(replyPort)) << "the search's socket is closed";
}

TEST_F(SessionBatchTest, StartUpAsksForTheAdapterUnlessGiven) {
    FIRMHAND_OPTIONS options;
    options.searchTargets = "127.0.72.1:9999";
    m_app = std::make_unique<CTestApp>(options, SESSION_OPTIONS{});
    EXPECT_FALSE(m_app->Start()) << "the dialog was cancelled";
    EXPECT_EQ(m_app->adapterQuestions, 1);
    EXPECT_EQ(m_app->Window(), nullptr) << "the program ends without a window";

    m_app = std::make_unique<CTestApp>(options, SESSION_OPTIONS{});
    m_app->adapterAnswer = "lo";
    ASSERT_TRUE(m_app->Start());
    m_dlg = m_app->TestWindow();
    EXPECT_EQ(Session().Options().adapter, "lo");
    // The option stands in for the setting.
    EXPECT_EQ(Session().Settings().GetString(settings::kSearchTargets), "127.0.72.1:9999");
}

TEST_F(SessionBatchTest, AutoStartUpgradesOnceTheCamerasAreListed) {
    const SESSION_OPTIONS base = SimOptions(0);
    SimCameraConfig camera = m_sim->Camera(5);
    camera.password = "other";  // ends quickly with result 11
    SimCameraConfig second = m_sim->Camera(6);
    second.password = "other";
    m_fleet.AddCamera(camera);
    m_fleet.AddCamera(second);
    StartFleet();
    FIRMHAND_OPTIONS options = FleetOptions();
    options.autoStartCount = 2;
    ASSERT_TRUE(Launch(options, base));
    ASSERT_TRUE(PumpUntil([&] { return m_dlg->IsUpgrading(); }, 10000)) << "the batch starts";
    EXPECT_EQ(DeviceList().CheckedRows().size(), 2u);
    ASSERT_TRUE(WaitForBatchEnd());
    EXPECT_EQ(Result(camera.mac), Text(IDS_BAD_CREDENTIALS).toStdString());
    // One batch of both cameras.
    EXPECT_EQ(m_dlg->batchEnds, (std::vector<int>{2}));
    EXPECT_EQ(m_reach->Made().size(), 2u);
    EXPECT_EQ(m_fleet.State(camera.mac)->logins, 5);
}

// Closing the window while a camera is awaited for ten minutes ends the
// session at once: the wait is cancelled and every thread of the run is
// joined.
TEST_F(SessionBatchTest, ClosingMidBatchJoinsEveryThreadLongBeforeTheWaitEnds) {
    SESSION_OPTIONS base = SimOptions(3);
    base.settingOverrides[settings::kWaitRebootTimeout] = "600";
    SimCameraConfig camera = m_sim->Camera(0);
    camera.faults.neverReturn = true;
    m_fleet.AddCamera(camera);
    StartFleet();
    const int initsBefore = SWL_InitCount();
    const size_t threadsBefore = ProcessThreads().size();
    ASSERT_TRUE(Launch(FleetOptions(), base));
    ASSERT_TRUE(PumpUntil([&] { return DeviceList().RowCount() == 1; }, 10000));
    m_dlg->List().OnSelectAll();
    m_dlg->OnBnClickedButtonUpdate();
    ASSERT_TRUE(m_dlg->IsUpgrading());
    const std::string awaited = LoadString(IDS_INSTALLING);
    ASSERT_TRUE(PumpUntil([&] { return Result(camera.mac).rfind(awaited, 0) == 0; }, 30000))
        << "the camera flashed and is awaited after its reboot";
    // The row counts the seconds of the restart.
    EXPECT_TRUE(PumpUntil(
        [&] {
            const std::string shown = Result(camera.mac);
            return shown.rfind(awaited + " (", 0) == 0 && shown != awaited + " (0 s)";
        },
        30000))
        << Result(camera.mac);
    ASSERT_TRUE(Session().IsUpgrading());
    ASSERT_TRUE(Session().HasJob(camera.mac));

    {
        CWatchdog watchdog(60000, "closing the window mid-batch");
        m_dlg->close();
    }
    EXPECT_TRUE(
        PumpUntil([&] { return !Session().IsUpgrading() && Session().WaitForBatchEnd(0); }, 10000))
        << "no batch runs and its threads are joined";
    EXPECT_FALSE(Session().HasJob(camera.mac));
    EXPECT_TRUE(PumpUntil([&] { return ProcessThreads().size() <= threadsBefore; }, 10000))
        << ProcessThreads().size() << " threads, " << threadsBefore << " before the start";
    EXPECT_EQ(SWL_InitCount(), initsBefore);
    EXPECT_EQ(Session().SearchReplyPort(), 0);
    EXPECT_EQ(DeviceList().RowCount(), 0);
    EXPECT_FALSE(m_dlg->BusyPicture()->HasThread());
}
