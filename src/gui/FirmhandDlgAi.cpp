// The main window's analytics versions: button 1019 has the session ask the
// checked cameras, one after another off the window thread; each answer
// comes back as WM_AI_VERSION_RESULT and fills columns 11 to 13. The result
// column is the upgrade's and keeps its text and colours.
#include <QLineEdit>
#include <QPushButton>

#include "FirmhandDlg.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "http/AiQuery.h"
#include "http/AiVersionResult.h"
#include "session/FirmhandSession.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

QString LocalAiText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

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
    for (int row : m_model->CheckedRows()) {
        queries.push_back(MakeAiQuery(*m_model->Record(row), user, password));
        for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE}) {
            m_model->SetCellText(row, column, QString());
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

int CFirmhandDlg::OnAiVersionResult(int32_t wParam, const std::string& text) {
    AiVersionResult result;
    if (!ParseAiVersionResult(wParam, text, result)) {
        return 0;
    }
    if (m_aiPending > 0 && --m_aiPending == 0) {
        m_controls[IDC_GET_AI_VERSION]->setEnabled(true);
    }
    // The first checked row of exactly this MAC (letter case counts).
    const int row = m_model->FindCheckedRowExactMac(result.mac);
    // A camera that answered shows the analytics columns, even when its row
    // is gone or unchecked by now; a row's verdict shows them too.
    if ((result.read || row >= 0) && !m_aiShown) {
        SetAiColumnsShown(true);
    }
    if (row < 0) {
        return 0;
    }
    if (result.verdictId == IDS_AI_OK) {
        m_model->SetCellText(row, COL_AI_STRUCT, LocalAiText(result.structVersion));
        m_model->SetCellText(row, COL_AI_DETECT_FACE, LocalAiText(result.faceVersion));
        m_model->SetCellText(row, COL_AI_VEHICLE, LocalAiText(result.vehicleVersion));
        return 0;
    }
    // No versions: the first analytics column says why, the others are
    // empty, so that no version of an earlier answer stands beside it.
    m_model->SetCellText(row, COL_AI_STRUCT, QString::fromStdString(LoadString(result.verdictId)));
    m_model->SetCellText(row, COL_AI_DETECT_FACE, QString());
    m_model->SetCellText(row, COL_AI_VEHICLE, QString());
    return 0;
}
