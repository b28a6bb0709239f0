#include "platform/OwnerOnlyFile.h"

#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace platform
