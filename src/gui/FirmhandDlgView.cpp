// The main window's desktop side: menus and shortcuts, the status bar, the
// log pane's dock, export, the remembered view and the end-of-batch summary.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTimer>

#include "BatchEvents.h"
#include "DesktopNotifier.h"
#include "DeviceFilter.h"
#include "FirmhandDlg.h"

#include "LogPane.h"
#include "WindowState.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"
#include "session/SessionFiles.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

QString ViewText(int id) {
    return QString::fromStdString(LoadString(id));
}

}  // namespace

QAction* CFirmhandDlg::Texted(QAction* action, int stringId) {
    action->setText(ViewText(stringId));
    m_actionTexts.emplace_back(action, stringId);
    return action;
}

void CFirmhandDlg::BuildMenus() {
    QMenu* file = menuBar()->addMenu(ViewText(IDS_MENU_FILE));
    Texted(file->menuAction(), IDS_MENU_FILE);
    QAction* exportList = Texted(file->addAction(QString()), IDS_EXPORT_LIST);
    exportList->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(exportList, &QAction::triggered, this, [this] {
        const QString path = ChooseExportFile(ViewText(IDS_EXPORT_LIST), IDS_EXPORT_FILTER);
        if (!path.isEmpty() && !ExportList(path)) {
            ShowMessage(IDS_EXPORT_FAILED, false);
        }
    });
    m_exportResults = Texted(file->addAction(QString()), IDS_EXPORT_RESULTS);
    m_exportResults->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    m_exportResults->setEnabled(false);  // until a batch ran
    connect(m_exportResults, &QAction::triggered, this, [this] {
        const QString path =
            ChooseExportFile(ViewText(IDS_EXPORT_RESULTS), IDS_EXPORT_RESULTS_FILTER);
        if (!path.isEmpty() && !ExportResults(path)) {
            ShowMessage(IDS_EXPORT_FAILED, false);
        }
    });
    AddReportFieldsAction(file);
    file->addSeparator();
    QAction* quit = Texted(file->addAction(QString()), IDS_MENU_QUIT);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    BuildViewMenu();

    // About: Linux windows have no system menu, so it sits in the menu bar.
    if (!ViewText(IDS_ABOUT).isEmpty()) {
        QAction* action = Texted(menuBar()->addAction(QString()), IDS_ABOUT);
        connect(action, &QAction::triggered, this, &CFirmhandDlg::ShowAbout);
    }
}

void CFirmhandDlg::BuildViewMenu() {
    QMenu* view = menuBar()->addMenu(ViewText(IDS_MENU_VIEW));
    Texted(view->menuAction(), IDS_MENU_VIEW);
    QAction* find = Texted(view->addAction(QString()), IDS_FILTER_NAME);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, [this] {
        m_list->FilterEdit()->setFocus(Qt::ShortcutFocusReason);
        m_list->FilterEdit()->selectAll();
    });
    QAction* search = Texted(view->addAction(QString()), IDS_SEARCH_NOW);
    search->setShortcut(QKeySequence(Qt::Key_F5));
    connect(search, &QAction::triggered, this, &CFirmhandDlg::OnSearchNow);
    QAction* failed = Texted(view->addAction(QString()), IDS_SHOW_ONLY_FAILED);
    failed->setCheckable(true);
    connect(failed, &QAction::toggled, m_list->OnlyFailedBox(), &QCheckBox::setChecked);
    connect(m_list->OnlyFailedBox(), &QCheckBox::toggled, failed, &QAction::setChecked);
    view->addSeparator();
    QAction* log = m_logPane->toggleViewAction();
    log->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    view->addAction(log);
    // The program's own lines are for whoever debugs it, not for the
    // technician's day.
    m_developerLog = Texted(view->addAction(QString()), IDS_MENU_DEVELOPER_LOG);
    m_developerLog->setCheckable(true);
    connect(m_developerLog, &QAction::toggled, m_logPane, &CLogPane::SetDeveloperLinesShown);
    AddInventoryActions(view);
    view->addSeparator();
    BuildLanguageMenu(view);
}

void CFirmhandDlg::BuildStatusBar() {
    m_statusCounts = new QLabel(this);
    m_statusCounts->setObjectName(QStringLiteral("statusCounts"));
    m_statusTime = new QLabel(this);
    m_statusTime->setObjectName(QStringLiteral("statusTime"));
    SizeStatusLabels();
    m_statusTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar()->addWidget(m_statusCounts);
    statusBar()->addPermanentWidget(m_statusTime);
    WatchStatusCounts();
}

