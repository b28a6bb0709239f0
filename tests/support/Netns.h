// Network namespaces of the test's own, for tests that change the network or
// want a host with nothing but loopback; nothing leaves them. Needs root.
// They are removed at destruction, and ones left by a test process that died
// are swept away when the next one is made.
#pragma once

#include <functional>
#include <string>

namespace testing_support {

// One namespace with only its loopback interface up.
class CNetns {
public:
    CNetns();
    ~CNetns();
    CNetns(const CNetns&) = delete;
    CNetns& operator=(const CNetns&) = delete;

    static bool IsRoot();
    // Runs a command; its output (standard output and error) goes to `output`.
    static bool Shell(const std::string& command, std::string* output = nullptr);

    // False (with Error()) when the namespace could not be made.
    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }
    const std::string& Name() const { return m_name; }

    // Runs `ip -n NAME ARGS`.
    bool Ip(const std::string& args, std::string* output = nullptr) const;
    // Runs `body` on a thread inside the namespace; the threads it starts
    // stay there. False when the thread could not enter it.
    bool Run(const std::function<void()>& body) const;

private:
    std::string m_name;
    std::string m_error;
};

// A "host" and a "camera" namespace joined by a veth pair whose ends carry
// their namespace's name: the camera's end 02:fb:00:00:00:07 with
// 203.0.113.7/24, the host's end 198.51.100.1/24.
class CNetnsLab {
public:
    CNetnsLab();

    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

    const CNetns& Host() const { return m_host; }
    const CNetns& Camera() const { return m_camera; }
    const std::string& HostLink() const { return m_host.Name(); }

private:
    CNetns m_host;
    CNetns m_camera;
    std::string m_error;
};

}  // namespace testing_support
