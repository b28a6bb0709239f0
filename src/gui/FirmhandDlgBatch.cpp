// The main window's batch upgrade: the upgrade file, the Upgrade button that
// hands the checked rows to the session, the controls locked from the start
// until the batch's end, and each camera's progress and result passed on to
// its row, the batch's outcomes and the log pane's events.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <QMessageBox>

#include "BatchEvents.h"
#include "BatchQuestion.h"
#include "FirmhandDlg.h"
#include "MessageBoxTexts.h"
#include "PictureEx.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"
#include "session/SessionTypes.h"

FH_LOG_SOURCE("FirmhandDlg");

QString CFirmhandDlg::ChooseUpgradeFile() {
    const QString filter = QString::fromStdString(FileDialogFilter(LoadString(IDS_FILE_FILTER)));
    return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
}

void CFirmhandDlg::OnBrowse() {
    const QString chosen = ChooseUpgradeFile();
    if (!chosen.isEmpty()) {
        m_upgradeFile = chosen;
    }
    m_pathEdit->setText(m_upgradeFile);
}

void CFirmhandDlg::SelectUpgradeFile(const QString& path) {
    m_upgradeFile = path;
    m_pathEdit->setText(m_upgradeFile);
}

void CFirmhandDlg::OnBnClickedButtonUpdate() {
    StartBatchOf(DeviceList().CheckedRows());
}

void CFirmhandDlg::UpgradeCheckedWithoutAsking() {
    StartBatchOf(DeviceList().CheckedRows(), false);
}

