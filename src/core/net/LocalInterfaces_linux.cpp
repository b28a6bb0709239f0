// The interface list from getifaddrs: hardware addresses come with the
// AF_PACKET entries, IPv4 addresses with the AF_INET entries of each name.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <netinet/in.h>

#include <cstring>
#include <memory>

#include "net/LocalInterfaces.h"

namespace {

struct IfAddrsDeleter {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

SWL_LOCAL_INTERFACE& Entry(std::vector<SWL_LOCAL_INTERFACE>& list, const char* name) {
    for (auto& entry : list) {
        if (entry.name == name) {
            return entry;
        }
    }
    list.push_back(SWL_LOCAL_INTERFACE{name, {}, {}});
    return list.back();
}

}  // namespace

int SWL_GetLocalInterfaces(std::vector<SWL_LOCAL_INTERFACE>& interfaces) {
    interfaces.clear();
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) {
        return -1;
    }
    std::unique_ptr<ifaddrs, IfAddrsDeleter> list(raw);
    for (const ifaddrs* it = list.get(); it != nullptr; it = it->ifa_next) {
        if (it->ifa_name == nullptr || it->ifa_addr == nullptr) {
            continue;
        }
        const int family = it->ifa_addr->sa_family;
        if (family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
            SWL_LOCAL_INTERFACE& entry = Entry(interfaces, it->ifa_name);
            if (link->sll_halen >= 6) {
                std::memcpy(entry.mac.data(), link->sll_addr, 6);
            }
        } else if (family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
            char text[INET_ADDRSTRLEN] = {};
            if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text)) != nullptr) {
                Entry(interfaces, it->ifa_name).ipv4.emplace_back(text);
            }
        }
    }
    return 0;
}
