// An exclusive lock on a file, shared by every process of the machine: held
// for the object's life, released by the kernel if the process dies.
#pragma once

#include <memory>
#include <string>

namespace platform {

class CFileLock {
public:
    // Opens the file without following a link, creating it with `mode`
    // when missing, checks that it is a regular file with one name, and
    // takes the lock without waiting. Null when another holder has it
    // (`busy` true) or when the file cannot be used (`busy` false,
    // `problem` says why).
    static std::unique_ptr<CFileLock> TryAcquire(const std::string& path, bool& busy,
                                                 std::string& problem, unsigned mode = 0600);
    // True when some holder (another process, or another lock of this
    // one) has the lock of the existing file at `path`.
    static bool IsHeld(const std::string& path);
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

private:
    explicit CFileLock(int fd) : m_fd(fd) {}
    int m_fd;
};

// A folder that processes of every user share for their locks: created
// sticky and writable by all (as /tmp) when missing, then checked. False,
// with `problem`, unless it is a real folder (not a link) owned by root or
// by this process's user, and, when others may write in it, sticky (so
// that nobody removes a lock file another user's process holds).
bool PrepareSharedLockFolder(const std::string& folder, std::string& problem);

}  // namespace platform
