#include "support/PrivateTmpfs.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace testing_support {

CPrivateTmpfs::~CPrivateTmpfs() {
    if (!m_folder.empty()) {
        ::umount2(m_folder.c_str(), MNT_DETACH);
    }
}

bool CPrivateTmpfs::Mount(const std::string& folder, size_t bytes, std::string& error) {
    if (::geteuid() != 0) {
        error = "mounting a tmpfs needs root";
        return false;
    }
    if (::unshare(CLONE_NEWNS) != 0) {
        error = std::string("unshare: ") + std::strerror(errno);
        return false;
    }
    // Nothing mounted here may reach the machine's namespace.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        error = std::string("making / private: ") + std::strerror(errno);
        return false;
    }
    ::mkdir(folder.c_str(), 0700);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        error = std::string("mounting the tmpfs: ") + std::strerror(errno);
        return false;
    }
    m_folder = folder;
    return true;
}

bool CPrivateTmpfs::Fill(std::string& error) {
    m_filler = m_folder + "/filler";
    const int fd = ::open(m_filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = std::string("filler: ") + std::strerror(errno);
        return false;
    }
    // Large pieces first, then single bytes for the last page.
    const std::vector<char> chunk(64 * 1024, 'f');
    for (size_t piece : {chunk.size(), size_t{1}}) {
        while (::write(fd, chunk.data(), piece) > 0) {
        }
    }
    const bool full = errno == ENOSPC;
    if (!full) {
        error = std::string("filler: ") + std::strerror(errno);
    }
    ::close(fd);
    return full;
}

void CPrivateTmpfs::Unfill() {
    if (!m_filler.empty()) {
        ::unlink(m_filler.c_str());
    }
}

}  // namespace testing_support
