// The main window's rollout controls: packages per model beside the upgrade
// file, a credentials file, "Force", a failure limit, "Retry failed" after a
// batch with failures, and the offer to resume a run that did not finish.
// They only fill the session's request; the session does the rest.
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <set>

#include "FirmhandDlg.h"
#include "app/Logger.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"
#include "upgrade/UpgradeResult.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

QString RolloutText(int id) {
    return QString::fromStdString(LoadString(id));
}

// The highest failure count the field takes.
constexpr int kMaxFailureLimit = 9999;
// Rows of the package list shown without scrolling.
constexpr int kPackageRowsShown = 3;

}  // namespace

QWidget* CFirmhandDlg::BuildRolloutControls(QWidget* parent) {
    auto* holder = new QWidget(parent);
    auto addControl = [this](int id, QWidget* widget) {
        widget->setObjectName(QStringLiteral("ctl%1").arg(id));
        m_controls[id] = widget;
        return widget;
    };
    m_packageList = new QTreeWidget(holder);
    m_packageList->setColumnCount(2);
    m_packageList->setRootIsDecorated(false);
    m_packageList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_packageList->setFixedHeight(m_packageList->fontMetrics().height() * (kPackageRowsShown + 2) +
                                  12);
    m_packageList->header()->setStretchLastSection(true);
    m_packageList->setColumnWidth(0, 160);
    addControl(IDC_PACKAGE_LIST, m_packageList);
    auto* add = new QPushButton(holder);
    auto* remove = new QPushButton(holder);
    addControl(IDC_ADD_MODEL_PACKAGE, add);
    addControl(IDC_REMOVE_PACKAGE, remove);
    remove->setEnabled(false);
    connect(add, &QPushButton::clicked, this, &CFirmhandDlg::OnAddModelPackage);
    connect(remove, &QPushButton::clicked, this, &CFirmhandDlg::OnRemovePackage);
    connect(m_packageList, &QTreeWidget::itemSelectionChanged, this, [this, remove] {
        remove->setEnabled(!m_upgrading && !m_packageList->selectedItems().isEmpty());
    });

    m_credentialsEdit = new QLineEdit(holder);
    m_credentialsEdit->setClearButtonEnabled(true);
    addControl(IDC_CREDENTIALS_PATH, m_credentialsEdit);
    auto* credentialsBrowse = new QPushButton(holder);
    addControl(IDC_CREDENTIALS_BROWSE, credentialsBrowse);
    connect(credentialsBrowse, &QPushButton::clicked, this, &CFirmhandDlg::OnBrowseCredentials);

    m_force = new QCheckBox(holder);
    addControl(IDC_FORCE, m_force);
    auto* limitLabel = new QLabel(holder);
    addControl(IDC_MAX_FAILURES_LABEL, limitLabel);
    m_maxFailures = new QSpinBox(holder);
    m_maxFailures->setRange(0, kMaxFailureLimit);  // 0: no limit
    addControl(IDC_MAX_FAILURES, m_maxFailures);
    limitLabel->setBuddy(m_maxFailures);
    auto* retry = new QPushButton(holder);
    addControl(IDC_RETRY_FAILED, retry);
    retry->setEnabled(false);
    connect(retry, &QPushButton::clicked, this, &CFirmhandDlg::OnRetryFailed);

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
    options->addWidget(limitLabel);
    options->addWidget(m_maxFailures);
    options->addSpacing(12);
    options->addWidget(retry);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(packages);
    layout->addLayout(options);
    return holder;
}

void CFirmhandDlg::LoadRolloutTexts() {
    m_packageList->setHeaderLabels(
        {RolloutText(IDS_COL_PRODUCT_TYPE), RolloutText(IDS_PACKAGE_FILE_NAME)});
    static_cast<QPushButton*>(m_controls[IDC_ADD_MODEL_PACKAGE])
        ->setText(RolloutText(IDS_ADD_MODEL_PACKAGE));
    static_cast<QPushButton*>(m_controls[IDC_REMOVE_PACKAGE])
        ->setText(RolloutText(IDS_REMOVE_PACKAGE));
    static_cast<QPushButton*>(m_controls[IDC_CREDENTIALS_BROWSE])
        ->setText(RolloutText(IDS_BROWSE_CREDENTIALS));
    static_cast<QPushButton*>(m_controls[IDC_RETRY_FAILED])->setText(RolloutText(IDS_RETRY_FAILED));
    static_cast<QLabel*>(m_controls[IDC_MAX_FAILURES_LABEL])
        ->setText(RolloutText(IDS_STOP_AFTER_FAILURES));
    m_force->setText(RolloutText(IDS_FORCE));
    m_maxFailures->setSpecialValueText(RolloutText(IDS_FAILURE_LIMIT_OFF));
    m_credentialsEdit->setPlaceholderText(RolloutText(IDS_CREDENTIALS_FILE));
    static const std::pair<int, int> kNames[] = {
        {IDC_PACKAGE_LIST, IDS_PACKAGES_NAME},
        {IDC_CREDENTIALS_PATH, IDS_CREDENTIALS_FILE},
        {IDC_FORCE, IDS_FORCE},
        {IDC_MAX_FAILURES, IDS_STOP_AFTER_FAILURES},
        {IDC_MAX_FAILURES_LABEL, IDS_STOP_AFTER_FAILURES},
    };
    for (const auto& [control, id] : kNames) {
        m_controls[control]->setAccessibleName(RolloutText(id));
    }
}

