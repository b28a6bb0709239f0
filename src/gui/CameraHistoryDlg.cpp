#include "CameraHistoryDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <vector>

#include "InventoryTable.h"
#include "app/StringTable.h"
#include "model/SafeText.h"
#include "session/SessionInventory.h"

CCameraHistoryDlg::CCameraHistoryDlg(const std::string& inventoryPath, const std::string& mac,
                                     const QString& title, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("CameraHistory"));
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    m_problemLabel = new QLabel(this);
    m_problemLabel->setTextFormat(Qt::PlainText);
    m_problemLabel->setWordWrap(true);
    m_problemLabel->hide();
    layout->addWidget(m_problemLabel);
    layout->addWidget(new QLabel(InventoryText(IDS_HISTORY_VERSIONS), this));
    m_versions = MakeInventoryTable(
        {IDS_INV_COL_SITE, IDS_INV_COL_VERSION, IDS_INV_COL_FIRST_SEEN, IDS_INV_COL_LAST_SEEN},
        QStringLiteral("Versions"), this);
    layout->addWidget(m_versions, 1);
    layout->addWidget(new QLabel(InventoryText(IDS_HISTORY_STEPS), this));
    m_steps = MakeInventoryTable(
        {IDS_INV_COL_STARTED, IDS_INV_COL_ENDED, IDS_INV_COL_SITE, IDS_INV_COL_FROM, IDS_INV_COL_TO,
         IDS_INV_COL_RESULT, IDS_INV_COL_STEP, IDS_INV_COL_ATTEMPTS, IDS_INV_COL_PACKAGE,
         IDS_INV_COL_SHA256, IDS_INV_COL_RUN},
        QStringLiteral("Steps"), this);
    layout->addWidget(m_steps, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(InventoryText(IDS_BUTTON_OK));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(900, 480);
    Load(inventoryPath, mac);
}

void CCameraHistoryDlg::Load(const std::string& inventoryPath, const std::string& mac) {
    bool nothingYet = false;
    auto inventory = CInventory::Open(inventoryPath, InventoryAccess::Read, m_problem,
                                      kInventoryBusyMs, &nothingYet);
    std::vector<INVENTORY_CAMERA> cameras;
    std::vector<INVENTORY_STEP> steps;
    if (inventory) {
        // Every site: a camera moved between sites keeps its history.
        if (inventory->Cameras("", "", cameras, m_problem)) {
            inventory->Steps("", mac, steps, m_problem);
        }
    } else if (nothingYet) {
        m_problem.clear();  // nothing recorded yet: empty tables
    }
    std::vector<std::vector<std::string>> versionRows;
    for (const INVENTORY_CAMERA& camera : cameras) {
        if (camera.mac != mac) {
            continue;
        }
        for (const SEEN_VERSION& version : camera.versions) {
            const SEEN_VERSION_ROW r = SeenVersionRow(version);
            versionRows.push_back({camera.site, r.version, r.firstSeen, r.lastSeen});
        }
    }
    std::vector<std::vector<std::string>> stepRows;
    for (const INVENTORY_STEP& step : steps) {
        const STEP_ROW r = StepRow(step);
        stepRows.push_back({r.started, r.ended, r.site, r.from, r.to, r.result, r.step, r.attempts,
                            r.package, r.sha256, r.run});
    }
    FillInventoryTable(*m_versions, versionRows);
    FillInventoryTable(*m_steps, stepRows);
    if (!m_problem.empty()) {
        m_problemLabel->setText(InventoryText(IDS_INVENTORY_NOTICE)
                                    .arg(QString::fromStdString(VisibleText(m_problem))));
        m_problemLabel->show();
    }
}
