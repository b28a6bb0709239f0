#include "session/InventorySite.h"

#include "inventory/InventoryText.h"
#include "netops/Ipv4.h"

std::string AdapterSubnet(const std::vector<ADAPTER_INFO>& adapters, const std::string& adapter) {
    if (adapter.empty()) {
        return "";
    }
    for (const ADAPTER_INFO& info : adapters) {
        if (info.AdapterName == adapter && !info.IpAddressList.empty()) {
            const IP_ADDR_ENTRY& entry = info.IpAddressList.front();
            return inventory::SubnetText(reach::Ipv4ToHost(entry.address),
                                         reach::Ipv4ToHost(entry.mask));
        }
    }
    return "";
}

std::string AdapterSubnet(const std::string& adapter) {
    std::vector<ADAPTER_INFO> adapters;
    GetAdapterList(adapters);
    return AdapterSubnet(adapters, adapter);
}
