// Where a command's device password comes from, so that it need not stand
// on the command line: --password-file FILE (owner-only), the variable
// FIRMHAND_PASSWORD, or a question on the terminal without echo. The old
// --password P still works, with a warning that others can read it.
#pragma once

#include <iosfwd>
#include <string>

namespace CLI {
class App;
class Option;
}  // namespace CLI

constexpr const char* kPasswordVariable = "FIRMHAND_PASSWORD";
// Longest password file read; a longer one is refused.
constexpr size_t kMaxPasswordFileBytes = 4096;

struct PasswordInput {
    std::string password;                         // --password
    std::string passwordFile;                     // --password-file
    const CLI::Option* passwordOption = nullptr;  // set by AddPasswordOptions
};

// Adds --password and --password-file (exclusive) to a command.
void AddPasswordOptions(CLI::App& command, PasswordInput& input);

// The password for the command: the file, --password (warning on `err`),
// the variable (then removed from the environment, so that no child
// inherits it), or, when standard input is a terminal, the answer to a
// question (an empty answer keeps the remembered one). `given` is false when
// the remembered password is to be used; `typed` (when given) is true for a
// password typed on the terminal, the only kind that is remembered. False
// with a message on `err` when the file is refused. Without `askOnTerminal`
// the question is left to the command (which asks only when a camera needs
// the password: AskDevicePassword).
bool ResolvePassword(const PasswordInput& input, const std::string& command, std::ostream& err,
                     std::string& password, bool& given, bool* typed = nullptr,
                     bool askOnTerminal = true);

// Asks for the password on the terminal, when there is one; `remembered`
// says whether Enter keeps a remembered one. `given` as for ResolvePassword.
void AskDevicePassword(bool remembered, std::string& password, bool& given, bool& typed);

// "" when `path` is a regular file of this user that no one else may read
// or write, with the password on its first line; else the reason.
std::string ReadPasswordFile(const std::string& path, std::string& password);

// The value of FIRMHAND_PASSWORD, which is then removed from the
// environment; false when it is unset or empty.
bool TakePasswordVariable(std::string& password);

// Reads one line from the terminal on standard input without echo, after
// writing `prompt` to standard error. False when there is no terminal.
bool AskPasswordOnTerminal(const std::string& prompt, std::string& password);
