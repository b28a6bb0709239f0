// The firmhand-cli program run as a child process, for what only a real
// process shows: stop signals, exit statuses, a terminal's prompt.
#pragma once

#include <string>
#include <vector>

#include "support/ChildProcess.h"

// Starts this build tree's firmhand-cli with `args` in `folder`, standard
// output and error going to the files `outPath` and `errPath`, standard
// input read from `inPath` ("": /dev/null). Its camera locks are those of
// `folder`/locks.
bool StartCli(CChildProcess& child, const std::vector<std::string>& args, const std::string& folder,
              const std::string& outPath, const std::string& errPath,
              const std::string& inPath = "");

// A pseudo-terminal for a child's standard input: what is typed into it,
// the child reads as a person's answer.
class CTestTerminal {
public:
    CTestTerminal() = default;
    ~CTestTerminal();
    CTestTerminal(const CTestTerminal&) = delete;
    CTestTerminal& operator=(const CTestTerminal&) = delete;

    bool Open();
    // The terminal's device, for StartCli's `inPath`.
    const std::string& Device() const { return m_device; }
    bool Type(const std::string& text);

private:
    int m_master = -1;
    std::string m_device;
};

// Creates a named pipe: opening it for writing blocks until a reader comes.
bool MakeFifo(const std::string& path);
