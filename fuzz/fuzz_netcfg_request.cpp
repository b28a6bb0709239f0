// The network helper's request and reply parsers on any bytes: a message
// they take must be within its bounds and read back the same after the
// encoder writes it again; nothing else may pass.
#include <cstdint>
#include <cstdlib>

#include "netops/NetcfgRequest.h"

using namespace netcfg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Request request;
    std::string reason;
    if (DecodeRequest(data, size, request, reason)) {
        if (size > kMaxMessageBytes || !IsValidInterfaceName(request.interfaceName) ||
            request.op == Op::Hello ||
            (request.op == Op::ArpProbe &&
             (request.waitMs < 1 || request.waitMs > kMaxProbeWaitMs)) ||
            (request.op == Op::AddAddress && (request.prefixLength < kMinPrefixLength ||
                                              request.prefixLength > kMaxPrefixLength))) {
            std::abort();
        }
        const std::vector<uint8_t> again = EncodeRequest(request);
        Request back;
        if (!DecodeRequest(again.data(), again.size(), back, reason) ||
            back.interfaceName != request.interfaceName || back.address != request.address ||
            back.op != request.op || back.prefixLength != request.prefixLength ||
            back.waitMs != request.waitMs || back.expected != request.expected) {
            std::abort();
        }
    } else if (reason.empty()) {
        std::abort();  // every refusal says why
    }
    Reply reply;
    if (DecodeReply(data, size, reply, reason) &&
        (reply.answers.size() > kMaxAnswers || reply.reason.size() > kMaxReasonBytes)) {
        std::abort();
    }
    return 0;
}
