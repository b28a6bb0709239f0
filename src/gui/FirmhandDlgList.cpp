// The main window's side of the list of cameras (CDeviceListController):
// what the list asks of the window (a web page, a retry, the clipboard, the
// analytics query) and what it tells the log pane, the automatic upgrade
// test and the status bar.
#include <QDesktopServices>
#include <QUrl>

#include "BatchEvents.h"
#include "FirmhandDlg.h"
#include "LogPane.h"
#include "app/Logger.h"
#include "session/FirmhandSession.h"

FH_LOG_SOURCE("FirmhandDlg");

void CFirmhandDlg::WireList() {
    CDeviceListController* list = m_list;
    connect(list, &CDeviceListController::FilterChanged, this, &CFirmhandDlg::UpdateStatusBar);
    connect(list, &CDeviceListController::SelectedCameraChanged, m_logPane, &CLogPane::ShowCamera);
    connect(list, &CDeviceListController::NewRow, m_auto, &CAutoUpgradeTest::OnNewRow);
    connect(list, &CDeviceListController::CameraFound, this, [this](int row) {
        m_events->CameraFound(row);
        // A camera the running batch waits for: its record from now on.
        if (const DEVICE_S_INFO* record = DeviceList().Record(row)) {
            m_outcomes.Found(*record);
        }
    });
    connect(list, &CDeviceListController::CameraReported, m_auto,
            &CAutoUpgradeTest::OnCameraReported);
    connect(list, &CDeviceListController::WebPageWanted, this, &CFirmhandDlg::OnListDoubleClicked);
    connect(list, &CDeviceListController::RetryWanted, this,
            [this](int row) { StartBatchOf({row}); });
    connect(list, &CDeviceListController::CopyWanted, this, &CFirmhandDlg::CopyText);
    connect(list, &CDeviceListController::AiVersionsWanted, this,
            &CFirmhandDlg::OnBnClickedButtonGetAiVersion);
    // Every line of a camera, shown or not, is its row's last log line.
    m_logPane->SetFeedObserver([list](const LOG_FEED_LINE& line) { list->ShowLastLogLine(line); });
}

void CFirmhandDlg::OnListDoubleClicked(const QModelIndex& index) {
    const DEVICE_S_INFO* info = index.isValid() ? DeviceList().Record(index.row()) : nullptr;
    if (info == nullptr || DeviceList().IsNotFound(index.row())) {
        return;
    }
    // The camera may need a local address in its subnet first, which takes
    // time: the page opens when the session's answer arrives.
    if (!m_session || !m_session->RequestWebPage(*info)) {
        LOG_WARN("CFirmhandDlg::OnListDoubleClicked", "web page not requested, mac: %s",
                 std::string(FieldText(info->mac)).c_str());
    }
}

void CFirmhandDlg::OpenWebPage(const std::string& url) {
    LOG_INFO("CFirmhandDlg::OpenWebPage", "open %s", url.c_str());
    if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(url)))) {
        LOG_WARN("CFirmhandDlg::OpenWebPage", "no browser opened %s", url.c_str());
    }
}
