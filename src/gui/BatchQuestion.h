// What the window shows before a batch, as the CLI lists it: how many
// cameras, of which models, at which versions; and one line per camera
// for the question's details. Free of Qt so that it can be checked alone.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/DeviceSInfo.h"

// "Upgrade 3 cameras?", and on a line of its own the count of those that
// run newer firmware than their package when there are any.
std::string BatchQuestionText(size_t cameras, size_t downgrades);

// "3 cameras chosen (2 IPC-2020, 1 Dome-7)" and a line per model with its
// versions: "IPC-2020: 4.0.2(230118) ×2".
std::string ChosenCamerasSummary(const std::vector<DEVICE_S_INFO>& cameras);

// "MAC  IP  name  model  version", one line per camera.
std::string ChosenCamerasList(const std::vector<DEVICE_S_INFO>& cameras);
