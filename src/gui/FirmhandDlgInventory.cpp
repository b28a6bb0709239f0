// The window's site inventory: the database and site the session records
// under, the camera history and inventory views, the report's fields and
// the inventory's notice.
#include <QAction>
#include <QMenu>
#include <QStatusBar>
#include <cctype>

#include "CameraHistoryDlg.h"
#include "DeviceListController.h"
#include "FirmhandDlg.h"
#include "InventoryView.h"
#include "LogPane.h"
#include "ReportFieldsDlg.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "model/DeviceText.h"
#include "model/SafeText.h"
#include "session/FirmhandSession.h"
#include "session/InventorySite.h"

FH_LOG_SOURCE("FirmhandDlgInventory");

namespace {

// How long the notice stays in the status bar; the log pane keeps it.
constexpr int kNoticeStatusMs = 15000;

QString InventoryViewText(int id) {
    return QString::fromStdString(LoadString(id));
}

}  // namespace

std::string CFirmhandDlg::InventoryPath() const {
    return m_session ? m_session->Options().inventoryPath : std::string();
}

std::string CFirmhandDlg::InventorySite() const {
    if (!m_reportFields.site.empty()) {
        return m_reportFields.site;
    }
    return m_session ? AdapterSubnet(m_session->Options().adapter) : std::string();
}

bool CFirmhandDlg::SetReportFields(const report_fields::REPORT_FIELDS& fields) {
    if (!report_fields::Save(fields)) {
        LOG_WARN("CFirmhandDlg::SetReportFields", "report fields not remembered");
        return false;
    }
    m_reportFields = fields;
    if (m_session) {
        m_session->SetInventorySite(fields.site);
    }
    return true;
}

void CFirmhandDlg::AddReportFieldsAction(QMenu* file) {
    QAction* action = Texted(file->addAction(QString()), IDS_MENU_REPORT_FIELDS);
    connect(action, &QAction::triggered, this, [this] {
        const std::string adapterSite =
            m_session ? AdapterSubnet(m_session->Options().adapter) : std::string();
        CReportFieldsDlg dialog(m_reportFields, QString::fromStdString(adapterSite), this);
        if (dialog.exec() == QDialog::Accepted) {
            SetReportFields(dialog.Fields());
        }
    });
}

void CFirmhandDlg::AddInventoryActions(QMenu* view) {
    QAction* action = Texted(view->addAction(QString()), IDS_MENU_INVENTORY);
    connect(action, &QAction::triggered, this, [this] { OpenInventoryView(); });
    connect(m_list, &CDeviceListController::HistoryWanted, this,
            [this](const std::string& mac) { OpenCameraHistory(mac); });
}

QDialog* CFirmhandDlg::OpenCameraHistory(const std::string& mac) {
    std::string upper = mac;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    QString name;
    if (const DEVICE_S_INFO* record = DeviceList().Record(m_list->findDeviceItem(mac))) {
        name = QString::fromStdString(VisibleText(FieldText(record->devName)));
    }
    auto* dialog = new CCameraHistoryDlg(
        InventoryPath(), upper,
        InventoryViewText(IDS_HISTORY_TITLE).arg(name, QString::fromStdString(VisibleText(upper))),
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

CInventoryView* CFirmhandDlg::OpenInventoryView() {
    auto* dialog = new CInventoryView(InventoryPath(), InventorySite(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

void CFirmhandDlg::OnInventoryNotice(const std::string& text) {
    if (m_inventoryNoticeShown) {
        return;
    }
    m_inventoryNoticeShown = true;
    const QString line =
        InventoryViewText(IDS_INVENTORY_NOTICE).arg(QString::fromStdString(VisibleText(text)));
    m_logPane->AddEvent(line, std::string());
    statusBar()->showMessage(line, kNoticeStatusMs);
}
