// One run of the desktop program: the adapter choice, the main window with
// the device search, the upgrade engine and the reachability behind it, and
// the orderly end. main() makes one after the QApplication; tests make one
// with a stand-in reachability so that nothing of the system is changed.
#pragma once

#include <QMetaObject>
#include <memory>

#include "FirmhandOptions.h"

class CFirmhandDlg;
class CUpgradeEngine;
class IReachability;

class CFirmhandSession {
public:
    // `reachability` null: cameras are taken at their listed addresses.
    CFirmhandSession(FIRMHAND_OPTIONS options, std::shared_ptr<IReachability> reachability);
    // Shuts the window down (search stopped, jobs cancelled) and gives the
    // upgrade workers a short time to end.
    ~CFirmhandSession();
    CFirmhandSession(const CFirmhandSession&) = delete;
    CFirmhandSession& operator=(const CFirmhandSession&) = delete;

    // Asks for the adapter (unless --adapter gave it), makes the window and
    // starts the search. False when the adapter dialog was cancelled: the
    // program then ends without a window.
    bool Start();

    CFirmhandDlg* Window() const { return m_window.get(); }
    CUpgradeEngine* Engine() const { return m_engine.get(); }

    // How long the end waits for upgrade workers that are still running.
    static constexpr int kWorkerWaitMs = 3000;

private:
    bool ChooseAdapter();
    void WatchForAutoStart();

    FIRMHAND_OPTIONS m_options;
    std::shared_ptr<IReachability> m_reachability;
    std::unique_ptr<CFirmhandDlg> m_window;
    std::shared_ptr<CUpgradeEngine> m_engine;
    QMetaObject::Connection m_autoStartConnection;
    bool m_autoStarted = false;
};

// The whole program after the QApplication exists; the exit status.
int RunFirmhand(const FIRMHAND_OPTIONS& options);
