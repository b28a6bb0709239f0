#include "NetcfgClient.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/Paths.h"
#include "platform/StopWake.h"

extern char** environ;

namespace {

constexpr int kHelperFd = 3;
// How long a reply may take beyond the probe's own listening time.
constexpr int kReplyMarginMs = 5000;
// How long a helper that was told to leave may take to exit.
constexpr int kExitGraceMs = 5000;
constexpr long kWoken = -2;

bool IsExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// Waits for one datagram; its length, -1 (failure, end or time-out) or
// kWoken when `wakeFd` turned readable first.
long ReceiveWithin(int fd, uint8_t* buffer, size_t size, int timeoutMs, int wakeFd) {
    pollfd ready[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    int polled = 0;
    do {
        polled = poll(ready, 2, timeoutMs);
    } while (polled < 0 && errno == EINTR);
    if (polled > 0 && ready[1].revents != 0) {
        return kWoken;
    }
    if (polled <= 0) {
        return -1;
    }
    const ssize_t n = recv(fd, buffer, size, MSG_TRUNC | MSG_DONTWAIT);
    return n <= 0 || static_cast<size_t>(n) > size ? -1 : static_cast<long>(n);
}

}  // namespace

std::string InstalledNetcfgHelperPath() {
    return platform::PathCombine(platform::ExecutableFolder(),
                                 "../libexec/firmhand/firmhand-netcfg");
}

std::string FindNetcfgHelper() {
    if (const char* env = std::getenv("FIRMHAND_NETCFG"); env != nullptr && env[0] != '\0') {
        return IsExecutable(env) ? env : "";
    }
    const std::string folder = platform::ExecutableFolder();
    for (const std::string& candidate :
         {InstalledNetcfgHelperPath(), platform::PathCombine(folder, "firmhand-netcfg"),
          platform::PathCombine(folder, "../netcfg/firmhand-netcfg")}) {
        if (IsExecutable(candidate)) {
            return candidate;
        }
    }
    return {};
}

bool HoldsNetworkCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    const uint32_t wanted = (1u << CAP_NET_ADMIN) | (1u << CAP_NET_RAW);
    return (data[0].effective & wanted) == wanted;
}

CNetcfgClient::CNetcfgClient(std::string helperPath) : m_path(std::move(helperPath)) {
    if (m_path.empty()) {
        m_path = FindNetcfgHelper();
    }
    m_found = IsExecutable(m_path);
    if (!m_found && m_path.empty()) {
        m_path = InstalledNetcfgHelperPath();
    }
}

CNetcfgClient::~CNetcfgClient() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_turn.wait(lock, [this] { return !m_busy; });
    Stop(kExitGraceMs);
}

