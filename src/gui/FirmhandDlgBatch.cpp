// The main window's batch upgrade: the Upgrade button's checks, locking the
// controls while the engine runs, and the progress and results per row.
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <map>

#include "FirmhandDlg.h"
#include "PictureEx.h"
#include "app/Logger.h"
#include "app/StringTable.h"

FH_LOG_SOURCE("FirmhandDlg");

void CFirmhandDlg::OnBnClickedButtonUpdate() {
    if (m_upgrading) {
        ShowMessage(IDS_UPGRADING_WAIT, false);
        return;
    }
    if (m_upgradeFile.isEmpty()) {
        ShowMessage(IDS_SELECT_FILE, false);
        return;
    }
    // The previous batch's jobs go first.
    if (m_controller) {
        m_controller->CancelAllJobs();
    }

    UPGRADE_BATCH_REQUEST request;
    std::multimap<std::string, int> slaveAddresses;
    for (int row : m_model->CheckedRows()) {
        const DEVICE_S_INFO& info = *m_model->Record(row);
        request.devices.push_back(info);
        slaveAddresses.emplace(std::string(FieldText(info.ip2)), row);
    }
    // Every row's result is cleared, checked or not.
    m_model->ClearResultTexts();

    const int count = static_cast<int>(request.devices.size());
    if (count == 0) {
        ShowMessage(IDS_SELECT_DEVICE, false);
        return;
    }
    if (count > kMaxDevicesPerBatch) {
        ShowMessage(IDS_MAX_32, false);
        return;
    }

    // Cameras that share a slave address (an empty one too) are selected,
    // and the user decides whether to go on.
    bool duplicates = false;
    QItemSelectionModel* selection = m_list->selectionModel();
    for (auto it = slaveAddresses.begin(); it != slaveAddresses.end();) {
        const auto range = slaveAddresses.equal_range(it->first);
        if (std::distance(range.first, range.second) > 1) {
            duplicates = true;
            for (auto r = range.first; r != range.second; ++r) {
                selection->select(m_model->index(r->second, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }
        it = range.second;
    }
    if (duplicates && !ShowMessage(IDS_DUPLICATE_SLAVE_IP, true)) {
        return;
    }

    if (!m_controller) {
        // The upgrade engine comes in with SetUpgradeController.
        LOG_WARN("CFirmhandDlg::OnBnClickedButtonUpdate", "no upgrade engine");
        return;
    }
    m_userName = m_userEdit->text().toStdString();
    m_password = m_passwordEdit->text().toStdString();
    request.userName = m_userName;
    request.password = m_password;
    request.packagePath = QFile::encodeName(m_upgradeFile).toStdString();

    // Results that the workers post are handled only after this handler
    // returns, so locking after the start is in time.
    if (const int refusal = m_controller->StartBatch(request); refusal != 0) {
        if (refusal > 0) {
            ShowMessage(refusal, false);
        }
        return;
    }
    SetBatchControlsEnabled(false);
    ShowBusy(true);
    m_upgrading = true;
    m_batchCameras = count;
    m_finalResults = 0;
    m_engineBatchOver = false;
}

void CFirmhandDlg::SetBatchControlsEnabled(bool enabled) {
    for (int id : {IDC_BROWSE, IDC_SELECT_ALL, IDC_CLEAR_ALL, IDC_CHECK_SAME_TYPE, IDC_UPGRADE,
                   IDC_DEVICE_LIST}) {
        m_controls[id]->setEnabled(enabled);
    }
}

void CFirmhandDlg::ShowBusy(bool shown) {
    m_busyPicture->setVisible(shown);
    m_busyText->setVisible(shown);
}

int CFirmhandDlg::OnUpgradeProgress(int32_t progress, const std::string& mac) {
    return m_model->SetResultText(mac, QString::fromStdString(ProgressText(progress))) ? 1 : 0;
}

int CFirmhandDlg::OnUpgradeResult(int32_t code, const std::string& mac) {
    std::string text;
    ResultCodeToText(code, text);  // a code without a text clears the column
    m_model->SetResultText(mac, QString::fromStdString(text));
    if (!IsIntermediateResult(code)) {
        ++m_finalResults;
    }
    // Intermediate states reach here too. The engine calls the batch over
    // once every job is finished (and then empties its table); a worker
    // marks its job finished just before it posts, so the last two final
    // results may cross: the controls also wait until every camera of the
    // batch has shown its final result.
    if (!m_controller || m_controller->OnUpgradeResult(code, mac)) {
        m_engineBatchOver = true;
    }
    if (m_upgrading && m_engineBatchOver && m_finalResults >= m_batchCameras) {
        m_upgrading = false;
        SetBatchControlsEnabled(true);
        ShowBusy(false);
    }
    return 1;
}