void CFirmhandDlg::SizeStatusLabels() {
    // Fixed sizes, wide enough for the longest texts: a label whose size is
    // fixed changes its text without laying the whole window out again
    // (which costs the window thread tens of milliseconds a second).
    const QFontMetrics metrics = fontMetrics();
    const QString many = QStringLiteral("99999");
    const QString longCounts =
        ViewText(IDS_STATUS_COUNTS).arg(many, many, many, many, many, many, many);
    const QString longTime = std::max(
        ViewText(IDS_BATCH_SUMMARY).arg(many, many, many, QStringLiteral("99:59:59")),
        ViewText(IDS_STATUS_TIME).arg(QStringLiteral("99:59:59"), QStringLiteral("99:59:59")),
        [&metrics](const QString& a, const QString& b) {
            return metrics.horizontalAdvance(a) < metrics.horizontalAdvance(b);
        });
    m_statusCounts->setFixedSize(metrics.horizontalAdvance(longCounts) + 16, metrics.height() + 4);
    m_statusTime->setFixedSize(metrics.horizontalAdvance(longTime) + 16, metrics.height() + 4);
}

void CFirmhandDlg::WatchStatusCounts() {
    // The counts follow the list, at most ten times a second; the elapsed
    // time ticks while a batch runs.
    auto* coalesce = new QTimer(this);
    coalesce->setSingleShot(true);
    coalesce->setInterval(100);
    connect(coalesce, &QTimer::timeout, this, [this] { UpdateStatusBar(); });
    auto later = [coalesce] {
        if (!coalesce->isActive()) {
            coalesce->start();
        }
    };
    CDeviceListModel* model = &DeviceList();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(model, signal, this, later);
    }
    connect(model, &QAbstractItemModel::dataChanged, this, later);
    connect(model, &QAbstractItemModel::modelReset, this, later);
    m_statusTimer = new QTimer(this);
    m_statusTimer->setInterval(1000);
    connect(m_statusTimer, &QTimer::timeout, this, [this] {
        UpdateStatusBar();
        m_list->RefreshInstallingRows();
    });
    UpdateStatusBar();
}

QString CFirmhandDlg::StatusCountsText() const {
    const LIST_COUNTS counts = DeviceList().Counts();
    return ViewText(IDS_STATUS_COUNTS)
        .arg(counts.found)
        .arg(counts.checked)
        .arg(counts.Of(RowPhase::Queued))
        .arg(counts.Active())
        .arg(counts.Of(RowPhase::Upgraded))
        .arg(counts.Of(RowPhase::Failed))
        .arg(counts.Of(RowPhase::Skipped));
}

QString CFirmhandDlg::StatusTimeText() const {
    if (!m_upgrading) {
        return m_summary;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_batchStart).count();
    // Only cameras whose upgrade ran to its end tell how long one takes: a
    // camera skipped or cancelled ends in a moment and would make the rest
    // look quick. Until one has finished there is no estimate.
    const LIST_COUNTS counts = DeviceList().Counts();
    const int finished = counts.Of(RowPhase::Upgraded) + counts.Of(RowPhase::Failed);
    const int total = static_cast<int>(m_outcomes.Outcomes().size()) -
                      counts.Of(RowPhase::Skipped) - counts.Of(RowPhase::Cancelled);
    // Cameras a batch runs side by side: the estimate's lanes.
    const int inFlight =
        m_session ? m_session->Settings().GetInt(settings::kMaxParallelUpgrades) : 32;
    const int parallel = std::min(total, std::clamp(inFlight, 1, 64));
    const double left = EstimateSecondsLeft(elapsed, finished, total, parallel);
    const QString elapsedText = QString::fromStdString(DurationText(elapsed));
    if (left < 0) {
        return ViewText(IDS_STATUS_ELAPSED).arg(elapsedText);
    }
    return ViewText(IDS_STATUS_TIME).arg(elapsedText, QString::fromStdString(DurationText(left)));
}

void CFirmhandDlg::UpdateStatusBar() {
    if (m_statusCounts == nullptr) {
        return;
    }
    const QString counts = StatusCountsText();
    if (m_statusCounts->text() != counts) {
        m_statusCounts->setText(counts);
    }
    const QString time = StatusTimeText();
    if (m_statusTime->text() != time) {
        m_statusTime->setText(time);
    }
}

void CFirmhandDlg::BuildLogPane() {
    m_logPane = new CLogPane(this);
    m_logPane->View()->setObjectName(QStringLiteral("ctl%1").arg(IDC_LOG_VIEW));
    m_controls[IDC_LOG_VIEW] = m_logPane->View();
    addDockWidget(Qt::BottomDockWidgetArea, m_logPane);
    m_events = std::make_unique<CBatchEvents>(*m_logPane, DeviceList());
    resizeDocks({m_logPane}, {fontMetrics().height() * 7}, Qt::Vertical);
}

