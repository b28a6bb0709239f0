#include "app/Version.h"

#include <cstdio>

#include "platform/Paths.h"

std::string BaseNameOfPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return name;
}

std::string GetModuleBaseName() {
    return BaseNameOfPath(platform::ExecutablePath());
}

const char* GetSettingsBaseName() {
    return "firmhand";
}

uint64_t MakeVersionNumber(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision) {
    return (static_cast<uint64_t>(major) << 48) | (static_cast<uint64_t>(minor) << 32) |
           (static_cast<uint64_t>(build) << 16) | static_cast<uint64_t>(revision);
}

uint64_t GetModuleVersionNumber() {
    return MakeVersionNumber(FIRMHAND_VERSION_MAJOR, FIRMHAND_VERSION_MINOR, FIRMHAND_VERSION_PATCH,
                             FIRMHAND_VERSION_TWEAK);
}

std::string VersionToString(uint64_t version) {
    if (version == 0) {
        return {};
    }
    char buffer[132];
    std::snprintf(buffer, sizeof(buffer), "%d.%d.%d.%d", static_cast<int>((version >> 48) & 0xFFFF),
                  static_cast<int>((version >> 32) & 0xFFFF),
                  static_cast<int>((version >> 16) & 0xFFFF), static_cast<int>(version & 0xFFFF));
    return buffer;
}

const char* BuildDateText() {
    return __DATE__;
}
const char* BuildTimeText() {
    return __TIME__;
}
