#include "GuiResources.h"

#include <QtCore/qglobal.h>

#include <mutex>

// Q_INIT_RESOURCE must stand outside every namespace.
static void RegisterFirmhandResources() {
    Q_INIT_RESOURCE(firmhand);
    Q_INIT_RESOURCE(state_icons);  // the state icons' fallback
}

void InitGuiResources() {
    // The library is static: without this call the linker would leave the
    // resource data out.
    static std::once_flag once;
    std::call_once(once, RegisterFirmhandResources);
}