void CFirmhandDlg::OnSearchNow() {
    if (m_session) {
        m_session->SearchNow();
    }
}

QString CFirmhandDlg::ChooseExportFile(const QString& caption, int filterId) {
    const QString filter = ViewText(filterId);
    QString selected;
    const QString path = QFileDialog::getSaveFileName(this, caption, QString(), filter, &selected);
    // A name with an extension the dialog offers stays; else the kind of
    // file chosen in the dialog's list names it.
    for (const QString& extension :
         {QStringLiteral(".csv"), QStringLiteral(".json"), QStringLiteral(".html")}) {
        if (path.isEmpty() || (filter.contains(QLatin1Char('*') + extension) &&
                               path.endsWith(extension, Qt::CaseInsensitive))) {
            return path;
        }
    }
    for (const QString& extension : {QStringLiteral(".csv"), QStringLiteral(".html")}) {
        if (selected.contains(QLatin1Char('*') + extension)) {
            return path + extension;
        }
    }
    return path + QStringLiteral(".json");
}

bool CFirmhandDlg::ExportList(const QString& path) {
    std::vector<DEVICE_S_INFO> devices;
    for (int row : Filter().VisibleRows()) {
        if (DeviceList().IsNotFound(row)) {
            continue;  // the list as the search found it, as `scan` prints it
        }
        devices.push_back(*DeviceList().Record(row));
    }
    const bool csv = path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
    const bool ok =
        WriteTextFile(QFile::encodeName(path).toStdString(), DeviceListText(devices, csv));
    LOG_INFO("CFirmhandDlg::ExportList", "%d cameras to %s: %s", static_cast<int>(devices.size()),
             QFile::encodeName(path).constData(), ok ? "written" : "failed");
    return ok;
}

bool CFirmhandDlg::ExportResults(const QString& path) {
    if (m_outcomes.Empty()) {
        ShowMessage(IDS_NO_RESULTS, false);
        return true;
    }
    const std::string file = QFile::encodeName(path).toStdString();
    const bool ok = WriteTextFile(
        file,
        BatchReportText(
            m_outcomes.Outcomes(), file, m_session ? m_session->RunJournalPath() : std::string(),
            ReportHeader{InventorySite(), m_reportFields.customer, m_reportFields.technician, {}}));
    LOG_INFO("CFirmhandDlg::ExportResults", "results to %s: %s",
             QFile::encodeName(path).constData(), ok ? "written" : "failed");
    return ok;
}

void CFirmhandDlg::CopyText(const QString& text) {
    QApplication::clipboard()->setText(text);
}

void CFirmhandDlg::NotifyDesktop(const QString& title, const QString& body) {
    SendDesktopNotification(title, body);
}

void CFirmhandDlg::ShowBatchSummary() {
    const LIST_COUNTS counts = DeviceList().Counts();
    m_summaryFigures = {
        counts.Of(RowPhase::Upgraded), counts.Of(RowPhase::Failed), counts.Of(RowPhase::Skipped),
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_batchStart).count()};
    m_summary = BatchSummaryText();
    m_statusTimer->stop();
    UpdateStatusBar();
    m_events->BatchEnded(m_summary);
    if (!isActiveWindow()) {
        NotifyDesktop(ViewText(IDS_NOTIFY_TITLE), m_summary);
    }
}

QString CFirmhandDlg::BatchSummaryText() const {
    return ViewText(IDS_BATCH_SUMMARY)
        .arg(m_summaryFigures.upgraded)
        .arg(m_summaryFigures.failed)
        .arg(m_summaryFigures.skipped)
        .arg(QString::fromStdString(DurationText(m_summaryFigures.seconds)));
}

void CFirmhandDlg::RestoreWindowState() {
    const window_state::SAVED_VIEW view = window_state::Load(COL_COUNT);
    if (!view.geometry.isEmpty()) {
        restoreGeometry(view.geometry);
    }
    if (!view.docks.isEmpty()) {
        restoreState(view.docks);
    }
    m_list->RestoreView(view);
    // Folded and without developer lines unless the technician chose them.
    m_rolloutPanel->SetOpen(view.rolloutOpen.value_or(false));
    m_developerLog->setChecked(view.developerLog.value_or(false));
}

void CFirmhandDlg::SaveWindowState() {
    window_state::SAVED_VIEW view;
    view.geometry = saveGeometry();
    view.docks = saveState();
    m_list->SaveView(view);
    view.rolloutOpen = m_rolloutPanel->IsOpen();
    view.developerLog = m_developerLog->isChecked();
    if (!window_state::Save(view)) {
        LOG_WARN("CFirmhandDlg::SaveWindowState", "window state not saved");
    }
}
