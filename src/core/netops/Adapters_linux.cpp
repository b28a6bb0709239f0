// Adapter list from route netlink (links and their IPv4 addresses), in the
// order of the interface indexes. Physical adapters are told apart through
// sysfs: only an interface backed by a device has a "device" entry there.
#include <net/if.h>
#include <netlink/route/link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>

#include "Adapters.h"
#include "Ipv4.h"
#include "NetlinkHandles_linux.h"

namespace {

// An interface name that is safe to put into a sysfs path.
bool IsPlainInterfaceName(const std::string& name) {
    return !name.empty() && name.size() < IFNAMSIZ && name != "." && name != ".." &&
           name.find('/') == std::string::npos;
}

// The kernel driver's name ("e1000e"), "" for interfaces without a device.
std::string DriverName(const std::string& name) {
    if (!IsPlainInterfaceName(name)) {
        return {};
    }
    const std::string link = "/sys/class/net/" + name + "/device/driver";
    char target[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), target, sizeof(target) - 1);
    if (n <= 0) {
        return {};
    }
    const std::string path(target, static_cast<size_t>(n));
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DescribeLink(rtnl_link* link, const std::string& name, bool loopback) {
    const char* alias = rtnl_link_get_ifalias(link);
    if (alias != nullptr && alias[0] != '\0') {
        return std::string(alias) + " (" + name + ")";
    }
    std::string kind = DriverName(name);
    if (kind.empty() && rtnl_link_get_type(link) != nullptr) {
        kind = rtnl_link_get_type(link);
    }
    if (kind.empty()) {
        kind = loopback ? "loopback" : "network interface";
    }
    return name + " (" + kind + ")";
}

}  // namespace

bool reach::ReadSystemAdapters(std::vector<ADAPTER_INFO>& adapters) {
    CNlSocket sock = OpenRouteSocket();
    if (!sock) {
        return false;
    }
    nl_cache* rawLinks = nullptr;
    if (rtnl_link_alloc_cache(sock.get(), AF_UNSPEC, &rawLinks) < 0) {
        return false;
    }
    CNlCache links(rawLinks);
    nl_cache* rawAddrs = nullptr;
    if (rtnl_addr_alloc_cache(sock.get(), &rawAddrs) < 0) {
        return false;
    }
    CNlCache addrs(rawAddrs);

    std::map<int, ADAPTER_INFO> byIndex;
    for (nl_object* obj = nl_cache_get_first(links.get()); obj != nullptr;
         obj = nl_cache_get_next(obj)) {
        auto* link = reinterpret_cast<rtnl_link*>(obj);
        const char* name = rtnl_link_get_name(link);
        const int index = rtnl_link_get_ifindex(link);
        if (name == nullptr || index <= 0) {
            continue;
        }
        ADAPTER_INFO info;
        info.AdapterName = name;
        info.Index = static_cast<uint32_t>(index);
        info.Loopback = (rtnl_link_get_flags(link) & IFF_LOOPBACK) != 0;
        info.Description = DescribeLink(link, info.AdapterName, info.Loopback);
        nl_addr* mac = rtnl_link_get_addr(link);
        if (mac != nullptr && nl_addr_get_len(mac) == info.Address.size()) {
            std::memcpy(info.Address.data(), nl_addr_get_binary_addr(mac), info.Address.size());
            info.AddressLength = static_cast<uint32_t>(info.Address.size());
        }
        byIndex[index] = std::move(info);
    }

    for (nl_object* obj = nl_cache_get_first(addrs.get()); obj != nullptr;
         obj = nl_cache_get_next(obj)) {
        auto* addr = reinterpret_cast<rtnl_addr*>(obj);
        nl_addr* local = rtnl_addr_get_local(addr);
        if (rtnl_addr_get_family(addr) != AF_INET || local == nullptr ||
            nl_addr_get_len(local) != sizeof(uint32_t)) {
            continue;
        }
        auto it = byIndex.find(rtnl_addr_get_ifindex(addr));
        if (it == byIndex.end()) {
            continue;
        }
        IP_ADDR_ENTRY entry;
        std::memcpy(&entry.address, nl_addr_get_binary_addr(local), sizeof(entry.address));
        entry.mask = reach::PrefixLengthToMask(rtnl_addr_get_prefixlen(addr));
        it->second.IpAddressList.push_back(entry);
    }

    for (auto& [index, info] : byIndex) {
        adapters.push_back(std::move(info));
    }
    return true;
}

bool IsPhysicalAdapter(const ADAPTER_INFO& adapter) {
    if (!IsPlainInterfaceName(adapter.AdapterName)) {
        return false;
    }
    const std::string path = "/sys/class/net/" + adapter.AdapterName + "/device";
    return access(path.c_str(), F_OK) == 0;
}
