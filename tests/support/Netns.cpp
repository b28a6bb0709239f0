#include "support/Netns.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <thread>

namespace testing_support {

namespace {

// Names carry the pid of the test process: fhn<pid>x<n>. The pid of such a
// name, or 0.
pid_t NetnsOwner(const std::string& name) {
    const auto x = name.find('x', 3);
    if (name.compare(0, 3, "fhn") != 0 || x == std::string::npos) {
        return 0;
    }
    const std::string pid = name.substr(3, x - 3);
    const std::string count = name.substr(x + 1);
    const auto digits = [](const std::string& t) {
        return !t.empty() && t.size() < 10 &&
               t.find_first_not_of("0123456789") == std::string::npos;
    };
    return digits(pid) && digits(count) ? static_cast<pid_t>(std::stol(pid)) : 0;
}

void SweepStale() {
    DIR* dir = opendir("/run/netns");
    if (dir == nullptr) {
        return;
    }
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const pid_t pid = NetnsOwner(name);
        if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
            CNetns::Shell("ip netns del " + name);
        }
    }
    closedir(dir);
}

std::atomic<int> g_netnsCount{0};

}  // namespace

bool CNetns::IsRoot() {
    return geteuid() == 0;
}

bool CNetns::Shell(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    std::string text;
    char buffer[512];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        text.append(buffer, n);
    }
    const int status = pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

CNetns::CNetns() {
    if (!IsRoot()) {
        m_error = "not root";
        return;
    }
    SweepStale();
    const std::string name =
        "fhn" + std::to_string(getpid()) + "x" + std::to_string(g_netnsCount.fetch_add(1));
    std::string output;
    if (!Shell("ip netns add " + name, &output)) {
        m_error = "ip netns add " + name + ": " + output;
        return;
    }
    m_name = name;
    if (!Ip("link set lo up", &output)) {
        m_error = "loopback not brought up in " + name + ": " + output;
    }
}

CNetns::~CNetns() {
    // Deleting a namespace takes the links in it, and so a veth pair.
    if (!m_name.empty()) {
        Shell("ip netns del " + m_name);
    }
}

bool CNetns::Ip(const std::string& args, std::string* output) const {
    return Shell("ip -n " + m_name + " " + args, output);
}

bool CNetns::Run(const std::function<void()>& body) const {
    bool entered = false;
    // Only this thread changes namespace; it ends with the body.
    std::thread worker([&] {
        const int fd = open(("/run/netns/" + m_name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        entered = setns(fd, CLONE_NEWNET) == 0;
        close(fd);
        if (entered) {
            body();
        }
    });
    worker.join();
    return entered;
}

CNetnsLab::CNetnsLab() {
    for (const CNetns* ns : {&m_host, &m_camera}) {
        if (!ns->Ok()) {
            m_error = ns->Error();
            return;
        }
    }
    const std::string& host = m_host.Name();
    const std::string& camera = m_camera.Name();
    const std::string steps[] = {
        "ip link add " + host + " netns " + host + " type veth peer name " + camera + " netns " +
            camera,
        "ip -n " + camera + " link set " + camera + " address 02:fb:00:00:00:07",
        "ip -n " + camera + " addr add 203.0.113.7/24 dev " + camera,
        "ip -n " + camera + " link set " + camera + " up",
        "ip -n " + host + " addr add 198.51.100.1/24 dev " + host,
        "ip -n " + host + " link set " + host + " up",
    };
    for (const std::string& step : steps) {
        std::string output;
        if (!CNetns::Shell(step, &output)) {
            m_error = step + ": " + output;
            return;
        }
    }
}

}  // namespace testing_support
