// A network namespace of the test's own in which only the loopback
// interface is up: a host without any network but loopback. Removed at
// destruction. Needs root.
#pragma once

#include <functional>
#include <string>

namespace testing_support {

class CLoopbackNetns {
public:
    CLoopbackNetns();
    ~CLoopbackNetns();
    CLoopbackNetns(const CLoopbackNetns&) = delete;
    CLoopbackNetns& operator=(const CLoopbackNetns&) = delete;

    static bool IsRoot();
    // False (with Error()) when the namespace could not be made.
    bool Ok() const { return m_ok; }
    const std::string& Error() const { return m_error; }

    // Runs `body` on a thread inside the namespace; the threads it starts
    // stay there. False when the thread could not enter it.
    bool Run(const std::function<void()>& body) const;

private:
    std::string m_name;
    bool m_ok = false;
    std::string m_error;
};

}  // namespace testing_support
