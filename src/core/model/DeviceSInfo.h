// The discovered device record, filled from a search report and copied
// whole wherever it goes (the list and the jobs hold it by shared pointer).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

struct DEVICE_S_INFO {
    char devName[20];
    char mac[64];
    char ip[20];
    char ip2[20];
    char mask[20];
    char mask2[20];
    int32_t dataPort;
    int32_t httpPort;
    char productModel[24];
    char softwareVer[16];
    char buildDate[16];
    char kernelVer[16];
    char hardwareVer[20];
    int32_t build;
    int32_t deviceActivated;
};

using DeviceInfoPtr = std::shared_ptr<DEVICE_S_INFO>;

// A zero-filled record, as the intake creates it.
inline std::unique_ptr<DEVICE_S_INFO> MakeEmptyDeviceInfo() {
    auto info = std::make_unique<DEVICE_S_INFO>();
    std::memset(info.get(), 0, sizeof(DEVICE_S_INFO));
    return info;
}

// Copies `text` into a fixed field, cut to `limit` characters (and never
// past the field), always NUL-terminated.
template <size_t N>
void CopyField(char (&field)[N], const std::string& text, size_t limit = N - 1) {
    const size_t n = std::min<size_t>({text.size(), limit, N - 1});
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

inline bool operator==(const DEVICE_S_INFO& a, const DEVICE_S_INFO& b) {
    return std::memcmp(&a, &b, sizeof(DEVICE_S_INFO)) == 0;
}
