// The size of the terminal that shows the live progress, and whether it
// changed (SIGWINCH) since the view last asked.
#pragma once

#include <optional>

struct TerminalSize {
    int columns = 80;
    int rows = 24;
};

// The size of the terminal on standard output; nothing when it is no terminal.
std::optional<TerminalSize> StdoutTerminalSize();
// The size of the terminal on standard error (where the human output goes
// while standard output carries JSON events).
std::optional<TerminalSize> StderrTerminalSize();

// Counts SIGWINCH while it lives; one watch at a time.
class CResizeWatch {
public:
    CResizeWatch();
    ~CResizeWatch();
    CResizeWatch(const CResizeWatch&) = delete;
    CResizeWatch& operator=(const CResizeWatch&) = delete;

    // True when the terminal was resized since the last call.
    bool TakeResized();
    // True when a resize waits to be taken, without taking it.
    bool Pending() const;
};
