// Helpers for tests: temporary folders and polling waits instead of sleeps.
#pragma once

#include <chrono>
#include <functional>
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

// Polls `predicate` every few milliseconds until it holds or `timeout` ends.
bool WaitFor(const std::function<bool()>& predicate,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

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
