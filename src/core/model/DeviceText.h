// How a device record reads in the list (GUI) and in tables (CLI).
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "model/DeviceSInfo.h"

// The software version with its build: "3.1.0(12)", "3.1.0(12)beta", and
// "3.4.2.N(..)" for 3.4.2 cameras whose second mask starts with N (not 0
// or 255).
std::string DeviceVersionText(const DEVICE_S_INFO& record);

// The camera's web page: "http://ip:port", or "http://ip" for port 80.
std::string DeviceWebUrl(const std::string& address, int httpPort);

// A fixed-size text field of a record, up to its first NUL or its end.
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}
template <size_t N>
std::string FieldString(const char (&field)[N]) {
    return std::string(FieldText(field));
}
