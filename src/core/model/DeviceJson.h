// A camera's record as JSON, as `firmhand-cli scan --json` prints it and the
// window exports its list: the record's field names plus versionText and
// activationText.
#pragma once

#include <string>

#include "model/DeviceSInfo.h"
#include "model/JsonText.h"

// `activationText` in the interface language, from the front-end's table.
CJsonObject DeviceJsonObject(const DEVICE_S_INFO& record, const std::string& activationText);
