#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

std::unique_ptr<CFileLock> CFileLock::TryAcquire(const std::string& path, bool& busy, int& error) {
    busy = false;
    error = 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        busy = error == EWOULDBLOCK;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<CFileLock>(new CFileLock(fd));
}

bool CFileLock::IsHeld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
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

std::string RuntimeFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
        return runtime;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/firmhand-" +
                               std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return {};
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid()) {
        return {};
    }
    return folder;
}

}  // namespace platform
