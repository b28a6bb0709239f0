#include "TerminalSize.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<int> g_resizes{0};
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction g_oldResize {};

void OnResize(int) {
    g_resizes.fetch_add(1);
}

std::optional<TerminalSize> SizeOf(int fd) {
    winsize size{};
    if (isatty(fd) == 0 || ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return std::nullopt;
    }
    TerminalSize result;
    // A terminal that reports 0 (a serial line, some emulators) keeps 80 x 24.
    if (size.ws_col > 0) {
        result.columns = size.ws_col;
    }
    if (size.ws_row > 0) {
        result.rows = size.ws_row;
    }
    return result;
}

}  // namespace

std::optional<TerminalSize> StdoutTerminalSize() {
    return SizeOf(STDOUT_FILENO);
}

std::optional<TerminalSize> StderrTerminalSize() {
    return SizeOf(STDERR_FILENO);
}

CResizeWatch::CResizeWatch() {
    g_resizes.store(0);
    struct sigaction action {};
    action.sa_handler = OnResize;
    sigemptyset(&action.sa_mask);
    // SA_RESTART: a resize must not break a read or a wait of the run.
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, &g_oldResize);
}

CResizeWatch::~CResizeWatch() {
    sigaction(SIGWINCH, &g_oldResize, nullptr);
}

bool CResizeWatch::TakeResized() {
    return g_resizes.exchange(0) > 0;
}

bool CResizeWatch::Pending() const {
    return g_resizes.load() > 0;
}
