#include "InventoryView.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <vector>

#include "InventoryTable.h"
#include "app/StringTable.h"
#include "model/SafeText.h"
#include "session/SessionInventory.h"

CInventoryView::CInventoryView(std::string inventoryPath, std::string site, QWidget* parent)
    : QDialog(parent), m_path(std::move(inventoryPath)), m_site(std::move(site)) {
    setObjectName(QStringLiteral("Inventory"));
    setWindowTitle(InventoryText(IDS_INVENTORY_TITLE)
                       .arg(QString::fromStdString(VisibleText(m_site.empty() ? "*" : m_site))));
    auto* layout = new QVBoxLayout(this);
    auto* filterRow = new QHBoxLayout;
    auto* label = new QLabel(InventoryText(IDS_INVENTORY_OLDER_THAN), this);
    m_olderThan = new QLineEdit(this);
    m_olderThan->setObjectName(QStringLiteral("OlderThan"));
    m_olderThan->setPlaceholderText(QStringLiteral("4.0.10"));
    m_olderThan->setMaxLength(static_cast<int>(inventory::kMaxVersionBytes));
    label->setBuddy(m_olderThan);
    filterRow->addWidget(label);
    filterRow->addWidget(m_olderThan);
    filterRow->addStretch(1);
    layout->addLayout(filterRow);
    m_problemLabel = new QLabel(this);
    m_problemLabel->setTextFormat(Qt::PlainText);
    m_problemLabel->setWordWrap(true);
    m_problemLabel->hide();
    layout->addWidget(m_problemLabel);
    m_table =
        MakeInventoryTable({IDS_INV_COL_SITE, IDS_INV_COL_MAC, IDS_INV_COL_NAME, IDS_INV_COL_MODEL,
                            IDS_INV_COL_ADDRESSES, IDS_INV_COL_VERSION, IDS_INV_COL_LAST_SEEN},
                           QStringLiteral("Cameras"), this);
    layout->addWidget(m_table, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(InventoryText(IDS_BUTTON_OK));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_olderThan, &QLineEdit::textChanged, this, &CInventoryView::Refresh);
    resize(900, 480);
    Refresh();
}

void CInventoryView::Refresh() {
    const std::string olderThan = m_olderThan->text().trimmed().toStdString();
    m_problem = olderThan.empty() ? std::string() : inventory::CheckVersionText(olderThan);
    std::vector<INVENTORY_CAMERA> cameras;
    if (m_problem.empty()) {
        bool nothingYet = false;
        auto inventory = CInventory::Open(m_path, InventoryAccess::Read, m_problem,
                                          kInventoryBusyMs, &nothingYet);
        if (inventory) {
            inventory->Cameras(m_site, olderThan, cameras, m_problem);
        } else if (nothingYet) {
            m_problem.clear();  // nothing recorded yet
        }
    }
    std::vector<std::vector<std::string>> rows;
    for (const INVENTORY_CAMERA& camera : cameras) {
        const CAMERA_ROW r = CameraRow(camera);
        rows.push_back({r.site, r.mac, r.name, r.model, r.ip2.empty() ? r.ip : r.ip + ", " + r.ip2,
                        r.version, r.lastSeen});
    }
    FillInventoryTable(*m_table, rows);
    m_problemLabel->setText(QString::fromStdString(VisibleText(m_problem)));
    m_problemLabel->setVisible(!m_problem.empty());
}
