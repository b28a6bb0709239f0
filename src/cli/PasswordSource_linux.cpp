#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "PasswordSource.h"

namespace {

// The first line, without its end.
std::string FirstLine(const std::string& text) {
    const size_t end = text.find_first_of("\r\n");
    return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

std::string ReadPasswordFile(const std::string& path, std::string& password) {
    password.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return std::strerror(errno);
    }
    struct stat info {};
    std::string problem;
    if (fstat(fd, &info) != 0) {
        problem = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        problem = "not a regular file";
    } else if (info.st_uid != geteuid()) {
        problem = "not owned by this user";
    } else if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        problem = "readable or writable by others; chmod 600 it";
    } else if (info.st_size > static_cast<off_t>(kMaxPasswordFileBytes)) {
        problem = "longer than " + std::to_string(kMaxPasswordFileBytes) + " bytes";
    }
    std::string text;
    if (problem.empty()) {
        char buffer[kMaxPasswordFileBytes + 1];
        ssize_t n = 0;
        while ((n = read(fd, buffer, sizeof(buffer))) > 0 && text.size() <= kMaxPasswordFileBytes) {
            text.append(buffer, static_cast<size_t>(n));
        }
        if (n < 0) {
            problem = std::strerror(errno);
        }
        explicit_bzero(buffer, sizeof(buffer));
    }
    close(fd);
    if (problem.empty()) {
        password = FirstLine(text);
        if (password.empty()) {
            problem = "holds no password on its first line";
        }
    }
    explicit_bzero(text.data(), text.size());
    return problem;
}

bool TakePasswordVariable(std::string& password) {
    char* value = std::getenv(kPasswordVariable);
    if (value == nullptr || value[0] == '\0') {
        return false;
    }
    password = value;
    // unsetenv only drops the pointer: the text would stay readable in
    // /proc/PID/environ for the whole run.
    std::memset(value, 0, std::strlen(value));
    unsetenv(kPasswordVariable);
    return true;
}

bool AskPasswordOnTerminal(const std::string& prompt, std::string& password) {
    password.clear();
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        return false;
    }
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    quiet.c_lflag |= ECHONL;
    std::cerr << prompt << std::flush;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) {
        return false;
    }
    const bool read = static_cast<bool>(std::getline(std::cin, password));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!password.empty() && password.back() == '\r') {
        password.pop_back();
    }
    return read;
}
