// What the window shows before a batch, as the CLI lists it: how many
// cameras, of which models, at which versions; and one line per camera
// for the question's details. Free of Qt so that it can be checked alone.
#pragma once

#include <string>
#include <vector>

#include "model/DeviceSInfo.h"

// "3 cameras chosen (2 IPC-2020, 1 Dome-7)" and a line per model with its
// versions: "IPC-2020: 4.0.2(230118) ×2".
std::string ChosenCamerasSummary(const std::vector<DEVICE_S_INFO>& cameras);

// "MAC  IP  name  model  version", one line per camera.
std::string ChosenCamerasList(const std::vector<DEVICE_S_INFO>& cameras);
