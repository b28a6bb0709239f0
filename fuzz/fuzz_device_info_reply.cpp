// The analytics reply: whatever a camera's HTTP API answers to
// GetDeviceInfo is read into three version texts taken from the reply.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/DeviceInfoReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    std::string structVersion = "x";
    std::string faceVersion = "x";
    std::string vehicleVersion = "x";
    if (!GetDeviceInfoReply(reply, structVersion, faceVersion, vehicleVersion)) {
        std::abort();  // always true
    }
    if (structVersion.size() + faceVersion.size() + vehicleVersion.size() > reply.size()) {
        std::abort();  // the texts come out of the reply
    }
    return 0;
}
