// The main window's device list: search reports, selection buttons,
// sorting, optional columns, Browse and the double click.
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QUrl>

#include "BatchEvents.h"
#include "DeviceFilter.h"
#include "FirmhandDlg.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

QString ListText(int id) {
    return QString::fromStdString(LoadString(id));
}

}  // namespace

bool CFirmhandDlg::addDeviceItem(std::unique_ptr<DEVICE_S_INFO> info) {
    bool isNewRow = false;
    if (!m_model->AddDeviceItem(std::move(info), &isNewRow)) {
        return false;
    }
    if (isNewRow) {
        m_auto->OnNewRow(0);
    }
    return true;
}

int CFirmhandDlg::findDeviceItem(const std::string& mac) const {
    return m_model->FindDeviceItem(mac);
}

bool CFirmhandDlg::isCheckedSameModel() {
    std::string model;
    if (!m_model->IsCheckedSameModel(model)) {
        return false;
    }
    m_sameModel = model;
    return true;
}

int CFirmhandDlg::OnDeviceNotify(CWindowMessage& message) {
    switch (message.wParam) {
        case DEVICE_NOTIFY_FOUND:
        case DEVICE_NOTIFY_CHANGED: {
            std::unique_ptr<DEVICE_S_INFO> info = message.TakeDevice();
            if (!info) {
                break;
            }
            const std::string mac(FieldText(info->mac));
            const bool known = m_model->FindDeviceItem(mac) >= 0;
            addDeviceItem(std::move(info));
            if (!known && m_model->FindDeviceItem(mac) >= 0) {
                m_events->CameraFound(m_model->FindDeviceItem(mac));
            }
            if (known && message.wParam == DEVICE_NOTIFY_FOUND) {
                m_auto->OnCameraReported(m_model->FindDeviceItem(mac), mac);
            }
            break;
        }
        case DEVICE_NOTIFY_GONE:
            // The session never reports a camera gone while its job runs.
            m_model->RemoveDeviceItem(message.Text());
            break;
        default:
            break;
    }
    return 1;
}

void CFirmhandDlg::OnSelectAll() {
    // Act on the rows shown: with a filter, only those.
    if (m_filter->IsFiltering()) {
        for (int row : m_filter->VisibleRows()) {
            m_model->SetChecked(row, true);
        }
    } else {
        m_model->SetAllChecked(true);
    }
    m_controls[IDC_CHECK_SAME_TYPE]->setEnabled(false);
}

void CFirmhandDlg::OnClearAll() {
    if (m_filter->IsFiltering()) {
        for (int row : m_filter->VisibleRows()) {
            m_model->SetChecked(row, false);
        }
    } else {
        m_model->SetAllChecked(false);
    }
    m_controls[IDC_CHECK_SAME_TYPE]->setEnabled(false);
}

void CFirmhandDlg::OnCheckSameType() {
    for (int row : m_filter->VisibleRows()) {
        const DEVICE_S_INFO* record = m_model->Record(row);
        if (record != nullptr && FieldText(record->productModel) == m_sameModel) {
            m_model->SetChecked(row, true);
        }
    }
}

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

void CFirmhandDlg::SetColumnWidth(int column, int width) {
    // A column of width 0 is hidden, so that it cannot be dragged open.
    m_list->setColumnHidden(column, width == 0);
    if (width > 0) {
        m_list->setColumnWidth(column, width);
    }
}

int CFirmhandDlg::ColumnWidth(int column) const {
    return m_list->isColumnHidden(column) ? 0 : m_list->columnWidth(column);
}

void CFirmhandDlg::OnShowAiVersion() {
    SetAiColumnsShown(!m_aiShown);
}

void CFirmhandDlg::SetAiColumnsShown(bool shown) {
    // Column 14 (match face) is never shown.
    for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE}) {
        SetColumnWidth(column, shown ? std::max(kAiColumnWidth, HeadingWidth(column)) : 0);
    }
    m_aiShown = shown;
    static_cast<QPushButton*>(m_controls[IDC_SHOW_AI])
        ->setText(ListText(m_aiShown ? IDS_HIDE_AI : IDS_SHOW_AI));
}

void CFirmhandDlg::SelectUpgradeFile(const QString& path) {
    m_upgradeFile = path;
    m_pathEdit->setText(m_upgradeFile);
}

void CFirmhandDlg::OnShowSlaveIp() {
    m_slaveIpShown = !m_slaveIpShown;
    SetColumnWidth(COL_SLAVE_IP,
                   m_slaveIpShown ? std::max(kSlaveIpColumnWidth, HeadingWidth(COL_SLAVE_IP)) : 0);
    static_cast<QPushButton*>(m_controls[IDC_SHOW_SLAVE_IP])
        ->setText(ListText(m_slaveIpShown ? IDS_HIDE_SLAVE_IP : IDS_SHOW_SLAVE_IP));
}

void CFirmhandDlg::OnColumnClick(int column) {
    if (IsSortableColumn(column)) {
        m_sortRestored = true;  // the technician's own order from now on
        // First click on a column sorts descending, the next ascending.
        bool& ascending = m_sortAscending[column];
        m_model->SortByColumn(column, ascending);
        m_sortColumn = column;
        m_sortedAscending = ascending;
        ascending = !ascending;
    }
    UpdateSortIndicator();
}

void CFirmhandDlg::UpdateSortIndicator() {
    // The header flips its arrow on every click; show the real order.
    QHeaderView* header = m_list->horizontalHeader();
    header->setSortIndicatorShown(m_sortColumn >= 0);
    if (m_sortColumn >= 0 && !m_list->isColumnHidden(m_sortColumn)) {
        // The arrow takes room beside the heading: the column widens for it.
        SetColumnWidth(m_sortColumn, std::max(m_list->columnWidth(m_sortColumn),
                                              HeadingWidth(m_sortColumn, true)));
    }
    if (m_sortColumn >= 0) {
        header->setSortIndicator(m_sortColumn,
                                 m_sortedAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
}

void CFirmhandDlg::OnListDoubleClicked(const QModelIndex& index) {
    const DEVICE_S_INFO* info = index.isValid() ? m_model->Record(index.row()) : nullptr;
    if (info == nullptr) {
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
