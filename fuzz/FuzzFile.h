// A file of this process's own that holds the fuzzer's input, for parsers
// that read from a path. Written whole each time, readable by its owner only
// (as the settings and credentials readers demand), removed at exit.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

class CFuzzFile {
public:
    CFuzzFile() {
        char pattern[] = "/tmp/fh-fuzz-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd < 0) {
            std::abort();
        }
        close(fd);
        m_path = pattern;
    }
    ~CFuzzFile() { unlink(m_path.c_str()); }

    const std::string& Write(const uint8_t* data, size_t size) const {
        std::ofstream file(m_path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return m_path;
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
