// Owners for the libnl objects that the reachability code allocates.
#pragma once

#include <netlink/addr.h>
#include <netlink/cache.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>

#include <memory>

struct NlSocketFree {
    void operator()(nl_sock* sock) const { nl_socket_free(sock); }
};
struct NlCacheFree {
    void operator()(nl_cache* cache) const { nl_cache_free(cache); }
};
struct NlAddrPut {
    void operator()(nl_addr* addr) const { nl_addr_put(addr); }
};
struct RtnlAddrPut {
    void operator()(rtnl_addr* addr) const { rtnl_addr_put(addr); }
};
struct RtnlRoutePut {
    void operator()(rtnl_route* route) const { rtnl_route_put(route); }
};

using CNlSocket = std::unique_ptr<nl_sock, NlSocketFree>;
using CNlCache = std::unique_ptr<nl_cache, NlCacheFree>;
using CNlAddr = std::unique_ptr<nl_addr, NlAddrPut>;
using CRtnlAddr = std::unique_ptr<rtnl_addr, RtnlAddrPut>;
using CRtnlRoute = std::unique_ptr<rtnl_route, RtnlRoutePut>;

// A route netlink socket, connected; empty on failure.
inline CNlSocket OpenRouteSocket() {
    CNlSocket sock(nl_socket_alloc());
    if (!sock || nl_connect(sock.get(), NETLINK_ROUTE) < 0) {
        return nullptr;
    }
    return sock;
}

// An IPv4 netlink address from a network-order value; empty on failure.
inline CNlAddr MakeNlIpv4(uint32_t address, int prefixLength) {
    CNlAddr addr(nl_addr_build(AF_INET, &address, sizeof(address)));
    if (addr) {
        nl_addr_set_prefixlen(addr.get(), prefixLength);
    }
    return addr;
}
