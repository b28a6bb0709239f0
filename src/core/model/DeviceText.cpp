#include "model/DeviceText.h"

#include <cctype>

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size())) {
        text.replace(pos, from.size(), to);
    }
}

// The decimal value of `mask2` up to its first dot; 0 without a dot or digits.
int FirstMaskOctet(const char* mask2) {
    const std::string mask(mask2);
    const auto dot = mask.find('.');
    if (dot == std::string::npos) {
        return 0;
    }
    int value = 0;
    for (size_t i = 0; i < dot && std::isdigit(static_cast<unsigned char>(mask[i])); ++i) {
        value = value * 10 + (mask[i] - '0');
        if (value > 100000) {
            break;
        }
    }
    return value;
}

}  // namespace

std::string DeviceVersionText(const DEVICE_S_INFO& record) {
    std::string text = FieldString(record.softwareVer);
    if (record.build != -1) {
        const std::string build = "(" + std::to_string(record.build) + ")";
        if (text.find("beta") != std::string::npos) {
            ReplaceAll(text, "beta", build + "beta");
        } else {
            text += build;
        }
    }
    if (text.rfind("3.4.2", 0) == 0) {
        const int n = FirstMaskOctet(record.mask2);
        if (n != 0 && n != 255) {
            ReplaceAll(text, "3.4.2", "3.4.2." + std::to_string(n));
        }
    }
    return text;
}

std::string DeviceWebUrl(const std::string& address, int httpPort) {
    if (httpPort == 80) {
        return "http://" + address;
    }
    return "http://" + address + ":" + std::to_string(httpPort);
}
