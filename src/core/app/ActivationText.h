// The activation state of a device record in the interface language.
#pragma once

#include <string>

#include "model/DeviceSInfo.h"

// "Activated" for 0, "Nonactivated" for 1; false and no text for any other
// value.
bool DeviceActivationText(const DEVICE_S_INFO& record, std::string& text);
