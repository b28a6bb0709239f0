// The main window's construction, layout, message dispatch, about box and
// shutdown. The wiring of the list is in FirmhandDlgList.cpp, the batch in
// FirmhandDlgBatch.cpp, the rollout options' dialogs and resume in
// FirmhandDlgRollout.cpp, menus and status bar in FirmhandDlgView.cpp.
#include "FirmhandDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "AboutDlg.h"
#include "BatchEvents.h"
#include "GuiResources.h"
#include "LogPane.h"
#include "MessageBoxTexts.h"
#include "PictureEx.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/Startup.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

QString DlgText(int id) {
    return QString::fromStdString(LoadString(id));
}

// Width the result column gets beside the others when the window opens.
constexpr int kResultColumnRoom = 300;

}  // namespace

CFirmhandDlg::CFirmhandDlg(QWidget* parent)
    : QMainWindow(parent), m_eventAdapter(std::make_unique<CSessionEventAdapter>()) {
    InitGuiResources();
    m_icon = QIcon(QStringLiteral(":/ICON/128"));
    setWindowIcon(m_icon);

    setWindowTitle(QString::fromStdString(MainWindowTitle()));

    BuildControls();
    BuildLogPane();
    BuildMenus();
    BuildStatusBar();
    LoadTexts();
    RestoreWindowState();

    m_userEdit->setText(QString::fromStdString(settings::GetString(settings::kUsername)));
    m_passwordEdit->setText(QString::fromStdString(settings::GetString(settings::kPassword)));

    // The busy animation plays from the start, hidden until a batch runs.
    if (m_busyPicture->Load(QStringLiteral("130"), QStringLiteral("GIF"))) {
        m_busyPicture->Draw();
    }
    m_busyPicture->hide();
    m_busyText->hide();

    m_auto = new CAutoUpgradeTest(*this, m_list->Model(), this);
    WireList();
    WireSessionEvents();

    // Left clicks anywhere in the window are swallowed while a batch runs.
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
    }
}

CFirmhandDlg::~CFirmhandDlg() {
    Shutdown();
    // Later posts fail; queued events go with it.
    m_eventAdapter.reset();
}

void CFirmhandDlg::BuildControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    m_list = new CDeviceListController(central, this);
    m_controls.insert(m_list->Controls().begin(), m_list->Controls().end());

    // The list's buttons, with the busy indicator at their end.
    auto* buttonRow = new QHBoxLayout;
    for (int id : {IDC_SELECT_ALL, IDC_CLEAR_ALL, IDC_CHECK_SAME_TYPE, IDC_GET_AI_VERSION,
                   IDC_SHOW_AI, IDC_SHOW_SLAVE_IP}) {
        buttonRow->addWidget(m_controls[id]);
    }
    buttonRow->addWidget(BuildAddNotFoundButton(central));
    buttonRow->addStretch(1);
    buttonRow->addWidget(BuildBusyIndicator(central));

    // Find and choose: the filter and "Show only failed" above the list.
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(m_list->FilterEdit(), 1);
    filterRow->addSpacing(12);
    filterRow->addWidget(m_list->OnlyFailedBox());

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(filterRow);
    layout->addWidget(m_list->View(), 1);
    layout->addLayout(buttonRow);
    layout->addWidget(BuildBatchGroup(central));
    resize(DefaultWindowSize(QGuiApplication::primaryScreen() != nullptr
                                 ? QGuiApplication::primaryScreen()->availableSize()
                                 : QSize()));
}

QSize CFirmhandDlg::DefaultWindowSize(const QSize& available) const {
    // Room for every shown column with a readable result, and for the list
    // to show a day's cameras: most of the screen's height.
    int columns = 0;
    for (int column = 0; column < COL_RESULT; ++column) {
        columns += m_list->ColumnWidth(column);
    }
    QSize size(columns + kResultColumnRoom + 60, fontMetrics().height() * 60);
    if (available.isValid()) {
        size = size.boundedTo(available * 97 / 100);
    }
    return size;
}

