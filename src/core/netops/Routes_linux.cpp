// The route dump through route netlink (libnl-route-3).
#include <linux/rtnetlink.h>

#include <cstring>

#include "NetlinkHandles_linux.h"
#include "Routes.h"

namespace reach {

namespace {

struct RouteWalk {
    std::vector<Ipv4Route>* routes;
};

void TakeRoute(nl_object* object, void* arg) {
    auto* walk = static_cast<RouteWalk*>(arg);
    auto* route = reinterpret_cast<rtnl_route*>(object);
    if (rtnl_route_get_family(route) != AF_INET || rtnl_route_get_table(route) == RT_TABLE_LOCAL) {
        return;
    }
    Ipv4Route entry;
    entry.table = rtnl_route_get_table(route);
    nl_addr* dst = rtnl_route_get_dst(route);
    if (dst != nullptr) {
        entry.prefixLength = static_cast<int>(nl_addr_get_prefixlen(dst));
        if (nl_addr_get_len(dst) == sizeof(uint32_t)) {
            std::memcpy(&entry.destination, nl_addr_get_binary_addr(dst), sizeof(uint32_t));
        }
    }
    if (rtnl_route_get_nnexthops(route) == 1) {
        entry.ifIndex =
            static_cast<uint32_t>(rtnl_route_nh_get_ifindex(rtnl_route_nexthop_n(route, 0)));
    }
    walk->routes->push_back(entry);
}

}  // namespace

bool ListIpv4Routes(std::vector<Ipv4Route>& routes) {
    routes.clear();
    CNlSocket sock = OpenRouteSocket();
    if (!sock) {
        return false;
    }
    nl_cache* raw = nullptr;
    if (rtnl_route_alloc_cache(sock.get(), AF_INET, 0, &raw) < 0) {
        return false;
    }
    CNlCache cache(raw);
    RouteWalk walk{&routes};
    nl_cache_foreach(cache.get(), TakeRoute, &walk);
    return true;
}

}  // namespace reach