std::vector<BatchPackage> CFirmhandDlg::ModelPackages() const {
    std::vector<BatchPackage> packages;
    for (int i = 0; i < m_packageList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_packageList->topLevelItem(i);
        packages.push_back(
            {item->data(0, Qt::UserRole).toString().toStdString(),
             QFile::encodeName(item->data(1, Qt::UserRole).toString()).toStdString()});
    }
    return packages;
}

void CFirmhandDlg::AddModelPackage(const std::string& model, const QString& path) {
    auto* item = new QTreeWidgetItem(m_packageList);
    item->setText(0, QString::fromStdString(model));
    item->setData(0, Qt::UserRole, QString::fromStdString(model));
    item->setText(1, QFileInfo(path).fileName());
    item->setToolTip(1, path);
    item->setData(1, Qt::UserRole, path);
}

bool CFirmhandDlg::ChooseModelPackage(std::string& model, QString& path) {
    // The models of the listed cameras, each once, in list order.
    QStringList models;
    std::set<std::string> seen;
    for (int row = 0; row < m_model->RowCount(); ++row) {
        const std::string text(FieldText(m_model->Record(row)->productModel));
        if (!text.empty() && seen.insert(text).second) {
            models << QString::fromStdString(text);
        }
    }
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(this, RolloutText(IDS_ADD_MODEL_PACKAGE),
                              RolloutText(IDS_CHOOSE_MODEL), models, 0, true, &ok);
    if (!ok || chosen.trimmed().isEmpty()) {
        return false;
    }
    path = ChooseUpgradeFile();
    model = chosen.trimmed().toStdString();
    return !path.isEmpty();
}

void CFirmhandDlg::OnAddModelPackage() {
    std::string model;
    QString path;
    if (ChooseModelPackage(model, path)) {
        AddModelPackage(model, path);
    }
}

void CFirmhandDlg::OnRemovePackage() {
    for (QTreeWidgetItem* item : m_packageList->selectedItems()) {
        delete item;
    }
}

QString CFirmhandDlg::ChooseCredentialsFile() {
    return QFileDialog::getOpenFileName(this, RolloutText(IDS_CREDENTIALS_FILE), QString(),
                                        RolloutText(IDS_CREDENTIALS_FILTER));
}

void CFirmhandDlg::OnBrowseCredentials() {
    const QString chosen = ChooseCredentialsFile();
    if (!chosen.isEmpty()) {
        m_credentialsEdit->setText(chosen);
    }
}

void CFirmhandDlg::FillRolloutRequest(BatchRequest& request) const {
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
    // "Stop after N failures": the run stops once N have failed, that is when
    // the failed ones pass N - 1.
    if (m_maxFailures->value() > 0) {
        request.maxFailures.value = m_maxFailures->value() - 1;
    }
}

void CFirmhandDlg::OnRetryFailed() {
    if (m_upgrading) {
        return;
    }
    std::vector<int> rows;
    for (const CameraOutcome& outcome : m_outcomes.Outcomes()) {
        const int row = m_model->FindDeviceItem(outcome.mac);
        if (row >= 0 && IsFailedResult(outcome.code)) {
            rows.push_back(row);
        }
    }
    if (rows.empty()) {
        return;
    }
    OnClearAll();
    for (int row : rows) {
        m_model->SetChecked(row, true);
    }
    StartBatchOf(rows);
}

bool CFirmhandDlg::OfferResume() {
    if (!m_session || m_upgrading) {
        return false;
    }
    std::string problem;
    const std::optional<RunSummary> run = m_session->UnfinishedRun(&problem);
    if (!run) {
        if (!problem.empty()) {
            LOG_WARN("CFirmhandDlg::OfferResume", "the last run is unreadable: %s",
                     problem.c_str());
        }
        return false;
    }
    if (run->running) {
        // Another process drives it: offering it would race that process.
        LOG_INFO("CFirmhandDlg::OfferResume", "run %s is going on in another process",
                 run->id.c_str());
        return false;
    }
    // What Cancel does is said beside the question: the run stays, and is
    // offered again until another batch is started.
    m_messageDetail = QString::asprintf(LoadString(IDS_RESUME_RUN_DETAIL).c_str(), run->id.c_str(),
                                        static_cast<int>(run->cameras.size()), run->Upgraded(),
                                        run->Skipped(), run->Failed(), run->Open()) +
                      QStringLiteral("\n\n") + RolloutText(IDS_RESUME_CANCEL_MEANS);
    const bool resume = ShowMessage(IDS_RESUME_RUN, true);
    m_messageDetail.clear();
    if (!resume) {
        return false;
    }
    BatchRequest request;
    request.resumeRun = run->path;
    request.devices = m_session->ResumeDevices(*run);
    request.packages = run->packages;
    LOG_INFO("CFirmhandDlg::OfferResume", "resuming run %s", run->id.c_str());
    return StartRequest(request);
}