QWidget* CFirmhandDlg::BuildBusyIndicator(QWidget* central) {
    m_busyPicture = new CPictureEx(central);
    m_busyPicture->setObjectName(QStringLiteral("ctl%1").arg(IDC_BUSY_PICTURE));
    m_controls[IDC_BUSY_PICTURE] = m_busyPicture;
    m_busyText = new QLabel(central);
    m_busyText->setObjectName(QStringLiteral("ctl%1").arg(IDC_BUSY_TEXT));
    m_controls[IDC_BUSY_TEXT] = m_busyText;
    // Their place is kept while they are hidden, and they sit in a box of
    // fixed size: showing them at a batch's start and hiding them at its end
    // lays out that box alone. A widget whose size can change passes every
    // layout of its children on to its parent, up to the whole window.
    for (QWidget* busy :
         {static_cast<QWidget*>(m_busyPicture), static_cast<QWidget*>(m_busyText)}) {
        QSizePolicy policy = busy->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        busy->setSizePolicy(policy);
    }
    auto* busyBox = new QWidget(central);
    auto* busyBoxRow = new QHBoxLayout(busyBox);
    busyBoxRow->setContentsMargins(0, 0, 0, 0);
    busyBoxRow->addWidget(m_busyPicture);
    busyBoxRow->addSpacing(8);
    busyBoxRow->addWidget(m_busyText);
    // The box follows its texts (a language change) but never its
    // children's visibility.
    busyBoxRow->setSizeConstraint(QLayout::SetFixedSize);
    return busyBox;
}

QWidget* CFirmhandDlg::BuildBatchGroup(QWidget* central) {
    auto* group = new QGroupBox(central);
    group->setObjectName(QStringLiteral("ctl%1").arg(IDC_BATCH_GROUP));
    m_controls[IDC_BATCH_GROUP] = group;
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(BuildCredentialsRow(group));
    groupLayout->addSpacing(4);
    groupLayout->addLayout(BuildPackageRow(group));
    // The rollout's options fold away, so that the list keeps its rows.
    m_rolloutPanel = new CRolloutPanel(group);
    m_controls.insert(m_rolloutPanel->Controls().begin(), m_rolloutPanel->Controls().end());
    connect(m_rolloutPanel, &CRolloutPanel::AddModelPackageClicked, this,
            &CFirmhandDlg::OnAddModelPackage);
    connect(m_rolloutPanel, &CRolloutPanel::BrowseCredentialsClicked, this,
            &CFirmhandDlg::OnBrowseCredentials);
    connect(m_rolloutPanel, &CRolloutPanel::RetryFailedClicked, this, &CFirmhandDlg::OnRetryFailed);
    groupLayout->addWidget(m_rolloutPanel);
    QPushButton* upgrade = new QPushButton(group);
    upgrade->setObjectName(QStringLiteral("ctl%1").arg(IDC_UPGRADE));
    m_controls[IDC_UPGRADE] = upgrade;
    upgrade->setMinimumWidth(150);
    upgrade->setMinimumHeight(fontMetrics().height() * 2);
    connect(upgrade, &QPushButton::clicked, this, &CFirmhandDlg::OnBnClickedButtonUpdate);
    // Beside Upgrade: pauses the running batch or lets it go on.
    QPushButton* pause = new QPushButton(group);
    pause->setObjectName(QStringLiteral("ctl%1").arg(IDC_PAUSE));
    m_controls[IDC_PAUSE] = pause;
    pause->setMinimumHeight(upgrade->minimumHeight());
    pause->setEnabled(false);
    connect(pause, &QPushButton::clicked, this, &CFirmhandDlg::OnPauseClicked);
    // The keyboard goes from the upgrade file through the rollout controls
    // to Upgrade (a folded control is passed over).
    QWidget* previous = m_controls[IDC_BROWSE];
    for (int id : {IDC_ROLLOUT_PANEL, IDC_PACKAGE_LIST, IDC_ADD_MODEL_PACKAGE, IDC_REMOVE_PACKAGE,
                   IDC_CREDENTIALS_PATH, IDC_CREDENTIALS_BROWSE, IDC_FORCE, IDC_CANARY,
                   IDC_MAX_FAILURES, IDC_RETRY_FAILED, IDC_UPGRADE, IDC_PAUSE}) {
        QWidget* next = id == IDC_ROLLOUT_PANEL ? m_rolloutPanel->Toggle() : m_controls[id];
        QWidget::setTabOrder(previous, next);
        previous = next;
    }
    auto* start = new QHBoxLayout;
    start->addStretch(1);
    start->addWidget(upgrade);
    start->addWidget(pause);
    start->addStretch(1);
    groupLayout->addSpacing(4);
    groupLayout->addLayout(start);
    return group;
}

