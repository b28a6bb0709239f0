#include "PasswordSource.h"

#include <CLI/CLI.hpp>

#include <ostream>

#include "CliSystem.h"

void AddPasswordOptions(CLI::App& command, PasswordInput& input) {
    auto* inline_ = command.add_option(
        "--password", input.password,
        "Device password (visible to other users; prefer --password-file or FIRMHAND_PASSWORD)");
    auto* file =
        command.add_option("--password-file", input.passwordFile,
                           "File of this user only (mode 0600) holding the device password");
    inline_->excludes(file);
    input.passwordOption = inline_;
}

bool ResolvePassword(const PasswordInput& input, const std::string& command, std::ostream& err,
                     std::string& password, bool& given, bool* typed, bool askOnTerminal) {
    given = false;
    if (typed != nullptr) {
        *typed = false;
    }
    password.clear();
    if (!input.passwordFile.empty()) {
        if (std::string problem = ReadPasswordFile(input.passwordFile, password);
            !problem.empty()) {
            err << "firmhand-cli " << command << ": --password-file " << input.passwordFile << ": "
                << problem << "\n";
            return false;
        }
        given = true;
        return true;
    }
    if (input.passwordOption != nullptr && input.passwordOption->count() > 0) {
        // Two lines, each within an 80-column terminal.
        err << "firmhand-cli: warning: --password is visible to other users (process list,\n"
               "  shell history); use --password-file FILE or "
            << kPasswordVariable << " instead\n";
        password = input.password;
        given = true;
        return true;
    }
    if (TakePasswordVariable(password)) {
        given = true;
        return true;
    }
    if (askOnTerminal) {
        bool asked = false;
        AskDevicePassword(true, password, given, typed != nullptr ? *typed : asked);
    }
    return true;
}

void AskDevicePassword(bool remembered, std::string& password, bool& given, bool& typed) {
    given = false;
    typed = false;
    password.clear();
    const char* prompt =
        remembered ? "Device password (Enter: the remembered one): " : "Device password: ";
    if (StdinIsTerminal() && AskPasswordOnTerminal(prompt, password)) {
        given = !password.empty();
        typed = given;
    }
}
