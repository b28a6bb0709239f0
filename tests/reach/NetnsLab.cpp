#include "NetnsLab.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <thread>

namespace reach_test {

namespace {

// Lab names carry the pid of the test process: fhr<pid>x<n>h / ...c.
// The pid of such a name, or 0.
pid_t LabOwner(const std::string& name) {
    if (name.size() < 7 || name.compare(0, 3, "fhr") != 0 ||
        (name.back() != 'h' && name.back() != 'c')) {
        return 0;
    }
    const auto x = name.find('x', 3);
    if (x == std::string::npos || x == 3 || x + 2 > name.size() - 1) {
        return 0;
    }
    const std::string pid = name.substr(3, x - 3);
    const std::string count = name.substr(x + 1, name.size() - x - 2);
    const auto digits = [](const std::string& t) {
        return !t.empty() && t.size() < 10 &&
               t.find_first_not_of("0123456789") == std::string::npos;
    };
    return digits(pid) && digits(count) ? static_cast<pid_t>(std::stol(pid)) : 0;
}

std::atomic<int> g_labCount{0};

}  // namespace

bool CNetnsLab::IsRoot() {
    return geteuid() == 0;
}

bool CNetnsLab::Run(const std::string& command, std::string* output) {
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

void CNetnsLab::SweepStale() {
    DIR* dir = opendir("/run/netns");
    if (dir == nullptr) {
        return;
    }
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const pid_t pid = LabOwner(name);
        if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
            Run("ip netns del " + name);
        }
    }
    closedir(dir);
}

CNetnsLab::CNetnsLab() {
    if (!IsRoot()) {
        m_error = "not root";
        return;
    }
    SweepStale();
    const std::string stem =
        "fhr" + std::to_string(getpid()) + "x" + std::to_string(g_labCount.fetch_add(1));
    m_hostNs = m_hostLink = stem + "h";
    m_cameraNs = m_cameraLink = stem + "c";

    const std::string steps[] = {
        "ip netns add " + m_hostNs,
        "ip netns add " + m_cameraNs,
        "ip link add " + m_hostLink + " netns " + m_hostNs + " type veth peer name " +
            m_cameraLink + " netns " + m_cameraNs,
        "ip -n " + m_cameraNs + " link set " + m_cameraLink + " address 02:fb:00:00:00:07",
        "ip -n " + m_cameraNs + " addr add 203.0.113.7/24 dev " + m_cameraLink,
        "ip -n " + m_cameraNs + " link set " + m_cameraLink + " up",
        "ip -n " + m_cameraNs + " link set lo up",
        "ip -n " + m_hostNs + " addr add 198.51.100.1/24 dev " + m_hostLink,
        "ip -n " + m_hostNs + " link set " + m_hostLink + " up",
    };
    for (const std::string& step : steps) {
        std::string output;
        if (!Run(step, &output)) {
            m_error = step + ": " + output;
            return;
        }
    }
    m_ok = true;
}

CNetnsLab::~CNetnsLab() {
    // Deleting a namespace takes its end of the veth pair, and so the pair.
    if (!m_hostNs.empty()) {
        Run("ip netns del " + m_hostNs);
        Run("ip netns del " + m_cameraNs);
    }
}

bool CNetnsLab::InHost(const std::string& args, std::string* output) const {
    return Run("ip -n " + m_hostNs + " " + args, output);
}

bool CNetnsLab::InCamera(const std::string& args, std::string* output) const {
    return Run("ip -n " + m_cameraNs + " " + args, output);
}

bool CNetnsLab::RunInNamespace(const std::string& ns, const std::function<void()>& body) {
    bool entered = false;
    // Only this thread changes namespace; it ends with the body.
    std::thread worker([&] {
        const int fd = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
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

}  // namespace reach_test
