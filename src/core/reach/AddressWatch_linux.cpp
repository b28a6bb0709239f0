#include "AddressWatch.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/StopWake.h"

namespace reach {

namespace {

using Clock = std::chrono::steady_clock;

// The netlink alignment, as NLMSG_ALIGN has it, without the macros' casts.
constexpr size_t Aligned(size_t length) {
    return (length + NLMSG_ALIGNTO - 1) & ~static_cast<size_t>(NLMSG_ALIGNTO - 1);
}
constexpr size_t kHeaderLength = Aligned(sizeof(nlmsghdr));

}  // namespace

CAddressWatch::CAddressWatch() {
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        return;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_IPV4_IFADDR;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
        close(fd);
        return;
    }
    m_fd = fd;
}

CAddressWatch::~CAddressWatch() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool CAddressWatch::DrainAdded() {
    bool added = false;
    // Large enough for any notification the kernel batches into one read.
    alignas(nlmsghdr) std::array<char, 16384> buffer;
    for (;;) {
        const ssize_t got = recv(m_fd, buffer.data(), buffer.size(), 0);
        if (got <= 0) {
            // ENOBUFS: the queue overflowed and notifications were dropped.
            return added || (got < 0 && errno == ENOBUFS);
        }
        size_t offset = 0;
        const size_t length = static_cast<size_t>(got);
        while (length - offset >= sizeof(nlmsghdr)) {
            nlmsghdr header;
            std::memcpy(&header, buffer.data() + offset, sizeof(header));
            if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > length - offset) {
                break;
            }
            if (header.nlmsg_type == RTM_NEWADDR &&
                header.nlmsg_len >= kHeaderLength + sizeof(ifaddrmsg)) {
                ifaddrmsg message;
                std::memcpy(&message, buffer.data() + offset + kHeaderLength, sizeof(message));
                added = added || message.ifa_family == AF_INET;
            }
            offset += std::min(Aligned(header.nlmsg_len), length - offset);
        }
    }
}

CAddressWatch::Wake CAddressWatch::Wait(CAddressWatch* watch, std::chrono::milliseconds limit,
                                        std::stop_token stop) {
    const platform::CStopWakeFd wake(stop);
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        if (stop.stop_requested()) {
            return Wake::Stopped;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return Wake::TimedOut;
        }
        std::array<pollfd, 2> fds{};
        fds[0] = {watch != nullptr ? watch->m_fd : -1, POLLIN, 0};
        fds[1] = {wake.Get(), POLLIN, 0};
        const int timeoutMs = static_cast<int>(std::min<long long>(left.count(), 1 << 30));
        const int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0 && errno != EINTR) {
            return Wake::TimedOut;
        }
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLERR)) != 0 && watch->DrainAdded()) {
            return Wake::Added;
        }
    }
}

}  // namespace reach
