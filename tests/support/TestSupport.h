// Helpers for tests: temporary folders and polling waits instead of sleeps.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>

namespace testing_support {

// A fresh folder under /tmp, removed with its content at destruction.
class CSandbox {
public:
    CSandbox();
    ~CSandbox();
    CSandbox(const CSandbox&) = delete;
    CSandbox& operator=(const CSandbox&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;

private:
    std::string m_path;
};

// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

// Polls `predicate` every few milliseconds until it holds or `timeout` ends.
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs `call` on this thread while a second thread waits up to `limit` for
// it to return; true when it did. The call is never cut short. For "ends
// promptly" checks: pick `limit` far above the normal case and far below the
// call's slow path, so that the outcome does not depend on the load.
bool ReturnsWithin(std::chrono::milliseconds limit, const std::function<void()>& call);

// The kernel's ids of this process's threads now.
std::set<pid_t> ProcessThreads();
// The kernel's id of the calling thread, for IsThreadBlocked.
pid_t ThisThreadId();
// True while thread `tid` of this process sleeps in the kernel (a wait, a
// sleep, a select): lets a test act once another thread is inside a wait.
bool IsThreadBlocked(pid_t tid);

// True when a UDP socket can be bound to `port` on every address: no
// socket of this process (a search that did not end) holds it.
bool UdpPortIsFree(int port);

// Sets an environment variable for the life of the object.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const std::string& value);
    ~CScopedEnv();
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    std::string m_name;
    bool m_had;
    std::string m_old;
};

// Changes the current directory for the life of the object.
class CScopedCwd {
public:
    explicit CScopedCwd(const std::string& path);
    ~CScopedCwd();
    CScopedCwd(const CScopedCwd&) = delete;
    CScopedCwd& operator=(const CScopedCwd&) = delete;

private:
    std::string m_old;
};

}  // namespace testing_support
