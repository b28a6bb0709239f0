// The main window's analytics versions: button 1019 asks the checked
// cameras, one after another on the query's own thread; each answer comes
// back as WM_AI_VERSION_RESULT and fills columns 11 to 13 and the result.
#include <QLineEdit>
#include <QPushButton>

#include "FirmhandDlg.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "http/AiQuery.h"
#include "http/AiVersionQuery.h"
#include "http/AiVersionResult.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

QString LocalText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void CFirmhandDlg::OnBnClickedButtonGetAiVersion() {
    if (m_aiQuery && m_aiQuery->Running()) {
        // The button is disabled while a run goes; a call from elsewhere
        // waits for the run to end.
        LOG_WARN("CFirmhandDlg::OnBnClickedButtonGetAiVersion", "query still running");
        return;
    }
    // Credentials in the system's code page, as the cameras take them.
    m_userName = m_userEdit->text().toLocal8Bit().toStdString();
    m_password = m_passwordEdit->text().toLocal8Bit().toStdString();

    std::vector<AiQuery> queries;
    for (int row : m_model->CheckedRows()) {
        queries.push_back(MakeAiQuery(*m_model->Record(row), m_userName, m_password));
        m_model->SetCellText(row, COL_RESULT, QString());
    }
    if (queries.empty()) {
        ShowMessage(IDS_SELECT_SAME_AI, false);
        return;
    }
    if (!m_aiQuery) {
        m_aiQuery = std::make_unique<CAiVersionQuery>(m_sink);
    }
    const int count = static_cast<int>(queries.size());
    if (!m_aiQuery->Start(std::move(queries))) {
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
    // A camera that answered shows the analytics columns, even when its row
    // is gone or unchecked by now.
    if (result.read && !m_aiShown) {
        SetAiColumnsShown(true);
    }
    // The first checked row of exactly this MAC (letter case counts).
    const int row = m_model->FindCheckedRowExactMac(result.mac);
    if (row < 0) {
        return 0;
    }
    if (result.verdictId == IDS_AI_OK) {
        m_model->SetCellText(row, COL_AI_STRUCT, LocalText(result.structVersion));
        m_model->SetCellText(row, COL_AI_DETECT_FACE, LocalText(result.faceVersion));
        m_model->SetCellText(row, COL_AI_VEHICLE, LocalText(result.vehicleVersion));
    }
    m_model->SetCellText(row, COL_RESULT, QString::fromStdString(LoadString(result.verdictId)));
    return 0;
}
