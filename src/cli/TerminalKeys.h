// Single keys typed on the command's terminal while an upgrade runs ("p"
// pauses it or lets it go on): standard input without line editing or
// echo, read without waiting. Nothing is read when standard input is not a
// terminal, or when the command runs in the background.
#pragma once

#include <optional>

class CTerminalKeys {
public:
    // Switches the terminal to single keys when standard input is one.
    CTerminalKeys();
    // Puts the terminal back as it was.
    ~CTerminalKeys();
    CTerminalKeys(const CTerminalKeys&) = delete;
    CTerminalKeys& operator=(const CTerminalKeys&) = delete;

    // Keys are read.
    bool Active() const { return m_active; }
    // The next key typed, without waiting; empty when none (or not active).
    std::optional<char> Next();

private:
    bool m_active = false;
};

// Puts the terminal back as the active CTerminalKeys found it; safe in a
// signal handler, harmless without one.
void RestoreTerminalKeys();