void CNetcfgClient::Stop(int graceMs) {
    if (m_fd >= 0) {
        close(m_fd);  // the helper sees the end and leaves
        m_fd = -1;
    }
    if (m_pid <= 0) {
        return;
    }
    // It ends within its current request (at most a probe's wait). The exit
    // is awaited on a process descriptor, not polled for; a helper that is
    // not gone by then (or that cannot be watched) is ended.
    const int exitFd = graceMs > 0 ? static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0)) : -1;
    if (exitFd >= 0) {
        pollfd exited{exitFd, POLLIN, 0};
        int polled = 0;
        do {
            polled = poll(&exited, 1, graceMs);
        } while (polled < 0 && errno == EINTR);
        close(exitFd);
        if (polled <= 0) {
            kill(m_pid, SIGKILL);
        }
    } else {
        kill(m_pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
}

bool CNetcfgClient::Start(NetcfgProblem& problem, std::string& detail, int wakeFd) {
    if (!m_found) {
        problem = NetcfgProblem::Missing;
        detail = "no network helper at " + m_path;
        return false;
    }
    int pair[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        problem = NetcfgProblem::Broken;
        detail = "no socket pair";
        return false;
    }
    // The helper's end goes to descriptor 3; it must not be 3 already, or
    // the duplication would keep its close-on-exec flag.
    const int child = fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
    close(pair[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, child, kHelperFd);
    const std::string parent = std::to_string(getpid());
    std::vector<char*> argv = {const_cast<char*>(m_path.c_str()), const_cast<char*>(parent.c_str()),
                               nullptr};
    pid_t pid = -1;
    const int spawned =
        child < 0 ? EBADF
                  : posix_spawn(&pid, m_path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (child >= 0) {
        close(child);
    }
    if (spawned != 0) {
        close(pair[0]);
        problem = NetcfgProblem::Broken;
        detail = "the network helper could not be started";
        return false;
    }
    m_fd = pair[0];
    m_pid = pid;

    uint8_t buffer[netcfg::kMaxMessageBytes];
    netcfg::Reply hello;
    std::string reason;
    const long n = ReceiveWithin(m_fd, buffer, sizeof(buffer), kReplyMarginMs, wakeFd);
    if (n == kWoken) {
        Stop(0);
        detail = "stopped";
        return false;
    }
    if (n < 0 || !netcfg::DecodeReply(buffer, static_cast<size_t>(n), hello, reason) ||
        hello.op != netcfg::Op::Hello) {
        Stop(kExitGraceMs);
        problem = NetcfgProblem::Broken;
        detail = "the network helper did not greet";
        return false;
    }
    if (hello.status != netcfg::Status::Done) {
        Stop(kExitGraceMs);
        problem = NetcfgProblem::NoCapabilities;
        detail = "the network helper " + hello.reason;
        return false;
    }
    return true;
}

bool CNetcfgClient::Exchange(const netcfg::Request& request, netcfg::Reply& reply,
                             std::string& detail, int wakeFd) {
    const std::vector<uint8_t> bytes = netcfg::EncodeRequest(request);
    if (send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(bytes.size())) {
        detail = "the network helper is gone";
        return false;
    }
    uint8_t buffer[netcfg::kMaxMessageBytes];
    const int wait = kReplyMarginMs + (request.op == netcfg::Op::ArpProbe ? request.waitMs : 0);
    const long n = ReceiveWithin(m_fd, buffer, sizeof(buffer), wait, wakeFd);
    if (n == kWoken) {
        detail = "stopped";
        return false;
    }
    std::string reason;
    if (n < 0 || !netcfg::DecodeReply(buffer, static_cast<size_t>(n), reply, reason) ||
        reply.op != request.op) {
        detail = "the network helper did not answer";
        return false;
    }
    return true;
}

bool CNetcfgClient::Call(const netcfg::Request& request, netcfg::Reply& reply,
                         NetcfgProblem& problem, std::string& detail, std::stop_token stop) {
    problem = NetcfgProblem::None;
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_turn.wait(lock, stop, [this] { return !m_busy; })) {
            detail = "stopped";
            return false;
        }
        m_busy = true;
    }
    // The helper's state is this call's alone until the turn is handed on.
    struct CTurn {
        CNetcfgClient& client;
        ~CTurn() {
            std::lock_guard<std::mutex> lock(client.m_lock);
            client.m_busy = false;
            client.m_turn.notify_all();
        }
    } turn{*this};
    const platform::CStopWakeFd wake(stop);
    // A helper that ended (its starting thread went, or it failed) is
    // started again, once per request.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (stop.stop_requested()) {
            detail = "stopped";
            return false;
        }
        if (m_fd < 0 && !Start(problem, detail, wake.Get())) {
            return false;
        }
        if (Exchange(request, reply, detail, wake.Get())) {
            return true;
        }
        // A stopped helper is busy with a probe nobody waits for any more.
        Stop(stop.stop_requested() ? 0 : kExitGraceMs);
    }
    if (stop.stop_requested()) {
        return false;
    }
    problem = NetcfgProblem::Broken;
    return false;
}
