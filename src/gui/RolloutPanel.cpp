#include "RolloutPanel.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "DeviceListRules.h"
#include "WindowControls.h"
#include "app/StringTable.h"
#include "session/SessionTypes.h"

namespace {

QString RolloutText(int id) {
    return QString::fromStdString(LoadString(id));
}

// The highest failure count the field takes.
constexpr int kMaxFailureLimit = 9999;
// Longest waiting time typed: "23h59m59s" and room for spaces around it.
constexpr int kMaxWaitTextLength = 16;
// Rows of the package list shown without scrolling.
constexpr int kPackageRowsShown = 3;

}  // namespace

CRolloutPanel::CRolloutPanel(QWidget* parent) : CCollapsiblePanel(parent) {
    AddControl(IDC_ROLLOUT_PANEL, this);
    SetContent(BuildControls());
}

QWidget* CRolloutPanel::AddControl(int id, QWidget* widget) {
    widget->setObjectName(QStringLiteral("ctl%1").arg(id));
    m_controls[id] = widget;
    return widget;
}

QWidget* CRolloutPanel::BuildControls() {
    auto* holder = new QWidget(this);
    m_packageList = new QTreeWidget(holder);
    m_packageList->setColumnCount(2);
    m_packageList->setRootIsDecorated(false);
    m_packageList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_packageList->setFixedHeight(m_packageList->fontMetrics().height() * (kPackageRowsShown + 2) +
                                  12);
    m_packageList->header()->setStretchLastSection(true);
    m_packageList->setColumnWidth(0, 160);
    AddControl(IDC_PACKAGE_LIST, m_packageList);
    auto* add = new QPushButton(holder);
    auto* remove = new QPushButton(holder);
    AddControl(IDC_ADD_MODEL_PACKAGE, add);
    AddControl(IDC_REMOVE_PACKAGE, remove);
    remove->setEnabled(false);
    connect(add, &QPushButton::clicked, this, &CRolloutPanel::AddModelPackageClicked);
    connect(remove, &QPushButton::clicked, this, &CRolloutPanel::OnRemovePackage);
    connect(m_packageList, &QTreeWidget::itemSelectionChanged, this, [this, remove] {
        remove->setEnabled(!m_locked && !m_packageList->selectedItems().isEmpty());
    });

    m_credentialsEdit = new QLineEdit(holder);
    m_credentialsEdit->setClearButtonEnabled(true);
    AddControl(IDC_CREDENTIALS_PATH, m_credentialsEdit);
    auto* credentialsBrowse = new QPushButton(holder);
    AddControl(IDC_CREDENTIALS_BROWSE, credentialsBrowse);
    connect(credentialsBrowse, &QPushButton::clicked, this,
            &CRolloutPanel::BrowseCredentialsClicked);

    m_force = new QCheckBox(holder);
    AddControl(IDC_FORCE, m_force);
    m_canary = new QCheckBox(holder);
    AddControl(IDC_CANARY, m_canary);
    // How many cameras of each model go first; only with "Canary first".
    m_canaryCount = new QSpinBox(holder);
    m_canaryCount->setRange(1, kMaxCanary);
    m_canaryCount->setEnabled(false);
    AddControl(IDC_CANARY_COUNT, m_canaryCount);
    connect(m_canary, &QCheckBox::toggled, this,
            [this](bool on) { m_canaryCount->setEnabled(on && !m_locked); });
    auto* limitLabel = new QLabel(holder);
    AddControl(IDC_MAX_FAILURES_LABEL, limitLabel);
    m_maxFailures = new QSpinBox(holder);
    m_maxFailures->setRange(0, kMaxFailureLimit);  // 0: no limit
    AddControl(IDC_MAX_FAILURES, m_maxFailures);
    limitLabel->setBuddy(m_maxFailures);
    auto* retry = new QPushButton(holder);
    AddControl(IDC_RETRY_FAILED, retry);
    retry->setEnabled(false);
    connect(retry, &QPushButton::clicked, this, &CRolloutPanel::RetryFailedClicked);

    auto* packageButtons = new QVBoxLayout;
    packageButtons->addWidget(add);
    packageButtons->addWidget(remove);
    packageButtons->addStretch(1);
    auto* packages = new QHBoxLayout;
    packages->addWidget(m_packageList, 1);
    packages->addLayout(packageButtons);
    auto* options = new QHBoxLayout;
    options->addWidget(m_credentialsEdit, 1);
    options->addWidget(credentialsBrowse);
    options->addSpacing(12);
    options->addWidget(m_force);
    options->addSpacing(12);
    options->addWidget(m_canary);
    options->addWidget(m_canaryCount);
    options->addSpacing(12);
    options->addWidget(limitLabel);
    options->addWidget(m_maxFailures);
    options->addSpacing(12);
    options->addLayout(BuildWaitForMissing(holder));
    options->addSpacing(12);
    options->addWidget(retry);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(packages);
    layout->addLayout(options);
    return holder;
}

