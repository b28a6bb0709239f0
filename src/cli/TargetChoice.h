// --only-targets: the cameras at the search targets' addresses, not every
// camera the multicast search found besides them.
#pragma once

#include <string>
#include <vector>

#include "model/DeviceSInfo.h"

// "" when every target is an address a.b.c.d[:PORT], else what is wrong.
std::string CheckOnlyTargets(const std::vector<std::string>& targets);

// The cameras whose first or second address is one of the targets'.
std::vector<DeviceInfoPtr> CamerasAtTargets(const std::vector<DeviceInfoPtr>& found,
                                            const std::vector<std::string>& targets);
