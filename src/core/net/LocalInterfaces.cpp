#include "net/LocalInterfaces.h"

const SWL_LOCAL_INTERFACE* SWL_FindInterfaceByAddress(
    const std::vector<SWL_LOCAL_INTERFACE>& interfaces, const std::string& address) {
    for (const auto& entry : interfaces) {
        for (const auto& ip : entry.ipv4) {
            if (ip == address) {
                return &entry;
            }
        }
    }
    return nullptr;
}
