#include "AdapterSource.h"

#include "reach/Adapters.h"

AdapterEnumerator SystemAdapterEnumerator() {
    return [](const AdapterVisitor& visit) {
        return EnumAdapters([&visit](const ADAPTER_INFO& adapter) {
            return visit(GUI_ADAPTER_INFO{adapter.AdapterName, adapter.Description});
        });
    };
}