bool CFirmhandDlg::ConfirmBatch(const std::vector<DEVICE_S_INFO>& cameras, size_t downgrades) {
    const QString question = QString::fromStdString(BatchQuestionText(cameras.size(), downgrades));
    QMessageBox box(QMessageBox::Question, QString::fromStdString(LoadString(IDS_APP_TITLE)),
                    question, QMessageBox::Ok | QMessageBox::Cancel, this);
    SetStandardButtonTexts(box);
    box.setInformativeText(QString::fromStdString(ChosenCamerasSummary(cameras)));
    box.setDetailedText(QString::fromStdString(ChosenCamerasList(cameras)));
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

size_t CFirmhandDlg::PlannedDowngrades(const BatchRequest& request) {
    // A plan that cannot be made says nothing here: the start tells why.
    std::vector<CameraPlan> plans;
    if (!m_session || m_session->DryRun(request, plans) != BatchStartResult::Started) {
        return 0;
    }
    return DowngradedCameras(plans).size();
}

void CFirmhandDlg::StartBatchOf(const std::vector<int>& rows, bool ask) {
    if (m_upgrading) {
        ShowMessage(IDS_UPGRADING_WAIT, false);
        return;
    }
    // Packages of given models alone are enough: the other cameras are
    // skipped with "No package for this model".
    if (m_upgradeFile.isEmpty() && m_rolloutPanel->ModelPackages().empty()) {
        ShowMessage(IDS_SELECT_FILE, false);
        return;
    }
    // A typed path is checked before anything is asked: a mistyped name is
    // told as such, with the path, not as a package that would not open.
    if (!m_upgradeFile.isEmpty() && !QFileInfo(m_upgradeFile).isFile()) {
        m_messageDetail = m_upgradeFile;
        ShowMessage(IDS_PACKAGE_NOT_FOUND, false);
        m_messageDetail.clear();
        return;
    }

    // Rows of cameras the search has not found go as awaited MACs.
    BatchRequest request;
    std::vector<DEVICE_S_INFO> cameras;
    for (int row : rows) {
        const DEVICE_S_INFO& record = *DeviceList().Record(row);
        cameras.push_back(record);
        if (DeviceList().IsNotFound(row)) {
            request.awaitedMacs.emplace_back(FieldText(record.mac));
        } else {
            request.devices.push_back(std::make_shared<DEVICE_S_INFO>(record));
        }
    }
    if (!TakeWaitTime(!request.awaitedMacs.empty(), request.waitSeconds, request.waitText)) {
        return;  // nothing asked, cleared or contacted
    }
    if (request.awaitedMacs.empty()) {
        request.waitSeconds = 0;  // nothing to wait for: the batch of today
        request.waitText.clear();
    }
    request.packagePath = QFile::encodeName(m_upgradeFile).toStdString();
    m_rolloutPanel->FillRequest(request);
    if (ask && !cameras.empty() && !ConfirmBatch(cameras, PlannedDowngrades(request))) {
        return;
    }
    // Every row's result is cleared, checked or not, whatever the session
    // decides.
    DeviceList().ClearResultTexts();
    if (!m_session) {
        LOG_WARN("CFirmhandDlg::OnBnClickedButtonUpdate", "no session");
        return;
    }
    StartRequest(request);
}

bool CFirmhandDlg::StartRequest(BatchRequest& request) {
    if (!m_session) {
        return false;
    }
    std::vector<DEVICE_S_INFO> cameras;
    for (const DeviceInfoPtr& device : request.devices) {
        cameras.push_back(*device);
    }
    // The awaited ones after the others, with what their rows know.
    for (const std::string& mac : request.awaitedMacs) {
        const DEVICE_S_INFO* record = DeviceList().Record(DeviceList().FindDeviceItem(mac));
        if (record != nullptr) {
            cameras.push_back(*record);
        }
    }
    request.user = m_userEdit->text().toStdString();
    request.password = m_passwordEdit->text().toStdString();
    // Typed (or kept) in the window: remembered in the keyring, or in the
    // settings file only when the technician asked for it.
    request.rememberLogin = true;
    request.rememberInSettingsFile = m_rememberInFile->isChecked();
    request.confirmDuplicates = [this](const std::vector<std::string>& macs) {
        return ConfirmDuplicates(macs);
    };

    // The session decides every refusal before it changes anything; a
    // started batch makes its cameras reachable off this thread.
    const BatchStartResult result = m_session->StartBatch(request);
    if (result != BatchStartResult::Started) {
        if (const int messageId = BatchStartMessageId(result); messageId != 0) {
            m_messageDetail = QString::fromStdString(m_session->RefusalDetail());
            ShowMessage(messageId, false);
            m_messageDetail.clear();
        }
        return false;
    }
    m_upgrading = true;
    m_batchRan = true;
    m_batchStart = std::chrono::steady_clock::now();
    m_outcomes.Begin(cameras,
                     request.packages.empty()
                         ? std::vector<BatchPackage>{{std::string(), request.packagePath}}
                         : request.packages,
                     std::chrono::system_clock::now());
    for (const std::string& mac : request.awaitedMacs) {
        m_outcomes.Awaited(mac, request.waitText);
    }
    m_list->SetWaitText(request.waitText);
    m_events->SetWaitText(request.waitText);
    m_auto->OnBatchStarted(cameras);
    m_summary.clear();
    m_events->BatchStarted(static_cast<int>(cameras.size()));
    m_exportResults->setEnabled(true);
    m_statusTimer->start();
    UpdateStatusBar();
    SetBatchControlsEnabled(false);
    ShowBusy(true);
    return true;
}

bool CFirmhandDlg::ConfirmDuplicates(const std::vector<std::string>& macs) {
    // Cameras that share a slave address (an empty one too) are selected,
    // and the user decides whether to go on.
    m_list->SelectRowsOf(macs);
    return ShowMessage(IDS_DUPLICATE_SLAVE_IP, true);
}

void CFirmhandDlg::SetBatchControlsEnabled(bool enabled) {
    for (int id : {IDC_PACKAGE_PATH, IDC_BROWSE, IDC_SELECT_ALL, IDC_CLEAR_ALL, IDC_CHECK_SAME_TYPE,
                   IDC_UPGRADE, IDC_ADD_NOT_FOUND}) {
        m_controls[id]->setEnabled(enabled);
    }
    m_controls[IDC_PAUSE]->setEnabled(!enabled);
    m_list->SetBatchRunning(!enabled);
    // "Retry failed" is offered only after a batch with failures.
    bool failed = false;
    for (const CameraOutcome& outcome : m_outcomes.Outcomes()) {
        failed = failed || !outcome.code || IsFailedResult(*outcome.code);
    }
    m_rolloutPanel->SetBatchControlsEnabled(enabled, m_batchRan && failed);
}

void CFirmhandDlg::ShowBusy(bool shown) {
    m_busyPicture->setVisible(shown);
    m_busyText->setVisible(shown);
}

int CFirmhandDlg::OnUpgradeProgress(int32_t progress, const std::string& mac) {
    m_outcomes.Progress(mac, progress, std::chrono::system_clock::now());
    return m_list->ShowProgress(mac, progress) ? 1 : 0;
}

int CFirmhandDlg::OnUpgradeResult(UpgradeProgress state, const std::string& mac) {
    m_list->ShowResult(mac, state);
    m_events->Result(mac, state);
    m_outcomes.Result(mac, state, std::chrono::system_clock::now());
    return 1;
}

int CFirmhandDlg::OnUpgradeResult(UpgradeResult code, const std::string& mac) {
    m_list->ShowResult(mac, code);
    m_events->Result(mac, code);
    m_outcomes.Result(mac, code, DeviceList().Record(DeviceList().FindDeviceItem(mac)),
                      std::chrono::system_clock::now());
    return 1;
}

void CFirmhandDlg::OnBatchEnd() {
    // Every final result was posted before the end, so every row shows it.
    if (!m_upgrading) {
        return;
    }
    m_upgrading = false;
    m_list->FinishBatch();  // every row shows its final text first
    SetBatchControlsEnabled(true);
    ShowBusy(false);
    ShowBatchSummary();
    m_auto->OnBatchEnded(m_outcomes);
}

void CFirmhandDlg::UpgradeCheckedWith(const QString& package) {
    m_upgradeFile = package;  // the edit that shows the file is left as it is
    OnBnClickedButtonUpdate();
}
