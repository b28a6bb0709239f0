#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <string>
#include <vector>

#include "FirmhandApp.h"
#include "FirmhandOptions.h"
#include "GuiResources.h"
#include "QtExitGuard.h"
#include "app/Startup.h"
#include "app/Version.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

// Qt's own options start with a single dash (-platform, -display, -style).
bool HasQtOption(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-') {
            return true;
        }
    }
    return false;
}

int UsageError(const std::string& error) {
    std::fprintf(stderr, "firmhand: %s\n%s", error.c_str(), FirmhandUsage().c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    FIRMHAND_OPTIONS options;
    std::string error;
    // --version, --help and mistakes are answered without a display.
    const bool parsed = ParseFirmhandOptions(Arguments(argc, argv), options, error);
    if (!parsed && !HasQtOption(Arguments(argc, argv))) {
        return UsageError(error);
    }
    if (parsed && (options.showVersion || options.showHelp)) {
        if (options.showVersion) {
            std::printf("firmhand %s\n", VersionToString(GetModuleVersionNumber()).c_str());
        } else {
            std::fputs(FirmhandUsage().c_str(), stdout);
        }
        return 0;
    }

    InitApplication("firmhand");
    InstallQtExitGuard();
    QApplication application(argc, argv);
    // Qt has taken its own options (-platform, -display, ...) out of argv.
    if (!ParseFirmhandOptions(Arguments(argc, argv), options, error)) {
        return UsageError(error);
    }
    InitGuiResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ICON/128")));
    return RunFirmhand(options);
}
