// Route and address changes through route netlink (libnl-route-3).
#include <linux/rtnetlink.h>

#include "Ipv4.h"
#include "NetConfig.h"
#include "NetlinkHandles_linux.h"

namespace reach {

bool AddLinkLocalRouteOn(uint32_t ifIndex, uint32_t source) {
    CNlSocket sock = OpenRouteSocket();
    CRtnlRoute route(rtnl_route_alloc());
    CNlAddr dst = MakeNlIpv4(reach::Ipv4FromHost(0xA9FE0000u), 16);
    if (!sock || !route || !dst || ifIndex == 0) {
        return false;
    }
    rtnl_route_set_family(route.get(), AF_INET);
    rtnl_route_set_table(route.get(), RT_TABLE_MAIN);
    rtnl_route_set_scope(route.get(), RT_SCOPE_LINK);
    rtnl_route_set_protocol(route.get(), RTPROT_STATIC);
    rtnl_route_set_type(route.get(), RTN_UNICAST);
    if (rtnl_route_set_dst(route.get(), dst.get()) < 0) {
        return false;
    }
    if (source != 0) {
        CNlAddr src = MakeNlIpv4(source, 32);
        if (!src || rtnl_route_set_pref_src(route.get(), src.get()) < 0) {
            return false;
        }
    }
    rtnl_nexthop* hop = rtnl_route_nh_alloc();
    if (hop == nullptr) {
        return false;
    }
    rtnl_route_nh_set_ifindex(hop, static_cast<int>(ifIndex));
    rtnl_route_add_nexthop(route.get(), hop);  // the route owns the hop from here
    return rtnl_route_add(sock.get(), route.get(), NLM_F_EXCL) >= 0;
}

}  // namespace reach

bool AddLocalAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) {
    const int prefixLength = reach::MaskPrefixLength(mask);
    if (prefixLength <= 0 || ifIndex == 0 || !reach::IsUnicastIpv4(address)) {
        return false;
    }
    CNlSocket sock = OpenRouteSocket();
    CRtnlAddr addr(rtnl_addr_alloc());
    CNlAddr local = MakeNlIpv4(address, prefixLength);
    if (!sock || !addr || !local) {
        return false;
    }
    rtnl_addr_set_ifindex(addr.get(), static_cast<int>(ifIndex));
    rtnl_addr_set_family(addr.get(), AF_INET);
    if (rtnl_addr_set_local(addr.get(), local.get()) < 0) {
        return false;
    }
    rtnl_addr_set_prefixlen(addr.get(), prefixLength);
    if (prefixLength < 31) {
        CNlAddr broadcast = MakeNlIpv4(address | ~mask, prefixLength);
        if (!broadcast || rtnl_addr_set_broadcast(addr.get(), broadcast.get()) < 0) {
            return false;
        }
    }
    return rtnl_addr_add(sock.get(), addr.get(), NLM_F_EXCL) >= 0;
}
