#include "NetcfgHost.h"

#include <net/if.h>
#include <signal.h>
#include <sys/capability.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace netcfg {

namespace {

struct CapFree {
    void operator()(cap_t caps) const { cap_free(caps); }
};
using CCaps = std::unique_ptr<std::remove_pointer_t<cap_t>, CapFree>;

bool Holds(cap_t caps, cap_value_t cap) {
    cap_flag_value_t value = CAP_CLEAR;
    return cap_get_flag(caps, cap, CAP_PERMITTED, &value) == 0 && value == CAP_SET;
}

}  // namespace

std::string KeepOnlyNetworkCapabilities() {
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    CCaps current(cap_get_proc());
    CCaps keep(cap_init());
    if (!current || !keep) {
        return "its capabilities cannot be read";
    }
    std::string missing;
    for (const auto& [cap, name] :
         {std::pair{CAP_NET_ADMIN, "CAP_NET_ADMIN"}, std::pair{CAP_NET_RAW, "CAP_NET_RAW"}}) {
        if (Holds(current.get(), cap)) {
            const cap_value_t one[] = {cap};
            cap_set_flag(keep.get(), CAP_PERMITTED, 1, one, CAP_SET);
            cap_set_flag(keep.get(), CAP_EFFECTIVE, 1, one, CAP_SET);
        } else {
            missing += missing.empty() ? name : std::string(" and ") + name;
        }
    }
    if (cap_set_proc(keep.get()) != 0) {
        return "its capabilities cannot be set";
    }
    return missing;
}

bool DieWithParent(long parentPid) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0) {
        return false;
    }
    return parentPid <= 0 || getppid() == static_cast<pid_t>(parentPid);
}

bool IsPacketSocket(int fd) {
    int type = 0;
    socklen_t length = sizeof(type);
    return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_SEQPACKET;
}

long ReceiveMessage(int fd, uint8_t* buffer, size_t size) {
    for (;;) {
        const ssize_t n = recv(fd, buffer, size, MSG_TRUNC);
        if (n >= 0 || errno != EINTR) {
            return static_cast<long>(n);
        }
    }
}

bool SendMessage(int fd, const uint8_t* data, size_t size) {
    ssize_t n = -1;
    do {
        n = send(fd, data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(size);
}

bool IsInterfaceUp(const std::string& name) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || name.size() >= IFNAMSIZ) {
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    ifreq request{};
    std::memcpy(request.ifr_name, name.c_str(), name.size());
    const bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0 && (request.ifr_flags & IFF_UP) != 0;
    close(fd);
    return up;
}

void ReportLine(const std::string& text) {
    std::fprintf(stderr, "firmhand-netcfg: %s\n", text.c_str());
}

}  // namespace netcfg
