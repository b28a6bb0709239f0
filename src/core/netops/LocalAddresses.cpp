#include "LocalAddresses.h"

#include "Adapters.h"
#include "Ipv4.h"

bool ListLocalAddresses(std::vector<LOCAL_ADDRESS>& addresses) {
    addresses.clear();
    std::vector<ADAPTER_INFO> adapters;
    if (!GetAdapterList(adapters)) {
        return false;
    }
    for (const ADAPTER_INFO& adapter : adapters) {
        for (const IP_ADDR_ENTRY& entry : adapter.IpAddressList) {
            addresses.push_back({entry.address, adapter.Index, entry.mask});
        }
    }
    return true;
}

bool IsOnLocalSubnet(uint32_t address, uint32_t mask, const std::vector<LOCAL_ADDRESS>& locals) {
    if (GetIpClass(address) < 0) {
        return false;
    }
    for (const LOCAL_ADDRESS& local : locals) {
        if ((local.address & local.mask) == (address & mask)) {
            return true;
        }
    }
    return false;
}

bool IsOnLocalSubnet(uint32_t address, uint32_t mask) {
    std::vector<LOCAL_ADDRESS> locals;
    return ListLocalAddresses(locals) && IsOnLocalSubnet(address, mask, locals);
}

bool IsLocalHostAddress(uint32_t address) {
    std::vector<LOCAL_ADDRESS> locals;
    if (!ListLocalAddresses(locals)) {
        return false;
    }
    for (const LOCAL_ADDRESS& local : locals) {
        if (local.address == address) {
            return true;
        }
    }
    return false;
}
