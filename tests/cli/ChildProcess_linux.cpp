#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Paths.h"
#include "support/TestSupport.h"

extern char** environ;

namespace {

// Spawn attributes and file actions, released on every path.
struct SpawnSetup {
    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    SpawnSetup() {
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
};

}  // namespace

CChildProcess::~CChildProcess() {
    if (m_pid > 0 && !m_exit) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          const std::string& folder, const std::string& outPath,
                          const std::string& errPath, const std::string& inPath) {
    m_exit.reset();  // a child may be started again once it ended
    SpawnSetup setup;
    // The child starts with the signals as a shell would give them.
    sigset_t none;
    sigemptyset(&none);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    posix_spawnattr_setsigdefault(&setup.attr, &stops);
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_addchdir_np(&setup.actions, folder.c_str());
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, inPath.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    return posix_spawn(&m_pid, program.c_str(), &setup.actions, &setup.attr, argv.data(),
                       environ) == 0;
}

bool CChildProcess::Interrupt() {
    return m_pid > 0 && !m_exit && kill(m_pid, SIGINT) == 0;
}

bool CChildProcess::Terminate() {
    return m_pid > 0 && !m_exit && kill(m_pid, SIGTERM) == 0;
}

bool CChildProcess::Kill() {
    return m_pid > 0 && !m_exit && kill(m_pid, SIGKILL) == 0;
}

std::optional<ChildExit> CChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (m_pid <= 0 || m_exit) {
        return m_exit;
    }
    testing_support::WaitFor(
        [&] {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) != m_pid) {
                return false;
            }
            m_exit = WIFEXITED(status) ? ChildExit{true, WEXITSTATUS(status)}
                                       : ChildExit{false, WTERMSIG(status)};
            return true;
        },
        timeout);
    return m_exit;
}

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

std::string FirmhandCliPath() {
    // The test programs are built in <build>/tests, the CLI in <build>/src/cli.
    return platform::PathCombine(platform::ExecutableFolder(), "../src/cli/firmhand-cli");
}

bool MakeFifo(const std::string& path) {
    return mkfifo(path.c_str(), 0600) == 0;
}
