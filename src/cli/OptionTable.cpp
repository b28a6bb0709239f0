#include "OptionTable.h"

#include <string>
#include <vector>

namespace {

// The options a user may type: named, and not hidden from the help.
std::vector<const CLI::Option*> ShownOptions(const CLI::App& app) {
    std::vector<const CLI::Option*> shown;
    for (const CLI::Option* option : app.get_options()) {
        if (!option->get_group().empty() && !option->get_lnames().empty()) {
            shown.push_back(option);
        }
    }
    return shown;
}

std::vector<const CLI::App*> Commands(const CLI::App& app) {
    std::vector<const CLI::App*> commands;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        commands.push_back(command);
    }
    return commands;
}

// Text for roff: backslashes doubled, dashes as minus signs, and a line
// that would start with a control character escaped.
std::string Roff(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

void PrintManOption(const CLI::Option& option, std::ostream& out) {
    out << ".TP\n.B ";
    const char* separator = "";
    for (const std::string& name : option.get_lnames()) {
        out << separator << Roff("--" + name);
        separator = ", ";
    }
    for (const std::string& name : option.get_snames()) {
        out << separator << Roff("-" + name);
        separator = ", ";
    }
    if (option.get_type_size() != 0) {
        out << " \\fI" << Roff(option.get_type_name()) << "\\fR";
    }
    out << "\n" << Roff(option.get_description()) << "\n";
}

}  // namespace

void PrintOptionTable(const CLI::App& app, std::ostream& out) {
    out << "commands";
    for (const CLI::App* command : Commands(app)) {
        out << " " << command->get_name();
    }
    out << "\n-";
    for (const CLI::Option* option : ShownOptions(app)) {
        for (const std::string& name : option->get_lnames()) {
            out << " --" << name;
        }
        for (const std::string& name : option->get_snames()) {
            out << " -" << name;
        }
    }
    out << "\n";
    for (const CLI::App* command : Commands(app)) {
        out << command->get_name();
        for (const CLI::Option* option : ShownOptions(*command)) {
            for (const std::string& name : option->get_lnames()) {
                out << " --" << name;
            }
        }
        out << "\n";
    }
}

void PrintManCommands(const CLI::App& app, std::ostream& out) {
    out << "[COMMANDS]\n";
    for (const CLI::App* command : Commands(app)) {
        out << ".SS " << Roff(command->get_name()) << "\n"
            << Roff(command->get_description()) << "\n";
        const std::vector<const CLI::Option*> options = ShownOptions(*command);
        if (!options.empty()) {
            out << ".RS\n";
            for (const CLI::Option* option : options) {
                PrintManOption(*option, out);
            }
            out << ".RE\n";
        }
    }
    out << ".PP\n.B firmhand\\-cli COMMAND \\-\\-help\nlists a command's options.\n";
}
