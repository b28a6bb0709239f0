// Packages given per model (--package MODEL=FILE) against the cameras
// chosen: MODEL is matched without regard to case, as --model is, and a
// model that matches no chosen camera is named with the models there are.
#pragma once

#include <string>
#include <vector>

#include "model/DeviceSInfo.h"
#include "session/SessionTypes.h"

// Rewrites each package's model to the spelling of the chosen cameras'.
// "" when every model matched a chosen camera, else the message for the
// first that did not.
std::string MatchPackageModels(std::vector<BatchPackage>& packages,
                               const std::vector<DeviceInfoPtr>& chosen);