QLayout* CFirmhandDlg::BuildCredentialsRow(QGroupBox* group) {
    auto* userLabel = new QLabel(group);
    auto* passwordLabel = new QLabel(group);
    userLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    passwordLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_controls[IDC_USERNAME_LABEL] = userLabel;
    m_controls[IDC_PASSWORD_LABEL] = passwordLabel;
    m_userEdit = new QLineEdit(group);
    m_passwordEdit = new QLineEdit(group);
    // Masked: the camera password is not for everyone near the screen.
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    // A check box rather than an icon in the edit: it takes the focus, so
    // the keyboard reaches it too.
    m_showPassword = new QCheckBox(group);
    m_showPassword->setObjectName(QStringLiteral("ctl%1").arg(IDC_SHOW_PASSWORD));
    m_controls[IDC_SHOW_PASSWORD] = m_showPassword;
    connect(m_showPassword, &QCheckBox::toggled, this, [this](bool shown) {
        m_passwordEdit->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    m_rememberInFile = new QCheckBox(group);
    m_rememberInFile->setObjectName(QStringLiteral("ctl%1").arg(IDC_REMEMBER_IN_FILE));
    m_controls[IDC_REMEMBER_IN_FILE] = m_rememberInFile;
    m_userEdit->setMaxLength(kCredentialMaxLength);
    m_passwordEdit->setMaxLength(kCredentialMaxLength);
    m_userEdit->setMinimumWidth(150);
    m_passwordEdit->setMinimumWidth(150);
    m_controls[IDC_USERNAME] = m_userEdit;
    m_controls[IDC_PASSWORD] = m_passwordEdit;
    for (int id : {IDC_USERNAME_LABEL, IDC_PASSWORD_LABEL, IDC_USERNAME, IDC_PASSWORD}) {
        m_controls[id]->setObjectName(QStringLiteral("ctl%1").arg(id));
    }
    auto* credentials = new QHBoxLayout;
    credentials->addWidget(userLabel);
    credentials->addWidget(m_userEdit);
    credentials->addSpacing(12);
    credentials->addWidget(passwordLabel);
    credentials->addWidget(m_passwordEdit);
    credentials->addWidget(m_showPassword);
    credentials->addWidget(m_rememberInFile);
    credentials->addStretch(1);
    return credentials;
}

QLayout* CFirmhandDlg::BuildPackageRow(QGroupBox* group) {
    // The upgrade file is typed or browsed; a typed path is checked when
    // the batch starts.
    auto* label = new QLabel(group);
    label->setObjectName(QStringLiteral("ctl%1").arg(IDC_PACKAGE_LABEL));
    m_controls[IDC_PACKAGE_LABEL] = label;
    m_pathEdit = new QLineEdit(group);
    m_pathEdit->setObjectName(QStringLiteral("ctl%1").arg(IDC_PACKAGE_PATH));
    m_pathEdit->setClearButtonEnabled(true);
    m_controls[IDC_PACKAGE_PATH] = m_pathEdit;
    label->setBuddy(m_pathEdit);
    connect(m_pathEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_upgradeFile = text.trimmed(); });
    auto* browse = new QPushButton(group);
    browse->setObjectName(QStringLiteral("ctl%1").arg(IDC_BROWSE));
    m_controls[IDC_BROWSE] = browse;
    connect(browse, &QPushButton::clicked, this, &CFirmhandDlg::OnBrowse);
    auto* package = new QHBoxLayout;
    package->addWidget(label);
    package->addWidget(m_pathEdit, 1);
    package->addWidget(browse);
    return package;
}

void CFirmhandDlg::LoadTexts() {
    static const std::pair<int, int> kTexts[] = {
        {IDC_BATCH_GROUP, IDS_BATCH_UPGRADE},
        {IDC_USERNAME_LABEL, IDS_USERNAME},
        {IDC_PASSWORD_LABEL, IDS_PASSWORD},
        {IDC_BROWSE, IDS_BROWSE},
        {IDC_UPGRADE, IDS_UPGRADE},
        {IDC_BUSY_TEXT, IDS_UPGRADING_WAIT},
        {IDC_PACKAGE_LABEL, IDS_PACKAGE_FILE_LABEL},
        {IDC_ADD_NOT_FOUND, IDS_ADD_NOT_FOUND},
    };
    for (const auto& [control, id] : kTexts) {
        QWidget* widget = m_controls[control];
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->setText(DlgText(id));
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(DlgText(id));
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            group->setTitle(DlgText(id));
        }
    }
    m_list->LoadTexts();
    m_pathEdit->setPlaceholderText(DlgText(IDS_PACKAGE_PLACEHOLDER));
    m_showPassword->setText(DlgText(IDS_SHOW_PASSWORD));
    m_rememberInFile->setText(DlgText(IDS_REMEMBER_IN_FILE));
    m_rolloutPanel->LoadTexts();
    // The pause button and a paused batch's note follow the batch.
    static_cast<QPushButton*>(m_controls[IDC_PAUSE])
        ->setText(DlgText(m_paused ? IDS_GO_ON : IDS_PAUSE));
    if (m_paused) {
        statusBar()->showMessage(DlgText(IDS_PAUSED));
    }

    // Every control has a name for screen readers (and the tests).
    static const std::pair<int, int> kNames[] = {
        {IDC_USERNAME, IDS_USERNAME},
        {IDC_PASSWORD, IDS_PASSWORD},
        {IDC_PACKAGE_PATH, IDS_PACKAGE_FILE_NAME},
        {IDC_BUSY_PICTURE, IDS_BUSY_PICTURE_NAME},
        {IDC_BUSY_TEXT, IDS_UPGRADING_WAIT},
        {IDC_BATCH_GROUP, IDS_BATCH_UPGRADE},
        {IDC_USERNAME_LABEL, IDS_USERNAME},
        {IDC_PASSWORD_LABEL, IDS_PASSWORD},
        {IDC_SHOW_PASSWORD, IDS_SHOW_PASSWORD},
    };
    for (const auto& [control, id] : kNames) {
        m_controls[control]->setAccessibleName(DlgText(id));
    }
    for (auto& [id, widget] : m_controls) {
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->setAccessibleName(button->text());
        }
    }
    static_cast<QLabel*>(m_controls[IDC_USERNAME_LABEL])->setBuddy(m_userEdit);
    static_cast<QLabel*>(m_controls[IDC_PASSWORD_LABEL])->setBuddy(m_passwordEdit);
}

