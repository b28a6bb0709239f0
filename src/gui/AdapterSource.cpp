#include "AdapterSource.h"

#include "session/SessionNetwork.h"

namespace {

// "a.b.c.d/len" of an address and mask in network order.
std::string AddressText(const IP_ADDR_ENTRY& entry) {
    return reach::Ipv4ToText(entry.address) + '/' +
           std::to_string(reach::MaskPrefixLength(entry.mask));
}

}  // namespace

AdapterEnumerator SystemAdapterEnumerator() {
    return [](const AdapterVisitor& visit) {
        return EnumAdapters([&visit](const ADAPTER_INFO& adapter) {
            GUI_ADAPTER_INFO info{adapter.AdapterName, adapter.Description, {}};
            for (const IP_ADDR_ENTRY& entry : adapter.IpAddressList) {
                info.addresses.push_back(AddressText(entry));
            }
            return visit(info);
        });
    };
}