QLayout* CRolloutPanel::BuildWaitForMissing(QWidget* holder) {
    // How long a batch waits for its cameras not found: the CLI's syntax.
    auto* waitLabel = new QLabel(holder);
    AddControl(IDC_WAIT_FOR_MISSING_LABEL, waitLabel);
    m_waitForMissing = new QLineEdit(holder);
    m_waitForMissing->setMaxLength(kMaxWaitTextLength);
    m_waitForMissing->setPlaceholderText(QStringLiteral("10m"));
    m_waitForMissing->setFixedWidth(
        m_waitForMissing->fontMetrics().horizontalAdvance(QStringLiteral("00h00m00s")) + 16);
    AddControl(IDC_WAIT_FOR_MISSING, m_waitForMissing);
    waitLabel->setBuddy(m_waitForMissing);
    auto* row = new QHBoxLayout;
    row->addWidget(waitLabel);
    row->addWidget(m_waitForMissing);
    return row;
}

void CRolloutPanel::LoadTexts() {
    SetTitle(RolloutText(IDS_ROLLOUT_PANEL));
    m_packageList->setHeaderLabels(
        {RolloutText(IDS_COL_PRODUCT_TYPE), RolloutText(IDS_PACKAGE_FILE_NAME)});
    static const std::pair<int, int> kButtons[] = {
        {IDC_ADD_MODEL_PACKAGE, IDS_ADD_MODEL_PACKAGE},
        {IDC_REMOVE_PACKAGE, IDS_REMOVE_PACKAGE},
        {IDC_CREDENTIALS_BROWSE, IDS_BROWSE_CREDENTIALS},
        {IDC_RETRY_FAILED, IDS_RETRY_FAILED},
    };
    for (const auto& [control, id] : kButtons) {
        static_cast<QPushButton*>(m_controls[control])->setText(RolloutText(id));
    }
    static_cast<QLabel*>(m_controls[IDC_MAX_FAILURES_LABEL])
        ->setText(RolloutText(IDS_STOP_AFTER_FAILURES));
    static_cast<QLabel*>(m_controls[IDC_WAIT_FOR_MISSING_LABEL])
        ->setText(RolloutText(IDS_WAIT_FOR_MISSING));
    m_waitForMissing->setToolTip(RolloutText(IDS_WAIT_FOR_MISSING_TIP));
    m_force->setText(RolloutText(IDS_FORCE));
    m_canary->setText(RolloutText(IDS_CANARY_FIRST));
    m_canaryCount->setToolTip(RolloutText(IDS_CANARIES_PER_MODEL));
    m_canaryCount->setSuffix(RolloutText(IDS_CANARY_COUNT_SUFFIX));
    m_maxFailures->setSpecialValueText(RolloutText(IDS_FAILURE_LIMIT_OFF));
    m_credentialsEdit->setPlaceholderText(RolloutText(IDS_CREDENTIALS_FILE));
    static const std::pair<int, int> kNames[] = {
        {IDC_PACKAGE_LIST, IDS_PACKAGES_NAME},
        {IDC_CREDENTIALS_PATH, IDS_CREDENTIALS_FILE},
        {IDC_FORCE, IDS_FORCE},
        {IDC_CANARY, IDS_CANARY_FIRST},
        {IDC_CANARY_COUNT, IDS_CANARIES_PER_MODEL},
        {IDC_MAX_FAILURES, IDS_STOP_AFTER_FAILURES},
        {IDC_MAX_FAILURES_LABEL, IDS_STOP_AFTER_FAILURES},
        {IDC_WAIT_FOR_MISSING, IDS_WAIT_FOR_MISSING},
        {IDC_WAIT_FOR_MISSING_LABEL, IDS_WAIT_FOR_MISSING},
    };
    for (const auto& [control, id] : kNames) {
        m_controls[control]->setAccessibleName(RolloutText(id));
    }
}

