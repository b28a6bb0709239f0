// A small tmpfs seen only by this thread and the threads it starts: a file
// system that fills up for real, without touching the machine's mounts.
#pragma once

#include <string>

namespace testing_support {

class CPrivateTmpfs {
public:
    CPrivateTmpfs() = default;
    ~CPrivateTmpfs();
    CPrivateTmpfs(const CPrivateTmpfs&) = delete;
    CPrivateTmpfs& operator=(const CPrivateTmpfs&) = delete;

    // Moves the calling thread into a mount namespace of its own and mounts
    // a tmpfs of `bytes` on `folder` (created if missing). Needs root; false
    // with `error` set otherwise. Start the threads that must see the file
    // system (a session's) after this call, from this thread.
    bool Mount(const std::string& folder, size_t bytes, std::string& error);
    // Writes a file in the tmpfs until no byte more fits.
    bool Fill(std::string& error);
    // Frees what Fill took.
    void Unfill();

private:
    std::string m_folder;
    std::string m_filler;
};

}  // namespace testing_support
