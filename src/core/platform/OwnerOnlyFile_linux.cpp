#include "platform/OwnerOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

std::string OwnerOnlyFileProblem(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return path + ": " + std::strerror(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return path + ": not a regular file";
    }
    if (info.st_uid != ::geteuid()) {
        return path + ": owned by another user; it must be yours";
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        return path + ": readable or writable by others; run chmod 600 " + path;
    }
    return {};
}

namespace {

// Reads what is left of `fd`, at most `maxBytes`; false when there is more
// or a read fails.
bool ReadAtMost(int fd, size_t maxBytes, std::string& content) {
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        if (content.size() + static_cast<size_t>(n) > maxBytes) {
            return false;
        }
        content.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

std::string ReadOwnerOnlyFile(const std::string& path, size_t maxBytes, std::string& content) {
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return path + ": " + (errno == ELOOP ? "a symbolic link" : std::strerror(errno));
    }
    struct stat info {};
    std::string problem;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = path + ": not a regular file";
    } else if (info.st_uid != ::geteuid()) {
        problem = path + ": owned by another user; it must be yours";
    } else if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        problem = path + ": readable or writable by others; run chmod 600 " + path;
    } else if (static_cast<size_t>(info.st_size) > maxBytes || !ReadAtMost(fd, maxBytes, content)) {
        problem = path + ": larger than " + std::to_string(maxBytes) + " bytes or unreadable";
    }
    ::close(fd);
    if (!problem.empty()) {
        content.clear();
    }
    return problem;
}

bool ReadTrustedFile(const std::string& path, std::string& content, std::string& problem) {
    content.clear();
    problem.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            problem = path + ": " + std::strerror(errno);
        }
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        problem = path + ": not a regular file";
    } else if (info.st_uid != ::geteuid() && info.st_uid != 0) {
        problem = path + ": owned by another user";
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        problem = path + ": writable by group or others";
    } else if (static_cast<size_t>(info.st_size) > kMaxTrustedFileBytes ||
               !ReadAtMost(fd, kMaxTrustedFileBytes, content)) {
        problem =
            path + ": larger than " + std::to_string(kMaxTrustedFileBytes) + " bytes or unreadable";
    }
    ::close(fd);
    if (!problem.empty()) {
        content.clear();
        return false;
    }
    return true;
}

}  // namespace platform
