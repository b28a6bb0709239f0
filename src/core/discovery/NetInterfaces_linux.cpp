#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>
#include <memory>

#include "app/Logger.h"
#include "discovery/NetInterfaces.h"

FH_LOG_SOURCE("NetInterfaces");

namespace {

struct IfAddrsFree {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

}  // namespace

std::vector<NetInterface> EnumIPv4Interfaces() {
    std::vector<NetInterface> result;
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) {
        LOG_WARN("EnumIPv4Interfaces", "getifaddrs failed %d", errno);
        return result;
    }
    const std::unique_ptr<ifaddrs, IfAddrsFree> list(raw);
    for (const ifaddrs* it = list.get(); it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET ||
            it->ifa_name == nullptr) {
            continue;
        }
        NetInterface itf;
        itf.name = it->ifa_name;
        itf.address = ntohl(reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr);
        itf.up = (it->ifa_flags & IFF_UP) != 0;
        itf.running = (it->ifa_flags & IFF_RUNNING) != 0;
        itf.loopback = (it->ifa_flags & IFF_LOOPBACK) != 0;
        result.push_back(std::move(itf));
    }
    return result;
}
