#include "Adapters.h"

int EnumAdapters(const std::function<bool(const ADAPTER_INFO&)>& visit) {
    std::vector<ADAPTER_INFO> adapters;
    if (!reach::ReadSystemAdapters(adapters)) {
        return -1;
    }
    int count = 0;
    for (const ADAPTER_INFO& adapter : adapters) {
        ++count;
        if (!visit(adapter)) {
            break;
        }
    }
    return count;
}

bool GetAdapterList(std::vector<ADAPTER_INFO>& adapters) {
    adapters.clear();
    return reach::ReadSystemAdapters(adapters);
}
