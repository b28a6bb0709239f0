// The automatic upgrade test: with "AutoUpgradeTest" on, one configured
// camera is upgraded back and forth between two packages, each time it comes
// back: as a new row, or, after a batch that held it, once it is in the list
// with its reboot done (the batch saw it return, or a search report of its
// new boot came after the batch). A start that falls into a batch waits for
// that batch's end (WM_BATCH_END).
#include <QFile>
#include <QTimer>

#include "FirmhandDlg.h"
#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "session/FirmhandSession.h"

FH_LOG_SOURCE("FirmhandDlg");

void CFirmhandDlg::InitAutoUpgradeTest() {
    // The run's settings, with its overrides.
    if (!m_session || !m_session->Settings().GetBool(settings::kAutoUpgradeTest)) {
        return;  // nothing is read; the row hook never matches
    }
    const CSettingsView& view = m_session->Settings();
    m_autoMac = view.GetString(settings::kAutoUpgradeDeviceMac);
    m_package1 = QFile::decodeName(view.GetString(settings::kUpgradePackage1).c_str());
    m_package2 = QFile::decodeName(view.GetString(settings::kUpgradePackage2).c_str());
    m_buildNo1 = view.GetString(settings::kUpgradePackage1BulidNo);
    m_buildNo2 = view.GetString(settings::kUpgradePackage2BulidNo);
    LOG_INFO("CFirmhandDlg::InitAutoUpgradeTest", "automatic upgrade test on, mac: %s",
             m_autoMac.c_str());
}

void CFirmhandDlg::OnNewDeviceRow(int row) {
    const DEVICE_S_INFO* info = m_model->Record(row);
    if (info == nullptr || m_autoMac.empty() || !SameMac(FieldText(info->mac), m_autoMac)) {
        return;
    }
    OnAutoCameraBack(row);
}

void CFirmhandDlg::OnAutoCameraBack(int row) {
    const DEVICE_S_INFO* info = m_model->Record(row);
    if (info == nullptr) {
        return;
    }
    m_autoAwaitingReturn = false;
    // The camera is back: did the package just sent give the build it should?
    const QString* failed = nullptr;
    if (m_upgradeFile == m_package1 && ParseLeadingInt(m_buildNo1) != info->build) {
        failed = &m_package1;
    } else if (m_upgradeFile == m_package2 && ParseLeadingInt(m_buildNo2) != info->build) {
        failed = &m_package2;
    }
    if (failed != nullptr) {
        LOG_INFO("CFirmhandDlg::addDeviceItem", "package %s update failed, now bulid %d",
                 QFile::encodeName(*failed).constData(), info->build);
    }
    m_model->SetChecked(row, true);

    int delay = m_session->Settings().GetInt(settings::kAutoUpgradeDelay);
    if (delay < 0) {
        // A negative delay has no meaning for a timer; the batch starts at once.
        LOG_WARN("CFirmhandDlg::addDeviceItem", "AutoUpgradeDelay %d taken as 0", delay);
        delay = 0;
    }
    m_autoUpgradeTimer->start(delay);  // a pending start is replaced
}

void CFirmhandDlg::OnTimer(int timerId) {
    if (timerId != AUTO_UPGRADE_TIMER) {
        return;
    }
    m_autoUpgradeTimer->stop();
    startAutoUpgrade();
}

bool CFirmhandDlg::IsAutoUpgradeTimerActive() const {
    return m_autoUpgradeTimer->isActive();
}

void CFirmhandDlg::startAutoUpgrade() {
    if (m_autoMac.empty()) {
        return;
    }
    if (m_upgrading) {
        m_autoStartPending = true;
        return;
    }
    if (m_package1.isEmpty() && m_package2.isEmpty()) {
        return;
    }
    // Package 1 unless it was the last one sent and there is a package 2.
    if (!m_package1.isEmpty() && (m_upgradeFile != m_package1 || m_package2.isEmpty())) {
        m_upgradeFile = m_package1;
    } else {
        m_upgradeFile = m_package2;
    }
    // The edit that shows the file is left as it is.
    OnBnClickedButtonUpdate();
}
