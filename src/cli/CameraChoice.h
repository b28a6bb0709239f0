// Which of the cameras found a command works on: --all, --mac or --model.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "model/DeviceSInfo.h"

struct CameraChoice {
    bool all = false;
    std::vector<std::string> macs;
    std::vector<std::string> models;
};

// The chosen cameras, each once: in list order for --all and --model, in
// the order given for --mac. Each MAC not found, or each model (compared
// without regard to case) that no camera has, is named on `err` and sets
// `*missing` (when given).
std::vector<DeviceInfoPtr> ChooseCameras(const std::vector<DeviceInfoPtr>& found,
                                         const CameraChoice& choice, std::ostream& err,
                                         bool* missing = nullptr);
