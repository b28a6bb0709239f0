#include "QtExitGuard.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "ExitStops.h"
#include "app/Logger.h"

FH_LOG_SOURCE("QtExitGuard");

namespace {

// The start of the warnings after which Qt's xcb plugin calls exit(): from
// its event processing ("The X11 connection broke (error N). Did the X11
// server die?") and from its Xlib I/O error handler.
constexpr char kXConnectionBroke[] = "The X11 connection broke";

std::atomic<QtMessageHandler> g_previous{nullptr};

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String(kXConnectionBroke))) {
        LOG_WARN("OnQtMessage", "the X connection broke; stopping our threads before Qt exits");
        RunExitStops();
    }
    const QtMessageHandler previous = g_previous.load();
    if (previous != nullptr) {
        previous(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}

void RunExitStopsAtExit() {
    RunExitStops();
}

}  // namespace

void InstallQtExitGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_previous = qInstallMessageHandler(OnQtMessage);
        std::atexit(RunExitStopsAtExit);
    });
}
