#include "FirmhandApp.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include "AdapterSource.h"
#include "ExitStops.h"
#include "FirmhandDlg.h"
#include "LoginDlg.h"
#include "WindowState.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "session/FirmhandSession.h"
#include "session/SessionInventory.h"
#include "session/SessionNetwork.h"

namespace {

// From the window's first showing to the offer to resume a run.
constexpr int kResumeOfferDelayMs = 2000;

}  // namespace

FH_LOG_SOURCE("FirmhandApp");

SESSION_OPTIONS MakeSessionOptions(const FIRMHAND_OPTIONS& options, SESSION_OPTIONS base,
                                   const std::string& adapter) {
    base.adapter = adapter;
    if (options.searchTargets) {
        // The option stands in for the setting, as its help text says.
        base.settingOverrides[settings::kSearchTargets] = *options.searchTargets;
    }
    return base;
}

CFirmhandApp::CFirmhandApp(FIRMHAND_OPTIONS options, SESSION_OPTIONS base)
    : m_options(std::move(options)), m_base(std::move(base)) {}

CFirmhandApp::~CFirmhandApp() {
    QObject::disconnect(m_autoStartConnection);
    // The window stops its session: every thread of the run is joined
    // before the logger and the settings go with the program.
    m_window.reset();
}

std::optional<std::string> CFirmhandApp::AskForAdapter() {
    CLoginDlg dialog(SystemAdapterEnumerator());
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.ChosenAdapter();
}

std::unique_ptr<CFirmhandDlg> CFirmhandApp::MakeWindow() {
    return std::make_unique<CFirmhandDlg>();
}

bool CFirmhandApp::Start() {
    // The language chosen in the window wins over the desktop's, from the
    // adapter question on.
    if (const std::optional<UiLanguage> language = window_state::LoadLanguage()) {
        SetCurrentLanguage(*language);
    }
    // --adapter is for this run only; the remembered choice stays as it is.
    const std::optional<std::string> adapter =
        m_options.adapter ? m_options.adapter : AskForAdapter();
    if (!adapter) {
        LOG_INFO("CFirmhandApp::Start", "adapter selection cancelled");
        return false;
    }
    m_window = MakeWindow();
    // The session posts to the window, and the window owns and stops it.
    SESSION_OPTIONS sessionOptions = MakeSessionOptions(m_options, m_base, *adapter);
    // The Site field names the site the run records under ("" the adapter's subnet).
    sessionOptions.inventorySite = m_window->ReportFields().site;
    m_window->SetSession(
        std::make_unique<CFirmhandSession>(std::move(sessionOptions), m_window->EventSink()));
    if (!m_window->Session()->Start()) {
        // The window stays: the technician sees an empty list and the log.
        LOG_ERROR("CFirmhandApp::Start", "session not started");
    }
    if (!m_options.packagePath.empty()) {
        m_window->SelectUpgradeFile(QFile::decodeName(m_options.packagePath.c_str()));
    }
    if (m_options.autoStartCount > 0) {
        WatchForAutoStart();
    }
    return true;
}

void CFirmhandApp::WatchForAutoStart() {
    // Once the list holds the expected cameras: Select All, then Upgrade,
    // through the buttons' own handlers. Queued, so that the list has
    // finished inserting the row first.
    CFirmhandDlg* window = m_window.get();
    const int count = m_options.autoStartCount;
    m_autoStartConnection = QObject::connect(
        &window->DeviceList(), &QAbstractItemModel::rowsInserted, window,
        [this, window, count] {
            if (m_autoStarted || window->DeviceList().RowCount() < count) {
                return;
            }
            m_autoStarted = true;
            QObject::disconnect(m_autoStartConnection);
            LOG_INFO("CFirmhandApp::WatchForAutoStart", "%d cameras listed, upgrading", count);
            window->List().OnSelectAll();
            window->UpgradeCheckedWithoutAsking();
        },
        Qt::QueuedConnection);
}

int RunFirmhand(const FIRMHAND_OPTIONS& options) {
    SESSION_OPTIONS base;
    base.reachability = MakeReachability();
    // The site inventory, where the command line keeps it too.
    base.inventoryPath = DefaultInventoryPath();
    CFirmhandApp app(options, std::move(base));
    if (!app.Start()) {
        return 0;
    }
    // When Qt ends the process on its own (a lost display), the run's
    // threads are cancelled and joined before the statics they use go.
    CFirmhandDlg* window = app.Window();
    const CExitStop sessionStop = RegisterExitStop([window] {
        if (CFirmhandSession* session = window->Session()) {
            session->Stop();
        }
    });
    window->show();
    // An unfinished run is offered once the first search has had a moment
    // to list its cameras.
    QTimer::singleShot(kResumeOfferDelayMs, window, [window] { window->OfferResume(); });
    return QApplication::exec();
}
