#include "TargetChoice.h"

#include <algorithm>
#include <cctype>

#include "model/DeviceText.h"

namespace {

std::string HostOf(const std::string& target) {
    return target.substr(0, target.find(':'));
}

}  // namespace

std::string CheckOnlyTargets(const std::vector<std::string>& targets) {
    if (targets.empty()) {
        return "--only-targets needs at least one --target";
    }
    for (const std::string& target : targets) {
        const std::string host = HostOf(target);
        if (!std::all_of(host.begin(), host.end(), [](char c) {
                return c == '.' || std::isdigit(static_cast<unsigned char>(c));
            })) {
            return "--only-targets compares camera addresses: give --target " + target +
                   " as a.b.c.d[:PORT]";
        }
    }
    return "";
}

std::vector<DeviceInfoPtr> CamerasAtTargets(const std::vector<DeviceInfoPtr>& found,
                                            const std::vector<std::string>& targets) {
    std::vector<DeviceInfoPtr> kept;
    for (const DeviceInfoPtr& record : found) {
        const std::string ip = FieldString(record->ip);
        const std::string ip2 = FieldString(record->ip2);
        if (std::any_of(targets.begin(), targets.end(), [&](const std::string& target) {
                const std::string host = HostOf(target);
                return host == ip || (!ip2.empty() && host == ip2);
            })) {
            kept.push_back(record);
        }
    }
    return kept;
}
