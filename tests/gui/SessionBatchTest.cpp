// The program as a whole against simulated cameras: the start-up with the
// command-line options, the search filling the list, a batch through the
// real upgrade engine with its progress and results per row, and the end.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <map>
#include <optional>
#include <set>

#include "FirmhandDlg.h"
#include "FirmhandSession.h"
#include "GuiSimSupport.h"
#include "GuiTestSupport.h"
#include "app/StringTable.h"
#include "discovery/LanProbeSearch.h"
#include "net/SWL_Socket.h"
#include "upgrade/UpgradeEngine.h"

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

class SessionBatchTest : public CGuiTest {
protected:
    void SetUp() override {
        CGuiTest::SetUp();
        m_sim.emplace(0);
    }
    void TearDown() override {
        m_fleet.Stop();
        m_sim.reset();
        CGuiTest::TearDown();
    }
    FIRMHAND_OPTIONS Options() {
        FIRMHAND_OPTIONS options;
        options.adapter = "lo";
        options.searchTargets = CGuiSimSetup::SearchTargets(m_fleet);
        options.packagePath = CGuiSimSetup::WritePackage(m_sandbox.File("fw.bin"));
        return options;
    }

    std::optional<CGuiSimSetup> m_sim;
    CSimFleet m_fleet;
};

}  // namespace

TEST_F(SessionBatchTest, StartsTheSearchAndRunsABatchThroughTheEngine) {
    const int initsBefore = SWL_InitCount();
    std::vector<SimCameraConfig> cameras;
    for (int i = 0; i < 3; ++i) {
        cameras.push_back(m_sim->Camera(i));
    }
    cameras[2].password = "other";  // refused five times: result 11
    for (const SimCameraConfig& camera : cameras) {
        m_fleet.AddCamera(camera);
    }
    std::string error;
    ASSERT_TRUE(m_fleet.Start(&error)) << error;
    const FIRMHAND_OPTIONS options = Options();
    {
        CFirmhandSession session(options, nullptr);
        ASSERT_TRUE(session.Start());
        CFirmhandDlg& dlg = *session.Window();
        EXPECT_TRUE(dlg.IsSearchStarted());
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
        EXPECT_FALSE(dlg.Control(IDC_UPGRADE)->isEnabled());
        EXPECT_FALSE(dlg.Control(IDC_DEVICE_LIST)->isEnabled());
        EXPECT_FALSE(dlg.Control(IDC_BUSY_TEXT)->isHidden());
        EXPECT_FALSE(dlg.Control(IDC_BUSY_PICTURE)->isHidden());

        ASSERT_TRUE(PumpUntil([&] { return !dlg.IsUpgrading(); }, 60000)) << "the batch ends";
        EXPECT_TRUE(dlg.Control(IDC_UPGRADE)->isEnabled());
        EXPECT_TRUE(dlg.Control(IDC_BUSY_TEXT)->isHidden());
        EXPECT_TRUE(dlg.Control(IDC_BUSY_PICTURE)->isHidden());

        // Each row showed its own progress, in order, while the controls
        // were locked, and ends with its result.
        for (int i = 0; i < 2; ++i) {
            const auto& shown = watcher.texts[cameras[static_cast<size_t>(i)].mac];
            ASSERT_FALSE(shown.empty()) << i;
            int percent = -1;
            int percents = 0;
            for (const auto& s : shown) {
                EXPECT_TRUE(s.locked) << s.text.toStdString();
                if (s.text.endsWith(QLatin1Char('%'))) {
                    const int now = s.text.chopped(1).toInt();
                    EXPECT_GT(now, percent);
                    percent = now;
                    ++percents;
                }
            }
            EXPECT_EQ(percent, 99);
            EXPECT_GE(percents, 50) << "progress is shown as the blocks go";
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
    }
    // The end: search stopped, socket layer released.
    EXPECT_EQ(SWL_InitCount(), initsBefore);
    EXPECT_EQ(LANPROBE_SEARCH_GetReplyPort(), 0);
}

TEST_F(SessionBatchTest, AutoStartUpgradesOnceTheCamerasAreListed) {
    SimCameraConfig camera = m_sim->Camera(5);
    camera.password = "other";  // ends quickly with result 11
    SimCameraConfig second = m_sim->Camera(6);
    second.password = "other";
    m_fleet.AddCamera(camera);
    m_fleet.AddCamera(second);
    std::string error;
    ASSERT_TRUE(m_fleet.Start(&error)) << error;
    FIRMHAND_OPTIONS options = Options();
    options.autoStartCount = 2;
    CFirmhandSession session(options, nullptr);
    ASSERT_TRUE(session.Start());
    CFirmhandDlg& dlg = *session.Window();
    ASSERT_TRUE(PumpUntil([&] { return dlg.IsUpgrading(); }, 10000)) << "the batch starts";
    EXPECT_EQ(dlg.DeviceList().CheckedRows().size(), 2u);
    ASSERT_TRUE(PumpUntil([&] { return !dlg.IsUpgrading(); }, 30000));
    CDeviceListModel& list = dlg.DeviceList();
    EXPECT_EQ(list.CellText(list.FindDeviceItem(camera.mac), COL_RESULT),
              Text(IDS_BAD_CREDENTIALS));
    // One batch only.
    PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(dlg.IsUpgrading());
    EXPECT_EQ(m_fleet.State(camera.mac)->logins, 5);
}

TEST_F(SessionBatchTest, ClosingDuringABatchCancelsAndEnds) {
    SimCameraConfig camera = m_sim->Camera(8);
    camera.flashMs = 60000;  // still flashing when the window closes
    m_fleet.AddCamera(camera);
    std::string error;
    ASSERT_TRUE(m_fleet.Start(&error)) << error;
    const int initsBefore = SWL_InitCount();
    auto session = std::make_unique<CFirmhandSession>(Options(), nullptr);
    ASSERT_TRUE(session->Start());
    CFirmhandDlg& dlg = *session->Window();
    ASSERT_TRUE(PumpUntil([&] { return dlg.DeviceList().RowCount() == 1; }, 10000));
    dlg.OnSelectAll();
    dlg.OnBnClickedButtonUpdate();
    ASSERT_TRUE(m_fleet.WaitForEvent(camera.mac, "flash_start", 20000));
    CUpgradeEngine& engine = *session->Engine();
    EXPECT_EQ(engine.Jobs().jobCount(), 1u);
    dlg.close();
    EXPECT_EQ(engine.Jobs().jobCount(), 0u) << "every job cancelled";
    EXPECT_EQ(SWL_InitCount(), initsBefore);
    session.reset();  // waits a short time for the worker; never hangs
}
