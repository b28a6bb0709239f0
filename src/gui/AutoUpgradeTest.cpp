#include "AutoUpgradeTest.h"

#include <QFile>
#include <QTimer>

#include "BatchOutcomes.h"
#include "DeviceListRules.h"
#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/SettingsView.h"
#include "model/MacAddress.h"
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
    if (settings == nullptr || !settings->GetBool(settings::kAutoUpgradeTest)) {
        return;  // nothing is read; the row hook never matches
    }
    m_settings = settings;
    m_mac = settings->GetString(settings::kAutoUpgradeDeviceMac);
    m_package1 = QFile::decodeName(settings->GetString(settings::kUpgradePackage1).c_str());
    m_package2 = QFile::decodeName(settings->GetString(settings::kUpgradePackage2).c_str());
    m_buildNo1 = settings->GetString(settings::kUpgradePackage1BulidNo);
    m_buildNo2 = settings->GetString(settings::kUpgradePackage2BulidNo);
    LOG_INFO("CFirmhandDlg::InitAutoUpgradeTest", "automatic upgrade test on, mac: %s",
             m_mac.c_str());
}

void CAutoUpgradeTest::OnNewRow(int row) {
    const DEVICE_S_INFO* info = m_model.Record(row);
    if (info == nullptr || m_mac.empty() || !SameMac(FieldText(info->mac), m_mac)) {
        return;
    }
    OnCameraBack(row);
}

void CAutoUpgradeTest::OnCameraReported(int row, const std::string& mac) {
    // After a batch that held the camera, a report of its new boot is its
    // return (its row stayed).
    if (m_awaitingReturn && !m_window.IsUpgrading() && SameMac(mac, m_mac)) {
        OnCameraBack(row);
    }
}

void CAutoUpgradeTest::OnCameraBack(int row) {
    const DEVICE_S_INFO* info = m_model.Record(row);
    if (info == nullptr) {
        return;
    }
    m_awaitingReturn = false;
    // The camera is back: did the package just sent give the build it should?
    const QString& upgradeFile = m_window.UpgradeFile();
    const QString* failed = nullptr;
    if (upgradeFile == m_package1 && ParseLeadingInt(m_buildNo1) != info->build) {
        failed = &m_package1;
    } else if (upgradeFile == m_package2 && ParseLeadingInt(m_buildNo2) != info->build) {
        failed = &m_package2;
    }
    if (failed != nullptr) {
        LOG_INFO("CFirmhandDlg::addDeviceItem", "package %s update failed, now bulid %d",
                 QFile::encodeName(*failed).constData(), info->build);
    }
    m_model.SetChecked(row, true);

    int delay = m_settings->GetInt(settings::kAutoUpgradeDelay);
    if (delay < 0) {
        // A negative delay has no meaning for a timer; the batch starts at once.
        LOG_WARN("CFirmhandDlg::addDeviceItem", "AutoUpgradeDelay %d taken as 0", delay);
        delay = 0;
    }
    m_timer->start(delay);  // a pending start is replaced
}

void CAutoUpgradeTest::OnBatchStarted(const std::vector<DEVICE_S_INFO>& cameras) {
    m_inBatch = false;
    for (const DEVICE_S_INFO& camera : cameras) {
        m_inBatch = m_inBatch || (!m_mac.empty() && SameMac(FieldText(camera.mac), m_mac));
    }
}

void CAutoUpgradeTest::OnBatchEnded(const CBatchOutcomes& outcomes) {
    if (m_inBatch) {
        // The configured camera's batch is over: its return schedules the
        // next one (at once when the batch already saw it come back).
        m_inBatch = false;
        m_awaitingReturn = true;
        int code = -1;
        for (const CameraOutcome& outcome : outcomes.Outcomes()) {
            code = SameMac(outcome.mac, m_mac) ? outcome.code : code;
        }
        // Upgraded, or back with its old version: the job saw it return.
        const int row = m_model.FindDeviceItem(m_mac);
        if (row >= 0 && (code == UPGRADE_OK || code == UPGRADE_VERSION_UNCHANGED)) {
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
    if (m_mac.empty()) {
        return;
    }
    if (m_window.IsUpgrading()) {
        m_startPending = true;
        return;
    }
    if (m_package1.isEmpty() && m_package2.isEmpty()) {
        return;
    }
    // Package 1 unless it was the last one sent and there is a package 2.
    const QString& last = m_window.UpgradeFile();
    m_window.UpgradeCheckedWith(
        !m_package1.isEmpty() && (last != m_package1 || m_package2.isEmpty()) ? m_package1
                                                                              : m_package2);
}

void CAutoUpgradeTest::Stop() {
    m_timer->stop();
}
