// An append-only file whose every line is on the disk before Append
// returns (written, then fsync'd): a record that survives a kill or a
// power loss at any instant, apart from at most a torn last line.
#pragma once

#include <memory>
#include <string>

namespace platform {

class CSyncedFile {
public:
    // Opens (creating owner-only) for appending. Null with `error` set when
    // the file cannot be opened.
    static std::unique_ptr<CSyncedFile> Open(const std::string& path, std::string& error);
    ~CSyncedFile();
    CSyncedFile(const CSyncedFile&) = delete;
    CSyncedFile& operator=(const CSyncedFile&) = delete;

    // Writes `line` and a newline, then syncs. False when either failed; a
    // line only partly written is cut again.
    bool Append(const std::string& line);
    // Cuts a torn last line (bytes after the last newline, left by a kill
    // or a full disk during a write) and syncs, so that the next line
    // starts on a line of its own. False when the file could not be cut.
    bool CutTornLine();

private:
    explicit CSyncedFile(int fd) : m_fd(fd) {}
    int m_fd;
};

}  // namespace platform
