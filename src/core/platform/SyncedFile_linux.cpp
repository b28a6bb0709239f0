#include "platform/SyncedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

std::unique_ptr<CSyncedFile> CSyncedFile::Open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    // The new name must survive a power loss too.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::unique_ptr<CSyncedFile>(new CSyncedFile(fd));
}

CSyncedFile::~CSyncedFile() {
    ::close(m_fd);
}

bool CSyncedFile::Append(const std::string& line) {
    const std::string text = line + '\n';
    const off_t start = ::lseek(m_fd, 0, SEEK_END);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(m_fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A full disk takes part of a line: cut it, or the next line
            // that fits would be glued to it and both be lost.
            if (start >= 0 && ::ftruncate(m_fd, start) == 0) {
                ::fdatasync(m_fd);
            }
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return ::fdatasync(m_fd) == 0;
}

bool CSyncedFile::CutTornLine() {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        return false;
    }
    // Back from the end, a chunk at a time, to the last line break.
    off_t end = info.st_size;
    char chunk[4096];
    while (end > 0) {
        const off_t start =
            end > static_cast<off_t>(sizeof(chunk)) ? end - static_cast<off_t>(sizeof(chunk)) : 0;
        const ssize_t n = ::pread(m_fd, chunk, static_cast<size_t>(end - start), start);
        if (n != end - start) {
            return false;
        }
        for (ssize_t i = n; i > 0; --i) {
            if (chunk[i - 1] == '\n') {
                const off_t keep = start + i;
                return keep == info.st_size ||
                       (::ftruncate(m_fd, keep) == 0 && ::fdatasync(m_fd) == 0);
            }
        }
        end = start;
    }
    return info.st_size == 0 || (::ftruncate(m_fd, 0) == 0 && ::fdatasync(m_fd) == 0);
}

}  // namespace platform
