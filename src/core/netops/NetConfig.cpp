#include "NetConfig.h"

namespace reach {

const ADAPTER_INFO* ChooseLinkLocalRouteAdapter(const std::vector<ADAPTER_INFO>& adapters) {
    const ADAPTER_INFO* firstLink = nullptr;
    for (const ADAPTER_INFO& adapter : adapters) {
        if (adapter.Loopback) {
            continue;
        }
        if (!adapter.IpAddressList.empty()) {
            return &adapter;
        }
        if (firstLink == nullptr) {
            firstLink = &adapter;
        }
    }
    return firstLink;
}

}  // namespace reach

bool AddLinkLocalRoute() {
    std::vector<ADAPTER_INFO> adapters;
    GetAdapterList(adapters);
    const ADAPTER_INFO* adapter = reach::ChooseLinkLocalRouteAdapter(adapters);
    if (adapter == nullptr) {
        return false;
    }
    const uint32_t source =
        adapter->IpAddressList.empty() ? 0 : adapter->IpAddressList.front().address;
    return reach::AddLinkLocalRouteOn(adapter->Index, source);
}
