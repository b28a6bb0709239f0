#include "FirmhandOptions.h"

#include <charconv>

namespace {

// "--name=value" or "--name value".
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               std::string& value, std::string& error) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
        arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

bool Matches(const std::string& arg, const std::string& name) {
    return arg == name || (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
                           arg[name.size()] == '=');
}

}  // namespace

bool ParseFirmhandOptions(const std::vector<std::string>& args, FIRMHAND_OPTIONS& options,
                          std::string& error) {
    options = FIRMHAND_OPTIONS{};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string value;
        if (arg == "--version") {
            options.showVersion = true;
        } else if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
        } else if (Matches(arg, "--adapter")) {
            if (!TakeValue(args, i, "--adapter", value, error)) {
                return false;
            }
            options.adapter = value;
        } else if (Matches(arg, "--search-targets")) {
            if (!TakeValue(args, i, "--search-targets", value, error)) {
                return false;
            }
            options.searchTargets = value;
        } else if (Matches(arg, "--package")) {
            if (!TakeValue(args, i, "--package", value, error)) {
                return false;
            }
            if (value.empty()) {
                error = "--package needs a file";
                return false;
            }
            options.packagePath = value;
        } else if (Matches(arg, "--auto-start")) {
            if (!TakeValue(args, i, "--auto-start", value, error)) {
                return false;
            }
            int count = 0;
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), count);
            if (ec != std::errc() || end != value.data() + value.size() || count < 1) {
                error = "--auto-start needs a number of cameras (1 or more)";
                return false;
            }
            options.autoStartCount = count;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

std::string FirmhandUsage() {
    return "Usage: firmhand [--adapter NAME] [--search-targets HOST[:PORT],...] [--package FILE]\n"
           "                [--version] [--help]\n"
           "  --adapter NAME          search on this network interface (\"\" for all) and skip\n"
           "                          the adapter dialog\n"
           "  --search-targets LIST   also search these hosts (the SearchTargets setting)\n"
           "  --package FILE          preselect the upgrade file\n"
           "  --version               print the version and exit\n";
}
