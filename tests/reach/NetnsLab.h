// A two-namespace network for reachability tests: a "host" namespace and a
// "camera" namespace joined by a veth pair. Nothing leaves the namespaces.
// Needs root; the namespaces are removed at destruction, and ones left by a
// test process that died are swept away at the next start.
#pragma once

#include <functional>
#include <string>

namespace reach_test {

class CNetnsLab {
public:
    CNetnsLab();
    ~CNetnsLab();
    CNetnsLab(const CNetnsLab&) = delete;
    CNetnsLab& operator=(const CNetnsLab&) = delete;

    static bool IsRoot();

    // False (with Error()) when the lab could not be built.
    bool Ok() const { return m_ok; }
    const std::string& Error() const { return m_error; }

    const std::string& HostNs() const { return m_hostNs; }
    const std::string& CameraNs() const { return m_cameraNs; }
    const std::string& HostLink() const { return m_hostLink; }
    const std::string& CameraLink() const { return m_cameraLink; }

    // Runs a command; its output (standard output and error) goes to `output`.
    static bool Run(const std::string& command, std::string* output = nullptr);
    // Runs `ip -n NS ARGS` in one of the namespaces.
    bool InHost(const std::string& args, std::string* output = nullptr) const;
    bool InCamera(const std::string& args, std::string* output = nullptr) const;

    // Runs `body` on a thread that has entered the namespace; false when the
    // thread could not enter it.
    static bool RunInNamespace(const std::string& ns, const std::function<void()>& body);

private:
    static void SweepStale();

    bool m_ok = false;
    std::string m_error;
    std::string m_hostNs, m_cameraNs, m_hostLink, m_cameraLink;
};

}  // namespace reach_test
