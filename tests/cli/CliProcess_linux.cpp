#include "CliProcess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Paths.h"

CTestTerminal::~CTestTerminal() {
    if (m_master >= 0) {
        close(m_master);
    }
}

bool CTestTerminal::Open() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        return false;
    }
    const char* device = ptsname(m_master);
    m_device = device != nullptr ? device : "";
    return !m_device.empty();
}

bool CTestTerminal::Type(const std::string& text) {
    return write(m_master, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool StartCli(CChildProcess& child, const std::vector<std::string>& args, const std::string& folder,
              const std::string& outPath, const std::string& errPath, const std::string& inPath) {
    CHILD_OPTIONS options;
    // The test programs are built in <build>/tests, the CLI in <build>/src/cli.
    options.program =
        platform::PathCombine(platform::ExecutableFolder(), "../src/cli/firmhand-cli");
    // The camera locks of the test's own sandbox, as in-process runs have.
    options.args = {"--lock-folder", platform::PathCombine(folder, "locks")};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.cwd = folder;
    options.outPath = outPath;
    options.errPath = errPath;
    options.inPath = inPath;
    std::string error;
    return child.Start(options, error);
}

bool MakeFifo(const std::string& path) {
    return mkfifo(path.c_str(), 0600) == 0;
}
