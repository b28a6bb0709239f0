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

extern char** environ;

namespace {

constexpr int kHelperFd = 3;
// How long a reply may take beyond the probe's own listening time.
constexpr int kReplyMarginMs = 5000;

bool IsExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

// Waits for one datagram; its length, or -1 (failure, end or time-out).
long ReceiveWithin(int fd, uint8_t* buffer, size_t size, int timeoutMs) {
    pollfd ready{fd, POLLIN, 0};
    int polled = 0;
    do {
        polled = poll(&ready, 1, timeoutMs);
    } while (polled < 0 && errno == EINTR);
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
    std::lock_guard<std::mutex> lock(m_lock);
    Stop();
}

void CNetcfgClient::Stop() {
    if (m_fd >= 0) {
        close(m_fd);  // the helper sees the end and leaves
        m_fd = -1;
    }
    if (m_pid > 0) {
        int status = 0;
        // It ends within its current request (at most a probe's wait); a
        // helper that does not is ended.
        for (int i = 0; i < 100 && waitpid(m_pid, &status, WNOHANG) == 0; ++i) {
            usleep(50 * 1000);
            if (i == 99) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
            }
        }
        m_pid = -1;
    }
}

bool CNetcfgClient::Start(NetcfgProblem& problem, std::string& detail) {
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
    const long n = ReceiveWithin(m_fd, buffer, sizeof(buffer), kReplyMarginMs);
    if (n < 0 || !netcfg::DecodeReply(buffer, static_cast<size_t>(n), hello, reason) ||
        hello.op != netcfg::Op::Hello) {
        Stop();
        problem = NetcfgProblem::Broken;
        detail = "the network helper did not greet";
        return false;
    }
    if (hello.status != netcfg::Status::Done) {
        Stop();
        problem = NetcfgProblem::NoCapabilities;
        detail = "the network helper " + hello.reason;
        return false;
    }
    return true;
}

bool CNetcfgClient::Exchange(const netcfg::Request& request, netcfg::Reply& reply,
                             std::string& detail) {
    const std::vector<uint8_t> bytes = netcfg::EncodeRequest(request);
    if (send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(bytes.size())) {
        detail = "the network helper is gone";
        return false;
    }
    uint8_t buffer[netcfg::kMaxMessageBytes];
    const int wait = kReplyMarginMs + (request.op == netcfg::Op::ArpProbe ? request.waitMs : 0);
    const long n = ReceiveWithin(m_fd, buffer, sizeof(buffer), wait);
    std::string reason;
    if (n < 0 || !netcfg::DecodeReply(buffer, static_cast<size_t>(n), reply, reason) ||
        reply.op != request.op) {
        detail = "the network helper did not answer";
        return false;
    }
    return true;
}

bool CNetcfgClient::Call(const netcfg::Request& request, netcfg::Reply& reply,
                         NetcfgProblem& problem, std::string& detail) {
    std::lock_guard<std::mutex> lock(m_lock);
    problem = NetcfgProblem::None;
    // A helper that ended (its starting thread went, or it failed) is
    // started again, once per request.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (m_fd < 0 && !Start(problem, detail)) {
            return false;
        }
        if (Exchange(request, reply, detail)) {
            return true;
        }
        Stop();
    }
    problem = NetcfgProblem::Broken;
    return false;
}
