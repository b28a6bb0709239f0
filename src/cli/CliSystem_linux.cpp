#include "CliSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool StdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

bool StdoutIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}

std::string FileWriteProblem(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        return "folder " + folder + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder + " is not a folder";
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        return "folder " + folder + " is not writable: " + std::strerror(errno);
    }
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return path + " is a folder";
        }
        if (access(path.c_str(), W_OK) != 0) {
            return path + " is not writable: " + std::strerror(errno);
        }
    }
    return "";
}
