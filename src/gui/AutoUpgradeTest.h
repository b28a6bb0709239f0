// The window's side of the automatic upgrade test, whose rule is the core's
// CAutoUpgradeCycle (the CLI's auto-test uses it too): with "AutoUpgradeTest"
// on, one configured camera is upgraded back and forth between two packages,
// each time it comes back: as a new row, or, after a batch that held it,
// once it is in the list with its reboot done (the batch saw it return, or a
// search report of its new boot came after the batch). It owns the test's
// one-shot timer (AUTO_UPGRADE_TIMER); the window tells it of new rows,
// reports and batches, and presses Upgrade when asked. A start that falls
// into a batch waits for that batch's end.
#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "DeviceListModel.h"
#include "session/AutoUpgradeCycle.h"

class CBatchOutcomes;
class CSettingsView;
class QTimer;

// The automatic upgrade test's one-shot timer.
constexpr int AUTO_UPGRADE_TIMER = 257;

class CAutoUpgradeTest : public QObject {
    Q_OBJECT

public:
    // What the test needs of the window it drives.
    class IWindow {
    public:
        // From a started batch until its end was handled.
        virtual bool IsUpgrading() const = 0;
        virtual const QString& UpgradeFile() const = 0;
        // Makes `package` the upgrade file (the edit that shows the file is
        // left as it is) and presses Upgrade.
        virtual void UpgradeCheckedWith(const QString& package) = 0;

    protected:
        ~IWindow() = default;
    };

    CAutoUpgradeTest(IWindow& window, CDeviceListModel& model, QObject* parent);

    // Reads the test's settings from the run's (with its overrides); null or
    // "AutoUpgradeTest" off leaves it off: nothing is read and no row matches.
    void Configure(const CSettingsView* settings);
    // A row new in the list.
    void OnNewRow(int row);
    // A search report of a camera already in the list.
    void OnCameraReported(int row, const std::string& mac);
    void OnBatchStarted(const std::vector<DEVICE_S_INFO>& cameras);
    // The batch's end was handled: the configured camera's return, or a
    // start that waited, goes on.
    void OnBatchEnded(const CBatchOutcomes& outcomes);
    // Timer handler; ids other than AUTO_UPGRADE_TIMER are ignored.
    void OnTimer(int timerId);
    bool IsTimerActive() const;
    // The test's batch: chooses the package and presses Upgrade.
    void Start();
    void Stop();

private:
    // The configured camera is back: checks the build it came with and
    // schedules the next batch.
    void OnCameraBack(int row);

    IWindow& m_window;
    CDeviceListModel& m_model;
    QTimer* m_timer = nullptr;
    bool m_startPending = false;
    CAutoUpgradeCycle m_cycle;  // off (no camera) until configured
};
