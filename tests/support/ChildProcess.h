// Programs that a test starts (the window, the CLI, the simulator, an X
// server) and their ends.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct CHILD_OPTIONS {
    std::string program;
    std::vector<std::string> args;
    // "NAME=value" entries over this process's environment.
    std::vector<std::string> env;
    std::string cwd;      // "": this process's
    std::string inPath;   // standard input, "": /dev/null
    std::string outPath;  // standard output, "": /dev/null
    std::string errPath;  // standard error, "": /dev/null
    // When set, the child's descriptor 3 writes to this file (Xvfb's
    // -displayfd).
    std::string fd3Path;
};

struct CHILD_EXIT {
    bool signalled = false;
    int code = 0;  // the exit status, or the signal's number
};

// One started program. It dies with the thread that started it, and the
// destructor kills and reaps it if it still runs, so a failing test leaves
// nothing behind.
class CChildProcess {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    bool Start(const CHILD_OPTIONS& options, std::string& error);
    int Pid() const { return m_pid; }
    bool Running();
    bool Interrupt();  // SIGINT
    bool Terminate();  // SIGTERM
    bool Kill();       // SIGKILL: no handler runs, nothing is cleaned up
    // Waits up to `timeout` for the end; empty while the program still runs.
    std::optional<CHILD_EXIT> Wait(std::chrono::milliseconds timeout);

private:
    bool Reap(bool block);

    int m_pid = -1;
    std::optional<CHILD_EXIT> m_exit;
};

int CurrentProcessId();

// The executable `name` in a folder of PATH, or "".
std::string FindOnPath(const std::string& name);
