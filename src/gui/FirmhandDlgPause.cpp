// The window's part of a paused batch: the button beside Upgrade asks the
// session, and the session's BatchPausedEvent sets the button and the
// status bar, so that a pause from elsewhere shows the same.
#include <QPushButton>
#include <QStatusBar>

#include "FirmhandDlg.h"
#include "WindowControls.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"

void CFirmhandDlg::OnPauseClicked() {
    // Refused once the batch ends or is cancelled: its end resets the button.
    if (m_session && m_upgrading) {
        m_session->PauseBatch(!m_paused);
    }
}

void CFirmhandDlg::OnBatchPaused(bool paused) {
    if (m_upgrading) {
        ShowPaused(paused);
    }
}

void CFirmhandDlg::ShowPaused(bool paused) {
    m_paused = paused;
    static_cast<QPushButton*>(m_controls[IDC_PAUSE])
        ->setText(QString::fromStdString(LoadString(paused ? IDS_GO_ON : IDS_PAUSE)));
    if (paused) {
        statusBar()->showMessage(QString::fromStdString(LoadString(IDS_PAUSED)));
    } else {
        statusBar()->clearMessage();
    }
}
