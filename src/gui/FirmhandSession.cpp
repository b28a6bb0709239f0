#include "FirmhandSession.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include "AdapterSource.h"
#include "EngineUpgradeController.h"
#include "FirmhandDlg.h"
#include "LoginDlg.h"
#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "discovery/LanProbeSearch.h"
#include "reach/Reachability.h"
#include "upgrade/UpgradeEngine.h"

FH_LOG_SOURCE("FirmhandSession");

CFirmhandSession::CFirmhandSession(FIRMHAND_OPTIONS options,
                                   std::shared_ptr<IReachability> reachability)
    : m_options(std::move(options)), m_reachability(std::move(reachability)) {}

CFirmhandSession::~CFirmhandSession() {
    QObject::disconnect(m_autoStartConnection);
    if (m_window) {
        m_window->Shutdown();
        m_window.reset();
    }
    // The jobs are cancelled; workers end at their next look. The program
    // does not wait for a worker that is stuck in a long wait.
    if (m_engine && !m_engine->WaitForWorkers(kWorkerWaitMs)) {
        LOG_WARN("CFirmhandSession::~CFirmhandSession", "%d upgrade workers still running",
                 m_engine->RunningWorkers());
    }
}

bool CFirmhandSession::ChooseAdapter() {
    if (m_options.adapter) {
        // Given for this run only; the remembered choice stays as it is.
        LANPROBE_SEARCH_SetNetworkAdapter(m_options.adapter->c_str());
        return true;
    }
    CLoginDlg dialog(SystemAdapterEnumerator(), [](const std::string& name) {
        LANPROBE_SEARCH_SetNetworkAdapter(name.c_str());
    });
    return dialog.exec() == QDialog::Accepted;
}

bool CFirmhandSession::Start() {
    if (m_options.searchTargets) {
        GetProgramIni().SetOverride(settings::kSearchTargets, *m_options.searchTargets);
    }
    if (!ChooseAdapter()) {
        LOG_INFO("CFirmhandSession::Start", "adapter selection cancelled");
        return false;
    }
    m_window = std::make_unique<CFirmhandDlg>();
    m_window->StartSearch();
    m_engine = std::make_shared<CUpgradeEngine>(m_window->MessageSink());
    m_engine->SetReachability(m_reachability);
    m_window->SetUpgradeController(std::make_shared<CEngineUpgradeController>(m_engine));
    m_window->SetReachability(m_reachability);
    if (!m_options.packagePath.empty()) {
        m_window->SelectUpgradeFile(QFile::decodeName(m_options.packagePath.c_str()));
    }
    if (m_options.autoStartCount > 0) {
        WatchForAutoStart();
    }
    return true;
}

void CFirmhandSession::WatchForAutoStart() {
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
            LOG_INFO("CFirmhandSession::WatchForAutoStart", "%d cameras listed, upgrading", count);
            window->OnSelectAll();
            window->OnBnClickedButtonUpdate();
        },
        Qt::QueuedConnection);
}

int RunFirmhand(const FIRMHAND_OPTIONS& options) {
    CFirmhandSession session(options, std::make_shared<CReachability>());
    if (!session.Start()) {
        return 0;
    }
    session.Window()->show();
    return QApplication::exec();
}
