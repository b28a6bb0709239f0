#include "support/TestSupport.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {

CSandbox::CSandbox() {
    std::string pattern = "/tmp/firmhand-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

CSandbox::~CSandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void CSandbox::Write(const std::string& name, const std::string& content) const {
    std::ofstream out(File(name), std::ios::binary);
    out << content;
}

std::string CSandbox::Read(const std::string& name) const {
    return ReadFile(File(name));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= end) {
            return predicate();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool ReturnsWithin(std::chrono::milliseconds limit, const std::function<void()>& call) {
    std::atomic<bool> returned{false};
    bool inTime = false;
    std::thread watcher([&] { inTime = WaitFor([&] { return returned.load(); }, limit); });
    call();
    returned = true;
    watcher.join();
    return inTime;
}

std::set<pid_t> ProcessThreads() {
    std::set<pid_t> threads;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        threads.insert(static_cast<pid_t>(std::stoi(entry.path().filename().string())));
    }
    return threads;
}

pid_t ThisThreadId() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

bool IsThreadBlocked(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    // "tid (name) S ...": the name may hold spaces and parentheses.
    const size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size()) {
        return false;
    }
    const char state = stat[nameEnd + 2];
    return state == 'S' || state == 'D';
}

CScopedEnv::CScopedEnv(const char* name, const std::string& value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (m_had) {
        m_old = old;
    }
    setenv(name, value.c_str(), 1);
}

CScopedEnv::~CScopedEnv() {
    if (m_had) {
        setenv(m_name.c_str(), m_old.c_str(), 1);
    } else {
        unsetenv(m_name.c_str());
    }
}

CScopedCwd::CScopedCwd(const std::string& path) {
    m_old = std::filesystem::current_path().string();
    std::filesystem::current_path(path);
}

CScopedCwd::~CScopedCwd() {
    std::error_code ignored;
    std::filesystem::current_path(m_old, ignored);
}

}  // namespace testing_support
