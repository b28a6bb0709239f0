#include "ArpProbe.h"

#include <algorithm>

#include "PacketCapture.h"
#include "platform/Pub.h"
#include "platform/StopWake.h"

namespace reach {

bool ProbeAndListen(const std::string& device, const MacAddress& ownMac, uint32_t target,
                    const ArpListen& listen, std::vector<MacAddress>& answers) {
    answers.clear();
    if (listen.stop.stop_requested()) {
        return false;
    }
    const platform::CStopWakeFd wake(listen.stop);
    CPacketCapture capture;
    const ArpProbeFrame frame = BuildArpProbe(ownMac, target);
    if (!capture.Open(device, listen.promiscuous) || !capture.Send(frame.data(), frame.size())) {
        return false;
    }
    const uint32_t wait = static_cast<uint32_t>(std::max(listen.waitMs, 0));
    const uint32_t start = PUB_GetTickCount();
    for (uint32_t elapsed = 0; elapsed < wait; elapsed = PUB_TicksSince(start)) {
        const uint8_t* received = nullptr;
        size_t length = 0;
        const int result =
            capture.Next(received, length, static_cast<int>(wait - elapsed), wake.Get());
        if (listen.stop.stop_requested()) {
            return false;
        }
        if (result < 0) {
            break;
        }
        if (result == 0) {
            continue;
        }
        const auto source = ArpAnswerSource(received, length, target);
        if (!source || *source == ownMac) {
            continue;
        }
        if (std::find(answers.begin(), answers.end(), *source) == answers.end() &&
            answers.size() < kMaxArpAnswers) {
            answers.push_back(*source);
        }
        if (!listen.expected || *source == *listen.expected) {
            break;
        }
    }
    return true;
}

bool ProbeOnAdapter(const ADAPTER_INFO& adapter, uint32_t target, const ArpListen& listen,
                    std::vector<MacAddress>& answers) {
    return ProbeAndListen(adapter.AdapterName, adapter.Address, target, listen, answers);
}

std::optional<ADAPTER_INFO> FindAdapterByArp(
    const std::vector<ADAPTER_INFO>& adapters, uint32_t deviceAddress, const MacAddress& deviceMac,
    const std::function<bool(const ADAPTER_INFO&)>& eligible, const ArpTimings& timings,
    const ArpProber& probe, std::stop_token stop) {
    ArpListen listen;
    listen.waitMs = std::max(timings.findReadTimeoutMs, 0) * std::max(timings.findMaxReads, 0);
    listen.expected = deviceMac;
    listen.stop = stop;
    for (const ADAPTER_INFO& adapter : adapters) {
        if (stop.stop_requested()) {
            return std::nullopt;
        }
        if (adapter.Loopback || !eligible(adapter)) {
            continue;
        }
        std::vector<MacAddress> answers;
        if (probe(adapter, deviceAddress, listen, answers) &&
            std::find(answers.begin(), answers.end(), deviceMac) != answers.end()) {
            return adapter;
        }
    }
    return std::nullopt;
}

bool ProbeAddressAnswered(const ADAPTER_INFO& adapter, uint32_t candidate,
                          const ArpTimings& timings, const ArpProber& probe, std::stop_token stop) {
    ArpListen listen;
    listen.promiscuous = true;
    listen.waitMs = std::max(timings.inUseWaitMs, 0);
    listen.stop = stop;
    std::vector<MacAddress> answers;
    return probe(adapter, candidate, listen, answers) && !answers.empty();
}

}  // namespace reach
