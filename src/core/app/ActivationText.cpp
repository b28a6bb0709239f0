#include "app/ActivationText.h"

#include "app/StringTable.h"

bool DeviceActivationText(const DEVICE_S_INFO& record, std::string& text) {
    if (record.deviceActivated == 0) {
        text = LoadString(IDS_ACTIVATED);
        return true;
    }
    if (record.deviceActivated == 1) {
        text = LoadString(IDS_NONACTIVATED);
        return true;
    }
    text.clear();
    return false;
}
