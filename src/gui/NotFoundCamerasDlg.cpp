#include "NotFoundCamerasDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <set>

#include "InventoryTable.h"
#include "app/StringTable.h"
#include "model/SafeText.h"

CNotFoundCamerasDlg::CNotFoundCamerasDlg(const std::string& inventoryPath, const std::string& site,
                                         const std::function<bool(const std::string&)>& listed,
                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("NotFoundCameras"));
    setWindowTitle(InventoryText(IDS_NOT_FOUND_TITLE)
                       .arg(QString::fromStdString(VisibleText(site.empty() ? "*" : site))));
    auto* layout = new QVBoxLayout(this);
    m_note = new QLabel(this);
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    m_table =
        MakeInventoryTable({IDS_INV_COL_MAC, IDS_INV_COL_NAME, IDS_INV_COL_MODEL,
                            IDS_INV_COL_ADDRESSES, IDS_INV_COL_VERSION, IDS_INV_COL_LAST_SEEN},
                           QStringLiteral("Cameras"), this);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_table, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_add = buttons->button(QDialogButtonBox::Ok);
    m_add->setText(InventoryText(IDS_ADD));
    m_add->setEnabled(false);
    buttons->button(QDialogButtonBox::Cancel)->setText(InventoryText(IDS_BUTTON_CANCEL));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { m_add->setEnabled(!m_table->selectedItems().isEmpty()); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    layout->addWidget(buttons);
    resize(800, 400);
    Read(inventoryPath, site, listed);
}

void CNotFoundCamerasDlg::Read(const std::string& inventoryPath, const std::string& site,
                               const std::function<bool(const std::string&)>& listed) {
    std::vector<INVENTORY_CAMERA> cameras;
    bool nothingYet = false;
    auto inventory = CInventory::Open(inventoryPath, InventoryAccess::Read, m_problem,
                                      kInventoryBusyMs, &nothingYet);
    if (inventory) {
        inventory->Cameras(site, std::string(), cameras, m_problem);
    } else if (nothingYet) {
        m_problem.clear();  // nothing recorded yet: nothing to offer
    }
    std::vector<std::vector<std::string>> rows;
    for (INVENTORY_CAMERA& camera : cameras) {
        if (listed(camera.mac)) {
            continue;
        }
        const CAMERA_ROW r = CameraRow(camera);
        rows.push_back({r.mac, r.name, r.model, r.ip2.empty() ? r.ip : r.ip + ", " + r.ip2,
                        r.version, r.lastSeen});
        m_offered.push_back(std::move(camera));
    }
    FillInventoryTable(*m_table, rows);
    m_note->setText(m_problem.empty()
                        ? (m_offered.empty() ? InventoryText(IDS_NONE_MISSING) : QString())
                        : QString::fromStdString(VisibleText(m_problem)));
    m_note->setVisible(!m_note->text().isEmpty());
}

std::vector<INVENTORY_CAMERA> CNotFoundCamerasDlg::Chosen() const {
    std::set<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
        rows.insert(index.row());
    }
    std::vector<INVENTORY_CAMERA> chosen;
    for (int row : rows) {
        if (row >= 0 && row < static_cast<int>(m_offered.size())) {
            chosen.push_back(m_offered[static_cast<size_t>(row)]);
        }
    }
    return chosen;
}
