#include "ArpProbe.h"

#include <algorithm>

#include "PacketCapture.h"
#include "platform/Pub.h"

namespace reach {

namespace {

const ADAPTER_INFO* AdapterNamed(const std::vector<ADAPTER_INFO>& adapters,
                                 const std::string& name) {
    const auto it = std::find_if(adapters.begin(), adapters.end(),
                                 [&](const ADAPTER_INFO& a) { return a.AdapterName == name; });
    return it == adapters.end() ? nullptr : &*it;
}

bool SendProbe(CPacketCapture& capture, const ADAPTER_INFO& adapter, uint32_t target) {
    const ArpProbeFrame frame = BuildArpProbe(adapter.Address, target);
    return capture.Send(frame.data(), frame.size());
}

}  // namespace

std::optional<ADAPTER_INFO> FindAdapterByArp(
    const std::vector<ADAPTER_INFO>& adapters, uint32_t deviceAddress, const MacAddress& deviceMac,
    const std::function<bool(const ADAPTER_INFO&)>& eligible, const ArpTimings& timings) {
    std::vector<std::string> devices;
    if (!ListCaptureDevices(devices)) {
        return std::nullopt;
    }
    for (const std::string& device : devices) {
        const ADAPTER_INFO* adapter = AdapterNamed(adapters, device);
        if (adapter == nullptr || !eligible(*adapter)) {
            continue;
        }
        CPacketCapture capture;
        if (!capture.Open(device, false) || !SendProbe(capture, *adapter, deviceAddress)) {
            continue;
        }
        for (int read = 0; read < timings.findMaxReads; ++read) {
            const uint8_t* frame = nullptr;
            size_t length = 0;
            const int result = capture.Next(frame, length, timings.findReadTimeoutMs);
            if (result < 0) {
                break;
            }
            if (result == 0) {
                continue;
            }
            const auto source = ArpAnswerSource(frame, length, deviceAddress);
            if (source && *source == deviceMac) {
                return *adapter;
            }
        }
    }
    return std::nullopt;
}

bool ProbeAddressAnswered(const ADAPTER_INFO& adapter, uint32_t candidate,
                          const ArpTimings& timings) {
    std::vector<std::string> devices;
    if (!ListCaptureDevices(devices) ||
        std::find(devices.begin(), devices.end(), adapter.AdapterName) == devices.end()) {
        return false;
    }
    const uint32_t wait = static_cast<uint32_t>(std::max(timings.inUseWaitMs, 0));
    CPacketCapture capture;
    if (!capture.Open(adapter.AdapterName, true) || !SendProbe(capture, adapter, candidate)) {
        return false;
    }
    const uint32_t start = PUB_GetTickCount();
    for (uint32_t elapsed = 0; elapsed < wait; elapsed = PUB_TicksSince(start)) {
        const uint8_t* frame = nullptr;
        size_t length = 0;
        const int result = capture.Next(frame, length, static_cast<int>(wait - elapsed));
        if (result < 0) {
            return false;
        }
        if (result == 0) {
            continue;
        }
        const auto source = ArpAnswerSource(frame, length, candidate);
        if (source && *source != adapter.Address) {
            return true;
        }
    }
    return false;
}

}  // namespace reach
