// An exclusive lock on a file, shared by every process of the machine: held
// for the object's life, released by the kernel if the process dies.
#pragma once

#include <memory>
#include <string>

namespace platform {

class CFileLock {
public:
    // Creates the file when missing (owner-only) and takes the lock without
    // waiting. Null when another holder has it (`busy` true) or the file
    // cannot be opened (`busy` false, `error` the system's error).
    static std::unique_ptr<CFileLock> TryAcquire(const std::string& path, bool& busy, int& error);
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

// The per-user folder for runtime files: $XDG_RUNTIME_DIR, else a folder
// "firmhand-<uid>" under the system's temporary folder (created 0700 and
// refused when another user owns it). "" when none is usable.
std::string RuntimeFolder();

}  // namespace platform
