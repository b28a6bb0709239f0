#include "support/LoopbackNetns.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

namespace testing_support {

namespace {

std::atomic<int> g_nextNetns{0};

bool Shell(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

bool CLoopbackNetns::IsRoot() {
    return geteuid() == 0;
}

CLoopbackNetns::CLoopbackNetns()
    : m_name("fh-lo-" + std::to_string(getpid()) + "-" + std::to_string(g_nextNetns++)) {
    if (!Shell("ip netns add " + m_name)) {
        m_error = "ip netns add " + m_name + " failed";
        m_name.clear();
        return;
    }
    if (!Shell("ip -n " + m_name + " link set lo up")) {
        m_error = "loopback not brought up in " + m_name;
        return;
    }
    m_ok = true;
}

CLoopbackNetns::~CLoopbackNetns() {
    if (!m_name.empty()) {
        Shell("ip netns del " + m_name);
    }
}

bool CLoopbackNetns::Run(const std::function<void()>& body) const {
    bool entered = false;
    std::thread thread([&] {
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
    thread.join();
    return entered;
}

}  // namespace testing_support
