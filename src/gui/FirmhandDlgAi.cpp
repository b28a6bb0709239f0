// The main window's analytics versions: button 1019 has the session ask the
// checked cameras, one after another off the window thread; each answer
// comes back as the session's analytics events and the list fills columns 11 to 13.
#include <QLineEdit>
#include <QPushButton>

#include "FirmhandDlg.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"
#include "session/SessionTypes.h"

FH_LOG_SOURCE("FirmhandDlg");

void CFirmhandDlg::OnBnClickedButtonGetAiVersion() {
    if (!m_session) {
        LOG_WARN("CFirmhandDlg::OnBnClickedButtonGetAiVersion", "no session");
        return;
    }
    if (m_session->IsAiQueryRunning()) {
        // The button is disabled while a run goes; a call from elsewhere
        // waits for the run to end.
        LOG_WARN("CFirmhandDlg::OnBnClickedButtonGetAiVersion", "query still running");
        return;
    }
    // Credentials in the system's code page, as the cameras take them.
    const std::string user = m_userEdit->text().toLocal8Bit().toStdString();
    const std::string password = m_passwordEdit->text().toLocal8Bit().toStdString();

    std::vector<AiQuery> queries;
    for (int row : DeviceList().CheckedRows()) {
        if (DeviceList().IsNotFound(row)) {
            continue;  // nothing to ask before the search finds it
        }
        queries.push_back(MakeAiQuery(*DeviceList().Record(row), user, password));
        for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE}) {
            DeviceList().SetCellText(row, column, QString());
        }
    }
    if (queries.empty()) {
        ShowMessage(IDS_SELECT_SAME_AI, false);
        return;
    }
    const int count = static_cast<int>(queries.size());
    if (!m_session->QueryAiVersions(std::move(queries))) {
        LOG_ERROR("CFirmhandDlg::OnBnClickedButtonGetAiVersion", "query not started");
        return;
    }
    // Every camera of the run posts one result; the button comes back with
    // the last one.
    m_aiPending = count;
    m_controls[IDC_GET_AI_VERSION]->setEnabled(false);
}

void CFirmhandDlg::OnAiVersionResult(const AiVersionResult& result) {
    if (m_aiPending > 0 && --m_aiPending == 0) {
        m_controls[IDC_GET_AI_VERSION]->setEnabled(true);
    }
    m_list->ShowAiVersions(result);
}