std::vector<BatchPackage> CRolloutPanel::ModelPackages() const {
    std::vector<BatchPackage> packages;
    for (int i = 0; i < m_packageList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_packageList->topLevelItem(i);
        packages.push_back(
            {item->data(0, Qt::UserRole).toString().toStdString(),
             QFile::encodeName(item->data(1, Qt::UserRole).toString()).toStdString()});
    }
    return packages;
}

void CRolloutPanel::AddModelPackage(const std::string& model, const QString& path) {
    auto* item = new QTreeWidgetItem(m_packageList);
    item->setText(0, QString::fromStdString(model));
    item->setData(0, Qt::UserRole, QString::fromStdString(model));
    item->setText(1, QFileInfo(path).fileName());
    item->setToolTip(1, path);
    item->setData(1, Qt::UserRole, path);
}

void CRolloutPanel::OnRemovePackage() {
    for (QTreeWidgetItem* item : m_packageList->selectedItems()) {
        delete item;
    }
}

void CRolloutPanel::SetCredentialsFile(const QString& path) {
    m_credentialsEdit->setText(path);
}

QString CRolloutPanel::WaitForMissing() const {
    return m_waitForMissing->text().trimmed();
}

void CRolloutPanel::SetWaitForMissing(const QString& text) {
    m_waitForMissing->setText(text);
}

void CRolloutPanel::FillRequest(BatchRequest& request) const {
    // Only the packages of the chosen cameras' models: the list outlives a
    // choice of rows, and a package of a model not chosen is refused.
    std::set<std::string> chosen;
    for (const DeviceInfoPtr& device : request.devices) {
        chosen.insert(std::string(FieldText(device->productModel)));
    }
    std::vector<BatchPackage> models;
    for (const BatchPackage& package : ModelPackages()) {
        if (chosen.count(package.model) != 0) {
            models.push_back(package);
        }
    }
    if (!models.empty()) {
        // The upgrade file (when chosen) stays the package of every other
        // camera.
        if (!request.packagePath.empty()) {
            request.packages.push_back({"", request.packagePath});
        }
        request.packages.insert(request.packages.end(), models.begin(), models.end());
    }
    request.credentialsFile = QFile::encodeName(m_credentialsEdit->text().trimmed()).toStdString();
    request.force = m_force->isChecked();
    // The first cameras of each model are upgraded and verified first.
    request.canary = m_canary->isChecked() ? m_canaryCount->value() : 0;
    // "Stop after N failures": the run stops once N have failed, that is when
    // the failed ones pass N - 1.
    if (m_maxFailures->value() > 0) {
        request.maxFailures.value = m_maxFailures->value() - 1;
    }
}

void CRolloutPanel::SetBatchControlsEnabled(bool enabled, bool retryOffered) {
    m_locked = !enabled;
    for (int id :
         {IDC_ADD_MODEL_PACKAGE, IDC_PACKAGE_LIST, IDC_CREDENTIALS_PATH, IDC_CREDENTIALS_BROWSE,
          IDC_FORCE, IDC_CANARY, IDC_MAX_FAILURES, IDC_WAIT_FOR_MISSING}) {
        m_controls[id]->setEnabled(enabled);
    }
    m_canaryCount->setEnabled(enabled && m_canary->isChecked());
    m_controls[IDC_REMOVE_PACKAGE]->setEnabled(enabled &&
                                               !m_packageList->selectedItems().isEmpty());
    m_controls[IDC_RETRY_FAILED]->setEnabled(enabled && retryOffered);
}
