#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// Opens an existing file or creates a new one, never through a link. An
// existing file is opened without O_CREAT: in a sticky folder the kernel
// refuses O_CREAT on another user's file (protected_regular).
int OpenLockFile(const std::string& path, unsigned mode) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    for (int round = 0; round < 3; ++round) {
        const int fd = ::open(path.c_str(), kFlags);
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
        const int created = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, mode);
        if (created >= 0) {
            // Whatever the umask: others must be able to open it to lock it.
            ::fchmod(created, mode);
            return created;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

}  // namespace

std::unique_ptr<CFileLock> CFileLock::TryAcquire(const std::string& path, bool& busy,
                                                 std::string& problem, unsigned mode) {
    busy = false;
    problem.clear();
    const int fd = OpenLockFile(path, mode);
    if (fd < 0) {
        problem = path + ": " + std::strerror(errno);
        return nullptr;
    }
    // A link, a pipe or a second name would not be the one file every
    // process locks.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
        problem = path + ": not a regular file with a single name";
        ::close(fd);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        busy = error == EWOULDBLOCK;
        problem = busy ? std::string() : path + ": " + std::strerror(error);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<CFileLock>(new CFileLock(fd));
}

bool CFileLock::IsHeld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // drops the shared lock if it was taken
    return held;
}

CFileLock::~CFileLock() {
    ::close(m_fd);  // releases the lock
}

bool PrepareSharedLockFolder(const std::string& folder, std::string& problem) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        // Made private first, opened to all once it is ours: no moment at
        // which another user's folder could stand in for it.
        ::chmod(folder.c_str(), 01777);
    } else if (errno != EEXIST) {
        problem = folder + " cannot be created: " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        problem = folder + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        problem = folder + " is not a folder";
        return false;
    }
    if (info.st_uid != 0 && info.st_uid != ::getuid()) {
        problem = folder + " belongs to user " + std::to_string(info.st_uid) +
                  ", not to root or this user";
        return false;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0) {
        problem = folder + " may be written by others but is not sticky";
        return false;
    }
    return true;
}

}  // namespace platform
