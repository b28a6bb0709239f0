#include "AutoUpgradeTest.h"

#include <QFile>
#include <QTimer>

#include "BatchOutcomes.h"
#include "DeviceListRules.h"
#include "app/Logger.h"
#include "session/SessionTypes.h"

// Its lines keep the window's source and names, as before it had a class.
FH_LOG_SOURCE("FirmhandDlg");

CAutoUpgradeTest::CAutoUpgradeTest(IWindow& window, CDeviceListModel& model, QObject* parent)
    : QObject(parent), m_window(window), m_model(model) {
    // Fires once per start.
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(AUTO_UPGRADE_TIMER); });
}

void CAutoUpgradeTest::Configure(const CSettingsView* settings) {
    std::optional<AUTO_UPGRADE_CONFIG> config =
        settings != nullptr ? ReadAutoUpgradeConfig(*settings) : std::nullopt;
    if (!config) {
        return;  // nothing is read; the row hook never matches
    }
    m_cycle = CAutoUpgradeCycle(std::move(*config));
    LOG_INFO("CFirmhandDlg::InitAutoUpgradeTest", "automatic upgrade test on, mac: %s",
             m_cycle.Config().mac.c_str());
}

void CAutoUpgradeTest::OnNewRow(int row) {
    const DEVICE_S_INFO* info = m_model.Record(row);
    if (info != nullptr && m_cycle.IsCamera(FieldText(info->mac))) {
        OnCameraBack(row);
    }
}

void CAutoUpgradeTest::OnCameraReported(int row, const std::string& mac) {
    // After a batch that held the camera, a report of its new boot is its
    // return (its row stayed).
    if (m_cycle.AwaitingReturn() && !m_window.IsUpgrading() && m_cycle.IsCamera(mac)) {
        OnCameraBack(row);
    }
}

void CAutoUpgradeTest::OnCameraBack(int row) {
    const DEVICE_S_INFO* info = m_model.Record(row);
    if (info == nullptr) {
        return;
    }
    m_cycle.CameraBack();
    // The camera is back: did the package just sent give the build it should?
    const std::string failed =
        m_cycle.FailedPackage(QFile::encodeName(m_window.UpgradeFile()).toStdString(), info->build);
    if (!failed.empty()) {
        LOG_INFO("CFirmhandDlg::addDeviceItem", "package %s update failed, now bulid %d",
                 failed.c_str(), info->build);
    }
    m_model.SetChecked(row, true);
    if (m_cycle.Config().delayMs < 0) {
        // A negative delay has no meaning for a timer; the batch starts at once.
        LOG_WARN("CFirmhandDlg::addDeviceItem", "AutoUpgradeDelay %d taken as 0",
                 m_cycle.Config().delayMs);
    }
    m_timer->start(m_cycle.StartDelayMs());  // a pending start is replaced
}

void CAutoUpgradeTest::OnBatchStarted(const std::vector<DEVICE_S_INFO>& cameras) {
    bool holdsCamera = false;
    for (const DEVICE_S_INFO& camera : cameras) {
        holdsCamera = holdsCamera || m_cycle.IsCamera(FieldText(camera.mac));
    }
    m_cycle.OnBatchStarted(holdsCamera);
}

void CAutoUpgradeTest::OnBatchEnded(const CBatchOutcomes& outcomes) {
    std::optional<UpgradeResult> code;
    for (const CameraOutcome& outcome : outcomes.Outcomes()) {
        code = m_cycle.IsCamera(outcome.mac) ? outcome.code : code;
    }
    // Upgraded, or back with its old version: the job saw it return.
    if (m_cycle.OnBatchEnded(code)) {
        if (const int row = m_model.FindDeviceItem(m_cycle.Config().mac); row >= 0) {
            OnCameraBack(row);
        }
    }
    if (m_startPending) {
        m_startPending = false;
        Start();
    }
}

void CAutoUpgradeTest::OnTimer(int timerId) {
    if (timerId != AUTO_UPGRADE_TIMER) {
        return;
    }
    m_timer->stop();
    Start();
}

bool CAutoUpgradeTest::IsTimerActive() const {
    return m_timer->isActive();
}

void CAutoUpgradeTest::Start() {
    if (m_cycle.Config().mac.empty()) {
        return;
    }
    if (m_window.IsUpgrading()) {
        m_startPending = true;
        return;
    }
    const std::string next =
        m_cycle.NextPackage(QFile::encodeName(m_window.UpgradeFile()).toStdString());
    if (!next.empty()) {
        m_window.UpgradeCheckedWith(QFile::decodeName(next.c_str()));
    }
}

void CAutoUpgradeTest::Stop() {
    m_timer->stop();
}
