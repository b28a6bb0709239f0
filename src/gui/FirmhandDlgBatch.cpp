// The main window's batch upgrade: the Upgrade button hands the checked
// rows to the session, the controls stay locked from the start until the
// batch's end, and each row shows its camera's progress and result.
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include "FirmhandDlg.h"
#include "PictureEx.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"

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

    BatchRequest request;
    for (int row : m_model->CheckedRows()) {
        request.devices.push_back(std::make_shared<DEVICE_S_INFO>(*m_model->Record(row)));
    }
    // Every row's result is cleared, checked or not, whatever the session
    // decides.
    m_model->ClearResultTexts();
    if (!m_session) {
        LOG_WARN("CFirmhandDlg::OnBnClickedButtonUpdate", "no session");
        return;
    }
    request.packagePath = QFile::encodeName(m_upgradeFile).toStdString();
    request.user = m_userEdit->text().toStdString();
    request.password = m_passwordEdit->text().toStdString();
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
        return;
    }
    m_upgrading = true;
    SetBatchControlsEnabled(false);
    ShowBusy(true);
}

bool CFirmhandDlg::ConfirmDuplicates(const std::vector<std::string>& macs) {
    // Cameras that share a slave address (an empty one too) are selected,
    // and the user decides whether to go on.
    QItemSelectionModel* selection = m_list->selectionModel();
    for (const std::string& mac : macs) {
        const int row = m_model->FindDeviceItem(mac);
        if (row >= 0) {
            selection->select(m_model->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    return ShowMessage(IDS_DUPLICATE_SLAVE_IP, true);
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
    return 1;
}

void CFirmhandDlg::OnBatchEnd() {
    // Every final result was posted before the end, so every row shows it.
    if (!m_upgrading) {
        return;
    }
    m_upgrading = false;
    SetBatchControlsEnabled(true);
    ShowBusy(false);
    if (m_autoStartPending) {
        m_autoStartPending = false;
        startAutoUpgrade();
    }
}
