#include "TerminalKeys.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

namespace {

// The settings to put back, read by the signal handler: written before
// `g_saved` is set, and the flag is lock-free.
struct termios g_original {};
std::atomic<bool> g_saved{false};

}  // namespace

void RestoreTerminalKeys() {
    if (g_saved.exchange(false)) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_original);
    }
}

CTerminalKeys::CTerminalKeys() {
    if (!isatty(STDIN_FILENO)) {
        return;
    }
    // In the background of its own terminal a change of the terminal would
    // stop the process; a terminal that is not its own has no foreground.
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    if ((foreground != -1 && foreground != getpgrp()) ||
        tcgetattr(STDIN_FILENO, &g_original) != 0) {
        return;
    }
    struct termios keys = g_original;
    // Signals (Ctrl+C) stay as they are.
    keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 0;
    g_saved.store(true);
    m_active = tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
    if (!m_active) {
        g_saved.store(false);
    }
}

CTerminalKeys::~CTerminalKeys() {
    if (m_active) {
        RestoreTerminalKeys();
    }
}

std::optional<char> CTerminalKeys::Next() {
    if (!m_active) {
        return std::nullopt;
    }
    struct pollfd input {};
    input.fd = STDIN_FILENO;
    input.events = POLLIN;
    char key = 0;
    if (poll(&input, 1, 0) != 1 || read(STDIN_FILENO, &key, 1) != 1) {
        return std::nullopt;
    }
    return key;
}
