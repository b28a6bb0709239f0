// A program run as a child process, for what only a real process shows:
// stop signals and exit statuses.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// How a child ended.
struct ChildExit {
    bool exited = false;  // false: ended by a signal
    int status = 0;       // exit status, or the signal number
};

class CChildProcess {
public:
    CChildProcess() = default;
    // Kills and reaps a child still running.
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts `program` with `args` in `folder`, standard output and error
    // going to the files `outPath` and `errPath`, standard input read from
    // `inPath`. Once a child ended, another may be started.
    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& folder, const std::string& outPath, const std::string& errPath,
               const std::string& inPath = "/dev/null");
    bool Interrupt();  // SIGINT
    bool Terminate();  // SIGTERM
    bool Kill();       // SIGKILL: no handler runs, nothing is cleaned up
    // The child's end, or nullopt when it still runs after `timeout`.
    std::optional<ChildExit> WaitForExit(std::chrono::milliseconds timeout);

private:
    pid_t m_pid = -1;
    std::optional<ChildExit> m_exit;
};

// A pseudo-terminal for a child's standard input: what is typed into it,
// the child reads as a person's answer.
class CTestTerminal {
public:
    CTestTerminal() = default;
    ~CTestTerminal();
    CTestTerminal(const CTestTerminal&) = delete;
    CTestTerminal& operator=(const CTestTerminal&) = delete;

    bool Open();
    // The terminal's device, for Start's `inPath`.
    const std::string& Device() const { return m_device; }
    bool Type(const std::string& text);

private:
    int m_master = -1;
    std::string m_device;
};

// The firmhand-cli program of this build tree.
std::string FirmhandCliPath();
// Creates a named pipe: opening it for writing blocks until a reader comes.
bool MakeFifo(const std::string& path);
