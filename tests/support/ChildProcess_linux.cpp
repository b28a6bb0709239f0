#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "support/TestSupport.h"

extern char** environ;

namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::map<std::string, std::string> byName;
    const auto add = [&](const std::string& entry) {
        byName[entry.substr(0, entry.find('='))] = entry;
    };
    for (char** entry = environ; *entry != nullptr; ++entry) {
        add(*entry);
    }
    for (const std::string& entry : extra) {
        add(entry);
    }
    std::vector<std::string> merged;
    for (const auto& [name, entry] : byName) {
        merged.push_back(entry);
    }
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// In the child between fork and exec: async-signal-safe calls only.
void Redirect(const char* path, int target, int flags) {
    const int fd = open(path, flags | O_CLOEXEC, 0600);
    if (fd < 0) {
        _exit(126);
    }
    if (dup2(fd, target) < 0) {  // dup2 clears close-on-exec on the copy
        _exit(126);
    }
}

}  // namespace

CChildProcess::~CChildProcess() {
    if (Running()) {
        Kill();
        Reap(true);
    }
}

bool CChildProcess::Start(const CHILD_OPTIONS& options, std::string& error) {
    std::vector<std::string> argv{options.program};
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    std::vector<std::string> env = MergedEnvironment(options.env);
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(env);
    const std::string out = options.outPath.empty() ? "/dev/null" : options.outPath;
    const std::string err = options.errPath.empty() ? "/dev/null" : options.errPath;
    const std::string in = options.inPath.empty() ? "/dev/null" : options.inPath;
    constexpr int kWrite = O_WRONLY | O_CREAT | O_TRUNC;
    const pid_t parent = getpid();

    // Closed in the child by its exec (or its end): Start returns only once
    // the child's files are open, so a test never reads an output file the
    // child has yet to truncate.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        error = std::string("pipe2: ") + std::strerror(errno);
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        close(ready[0]);
        close(ready[1]);
        return false;
    }
    if (pid == 0) {
        // Dies with the starting thread rather than outliving a failed test.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(125);
        }
        Redirect(in.c_str(), 0, O_RDONLY);
        Redirect(out.c_str(), 1, kWrite);
        Redirect(err.c_str(), 2, kWrite);
        if (!options.fd3Path.empty()) {
            Redirect(options.fd3Path.c_str(), 3, kWrite);
        }
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) {
            _exit(126);
        }
        execve(argvPointers[0], argvPointers.data(), envPointers.data());
        _exit(127);
    }
    close(ready[1]);
    char byte = 0;
    while (read(ready[0], &byte, 1) < 0 && errno == EINTR) {
    }
    close(ready[0]);
    m_pid = pid;
    m_exit.reset();
    return true;
}

bool CChildProcess::Reap(bool block) {
    if (m_pid <= 0 || m_exit) {
        return m_exit.has_value();
    }
    int status = 0;
    pid_t done = 0;
    do {
        done = waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done != m_pid) {
        return false;
    }
    CHILD_EXIT exit;
    exit.signalled = WIFSIGNALED(status);
    exit.code = exit.signalled ? WTERMSIG(status) : WEXITSTATUS(status);
    m_exit = exit;
    return true;
}

bool CChildProcess::Running() {
    return m_pid > 0 && !Reap(false);
}

bool CChildProcess::Interrupt() {
    return Running() && kill(m_pid, SIGINT) == 0;
}

bool CChildProcess::Terminate() {
    return Running() && kill(m_pid, SIGTERM) == 0;
}

bool CChildProcess::Kill() {
    return Running() && kill(m_pid, SIGKILL) == 0;
}

std::optional<CHILD_EXIT> CChildProcess::Wait(std::chrono::milliseconds timeout) {
    testing_support::WaitFor([&] { return !Running(); }, timeout);
    return m_exit;
}

int CurrentProcessId() {
    return static_cast<int>(getpid());
}

std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            const std::string candidate = folder + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        start = end + 1;
    }
    return {};
}