QWidget* CFirmhandDlg::Control(int id) const {
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

void CFirmhandDlg::SetSession(std::unique_ptr<CFirmhandSession> session) {
    m_session = std::move(session);
    m_auto->Configure(m_session ? &m_session->Settings() : nullptr);
}

void CFirmhandDlg::WireSessionEvents() {
    CSessionEventAdapter* events = m_eventAdapter.get();
    connect(events, &CSessionEventAdapter::DeviceFound, m_list,
            [this](const DeviceRecordPtr& record) { m_list->OnDeviceReported(record, true); });
    connect(events, &CSessionEventAdapter::DeviceChanged, m_list,
            [this](const DeviceRecordPtr& record) { m_list->OnDeviceReported(record, false); });
    connect(events, &CSessionEventAdapter::DeviceLost, m_list,
            &CDeviceListController::OnDeviceLost);
    connect(events, &CSessionEventAdapter::CameraProgress, this,
            [this](const std::string& mac, int progress) { OnUpgradeProgress(progress, mac); });
    connect(events, &CSessionEventAdapter::CameraState, this,
            [this](const std::string& mac, UpgradeProgress state) { OnUpgradeResult(state, mac); });
    connect(events, &CSessionEventAdapter::CameraResult, this,
            [this](const std::string& mac, UpgradeResult code) { OnUpgradeResult(code, mac); });
    connect(events, &CSessionEventAdapter::CameraStep, m_list, &CDeviceListController::ShowStep);
    connect(events, &CSessionEventAdapter::BatchPrepared, this, [this](const std::string& mac) {
        m_outcomes.Prepared(mac, std::chrono::system_clock::now());
    });
    connect(events, &CSessionEventAdapter::BatchPaused, this, &CFirmhandDlg::OnBatchPaused);
    connect(events, &CSessionEventAdapter::BatchEnded, this, [this] {
        OnBatchEnd();
        ShowPaused(false);
    });
    connect(events, &CSessionEventAdapter::AiVersionsRead, this, &CFirmhandDlg::OnAiVersionResult);
    connect(events, &CSessionEventAdapter::AiVersionsFailed, this,
            &CFirmhandDlg::OnAiVersionResult);
    connect(events, &CSessionEventAdapter::WebPageReady, this, &CFirmhandDlg::OpenWebPage);
    connect(events, &CSessionEventAdapter::ReachNotice, this, &CFirmhandDlg::ShowReachNotice);
    connect(events, &CSessionEventAdapter::InventoryNotice, this, &CFirmhandDlg::OnInventoryNotice);
}

void CFirmhandDlg::ShowReachNotice(const std::string& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, DlgText(IDS_APP_TITLE),
                                QString::fromStdString(text), QMessageBox::Ok, this);
    SetStandardButtonTexts(*box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool CFirmhandDlg::eventFilter(QObject* watched, QEvent* event) {
    if (m_upgrading) {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
            type == QEvent::MouseButtonDblClick) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            auto* widget = qobject_cast<QWidget*>(watched);
            // The menu bar stands for the title bar's menu and stays usable,
            // and scroll bars only move the view.
            if (mouse->button() == Qt::LeftButton && widget != nullptr &&
                widget->window() == this && qobject_cast<QMenuBar*>(widget) == nullptr &&
                qobject_cast<QScrollBar*>(widget) == nullptr) {
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool CFirmhandDlg::ShowMessage(int stringId, bool okCancel) {
    QMessageBox box(okCancel ? QMessageBox::Question : QMessageBox::Warning, DlgText(IDS_APP_TITLE),
                    DlgText(stringId),
                    okCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, this);
    SetStandardButtonTexts(box);
    box.setInformativeText(m_messageDetail);
    return box.exec() == QMessageBox::Ok;
}

void CFirmhandDlg::ShowAbout() {
    CAboutDlg about(DlgText(IDS_ABOUT_NAME), DlgText(IDS_ABOUT_VERSION), DlgText(IDS_ABOUT_DATE),
                    this);
    about.setWindowIcon(m_icon);
    about.exec();
}

bool CFirmhandDlg::ConfirmQuitDuringBatch() {
    QMessageBox box(QMessageBox::Warning, DlgText(IDS_APP_TITLE), DlgText(IDS_QUIT_DURING_BATCH),
                    QMessageBox::NoButton, this);
    QPushButton* quit = box.addButton(DlgText(IDS_CANCEL_AND_QUIT), QMessageBox::DestructiveRole);
    QPushButton* keep = box.addButton(DlgText(IDS_KEEP_RUNNING), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.exec();
    return box.clickedButton() == quit;
}

void CFirmhandDlg::closeEvent(QCloseEvent* event) {
    // Quitting mid-batch leaves an unfinished run: only when the person
    // says so.
    if (m_upgrading && !m_shutDown && !ConfirmQuitDuringBatch()) {
        event->ignore();
        return;
    }
    SaveWindowState();
    Shutdown();
    QMainWindow::closeEvent(event);
}

void CFirmhandDlg::Shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    // Events still queued, and those of the session's stop, change nothing.
    m_eventAdapter->Silence();
    m_auto->Stop();
    m_statusTimer->stop();
    m_logPane->Stop();
    m_busyPicture->Stop();
    if (m_session) {
        // Every waiting worker wakes now; Stop joins every thread of the
        // run, so nothing of it outlives the window.
        m_session->CancelAll();
        m_session->Stop();
    }
    // The rows' records go with the rows.
    m_list->Model().Clear();
    LOG_INFO("CFirmhandDlg::Shutdown", "main window closed");
}
