// One run of the desktop program: the adapter choice, the options of the
// core session, the main window and the session behind it, and the orderly
// end. main() makes one after the QApplication; tests make one with a
// stand-in reachability so that nothing of the system is changed.
#pragma once

#include <QMetaObject>
#include <memory>
#include <optional>
#include <string>

#include "FirmhandOptions.h"
#include "session/SessionOptions.h"

class CFirmhandDlg;
class CFirmhandSession;

// The session's options for this run: `base` (reachability, timings, ...)
// with the command line's search targets and the chosen adapter.
SESSION_OPTIONS MakeSessionOptions(const FIRMHAND_OPTIONS& options, SESSION_OPTIONS base,
                                   const std::string& adapter);

class CFirmhandApp {
public:
    // `base` carries what the command line does not give: reachability
    // (null: cameras are taken at their listed addresses), timings.
    CFirmhandApp(FIRMHAND_OPTIONS options, SESSION_OPTIONS base);
    // Closes the window, which stops the session and joins its threads.
    virtual ~CFirmhandApp();
    CFirmhandApp(const CFirmhandApp&) = delete;
    CFirmhandApp& operator=(const CFirmhandApp&) = delete;

    // Asks for the adapter (unless --adapter gave it), makes the window,
    // then the session that posts to it, and starts the search. False when
    // the adapter dialog was cancelled: the program then ends without a
    // window.
    bool Start();

    CFirmhandDlg* Window() const { return m_window.get(); }

protected:
    // The adapter the technician chose, or none when the dialog was
    // cancelled.
    virtual std::optional<std::string> AskForAdapter();
    virtual std::unique_ptr<CFirmhandDlg> MakeWindow();

private:
    void WatchForAutoStart();

    FIRMHAND_OPTIONS m_options;
    SESSION_OPTIONS m_base;
    std::unique_ptr<CFirmhandDlg> m_window;
    QMetaObject::Connection m_autoStartConnection;
    bool m_autoStarted = false;
};

// The whole program after the QApplication exists; the exit status.
int RunFirmhand(const FIRMHAND_OPTIONS& options);
