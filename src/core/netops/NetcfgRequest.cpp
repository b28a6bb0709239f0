#include "NetcfgRequest.h"

#include <algorithm>

#include "Ipv4.h"

namespace netcfg {

namespace {

constexpr uint8_t kMagic[4] = {'F', 'H', 'N', 'C'};
constexpr size_t kRoutePayload = kInterfaceNameBytes + 4;
constexpr size_t kAddressPayload = kInterfaceNameBytes + 4 + 1;
constexpr size_t kProbePayload = kInterfaceNameBytes + 4 + 2 + 1 + 6;
constexpr uint8_t kPromiscuousFlag = 0x01;

void PutHeader(std::vector<uint8_t>& out, Op op) {
    out.assign(std::begin(kMagic), std::end(kMagic));
    out.push_back(kVersion);
    out.push_back(static_cast<uint8_t>(op));
    out.push_back(0);
    out.push_back(0);
}

// Fills in the payload length once the payload is written.
void FinishHeader(std::vector<uint8_t>& out) {
    const size_t payload = out.size() - kHeaderBytes;
    out[6] = static_cast<uint8_t>(payload >> 8);
    out[7] = static_cast<uint8_t>(payload & 0xFF);
}

// The address bytes as they travel: the value's memory, which is network order.
void PutAddress(std::vector<uint8_t>& out, uint32_t address) {
    const uint32_t host = reach::Ipv4ToHost(address);
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(host >> shift));
    }
}

uint32_t GetAddress(const uint8_t* p) {
    return reach::Ipv4FromHost((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
                               (uint32_t{p[2]} << 8) | uint32_t{p[3]});
}

bool ReadHeader(const uint8_t* data, size_t size, Op& op, std::string& reason) {
    if (size < kHeaderBytes) {
        reason = "truncated message (" + std::to_string(size) + " bytes)";
        return false;
    }
    if (size > kMaxMessageBytes) {
        reason = "oversized message (" + std::to_string(size) + " bytes)";
        return false;
    }
    if (!std::equal(std::begin(kMagic), std::end(kMagic), data)) {
        reason = "not a firmhand-netcfg message";
        return false;
    }
    if (data[4] != kVersion) {
        reason = "unknown message version " + std::to_string(data[4]);
        return false;
    }
    const size_t payload = (size_t{data[6]} << 8) | data[7];
    if (payload != size - kHeaderBytes) {
        reason = "payload length " + std::to_string(payload) + " does not match the message";
        return false;
    }
    if (data[5] > static_cast<uint8_t>(Op::ArpProbe)) {
        reason = "unknown request " + std::to_string(data[5]);
        return false;
    }
    op = static_cast<Op>(data[5]);
    return true;
}

bool ReadInterfaceName(const uint8_t* p, std::string& name, std::string& reason) {
    const auto* end = std::find(p, p + kInterfaceNameBytes, uint8_t{0});
    if (end == p + kInterfaceNameBytes ||
        std::any_of(end, p + kInterfaceNameBytes, [](uint8_t b) { return b != 0; })) {
        reason = "interface name not terminated within 16 bytes";
        return false;
    }
    name.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
    if (!IsValidInterfaceName(name)) {
        reason = "invalid interface name";
        return false;
    }
    return true;
}

bool IsLoopback(uint32_t address) {
    return (reach::Ipv4ToHost(address) >> 24) == 127;
}

// A station's address: unicast, not loopback.
bool CheckStation(uint32_t address, const char* what, std::string& reason) {
    if (!reach::IsUnicastIpv4(address) || IsLoopback(address)) {
        reason = std::string(what) + " " + reach::Ipv4ToText(address) + " is not a unicast address";
        return false;
    }
    return true;
}

bool CheckAddAddress(const Request& r, std::string& reason) {
    if (r.prefixLength < kMinPrefixLength || r.prefixLength > kMaxPrefixLength) {
        reason = "prefix rule: /" + std::to_string(r.prefixLength) + " is outside /16../30";
        return false;
    }
    if (!CheckStation(r.address, "address", reason)) {
        return false;
    }
    if (reach::IsLinkLocalIpv4(r.address) && r.prefixLength != 16) {
        reason = "prefix rule: a link-local address takes the prefix length 16";
        return false;
    }
    const uint32_t host = reach::Ipv4ToHost(r.address);
    const uint32_t hostMask = ~reach::Ipv4ToHost(reach::PrefixLengthToMask(r.prefixLength));
    if ((host & hostMask) == 0 || (host & hostMask) == hostMask) {
        reason = "address " + reach::Ipv4ToText(r.address) + " is the network or broadcast address";
        return false;
    }
    return true;
}

bool Refuse(const std::string& text, std::string& reason) {
    reason = text;
    return false;
}

}  // namespace

bool IsValidInterfaceName(std::string_view name) {
    if (name.empty() || name.size() >= kInterfaceNameBytes || name == "." || name == "..") {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
    });
}

const char* OpName(Op op) {
    switch (op) {
        case Op::Hello:
            return "hello";
        case Op::AddLinkLocalRoute:
            return "add link-local route";
        case Op::AddAddress:
            return "add address";
        case Op::ArpProbe:
            return "ARP probe";
    }
    return "unknown";
}

std::vector<uint8_t> EncodeRequest(const Request& r) {
    std::vector<uint8_t> out;
    PutHeader(out, r.op);
    std::array<uint8_t, kInterfaceNameBytes> name{};
    std::copy_n(r.interfaceName.begin(), std::min(r.interfaceName.size(), name.size() - 1),
                name.begin());
    out.insert(out.end(), name.begin(), name.end());
    PutAddress(out, r.address);
    if (r.op == Op::AddAddress) {
        out.push_back(static_cast<uint8_t>(r.prefixLength));
    } else if (r.op == Op::ArpProbe) {
        const int wait = std::clamp(r.waitMs, 0, 0xFFFF);
        out.push_back(static_cast<uint8_t>(wait >> 8));
        out.push_back(static_cast<uint8_t>(wait & 0xFF));
        out.push_back(r.promiscuous ? kPromiscuousFlag : 0);
        out.insert(out.end(), r.expected.begin(), r.expected.end());
    }
    FinishHeader(out);
    return out;
}

bool DecodeRequest(const uint8_t* data, size_t size, Request& r, std::string& reason) {
    r = Request{};
    if (!ReadHeader(data, size, r.op, reason)) {
        return false;
    }
    const uint8_t* p = data + kHeaderBytes;
    const size_t payload = size - kHeaderBytes;
    switch (r.op) {
        case Op::Hello:
            return Refuse("hello is not a request", reason);
        case Op::AddLinkLocalRoute:
            if (payload != kRoutePayload) {
                return Refuse("route request of " + std::to_string(payload) + " bytes", reason);
            }
            break;
        case Op::AddAddress:
            if (payload != kAddressPayload) {
                return Refuse("address request of " + std::to_string(payload) + " bytes", reason);
            }
            break;
        case Op::ArpProbe:
            if (payload != kProbePayload) {
                return Refuse("probe request of " + std::to_string(payload) + " bytes", reason);
            }
            break;
    }
    if (!ReadInterfaceName(p, r.interfaceName, reason)) {
        return false;
    }
    p += kInterfaceNameBytes;
    r.address = GetAddress(p);
    p += 4;
    switch (r.op) {
        case Op::AddLinkLocalRoute:
            return r.address == 0 || CheckStation(r.address, "source", reason);
        case Op::AddAddress:
            r.prefixLength = p[0];
            return CheckAddAddress(r, reason);
        case Op::ArpProbe:
            r.waitMs = (int{p[0]} << 8) | p[1];
            if ((p[2] & ~kPromiscuousFlag) != 0) {
                return Refuse("unknown probe flags", reason);
            }
            r.promiscuous = (p[2] & kPromiscuousFlag) != 0;
            std::copy_n(p + 3, r.expected.size(), r.expected.begin());
            if (r.waitMs < 1 || r.waitMs > kMaxProbeWaitMs) {
                return Refuse("probe wait " + std::to_string(r.waitMs) + " ms outside 1..3000",
                              reason);
            }
            return CheckStation(r.address, "target", reason);
        case Op::Hello:
            break;
    }
    return false;
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
    std::vector<uint8_t> out;
    PutHeader(out, reply.op);
    out.push_back(static_cast<uint8_t>(reply.status));
    if (reply.status != Status::Done) {
        const size_t n = std::min(reply.reason.size(), kMaxReasonBytes);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), reply.reason.begin(), reply.reason.begin() + static_cast<long>(n));
    } else if (reply.op == Op::ArpProbe) {
        const size_t n = std::min(reply.answers.size(), kMaxAnswers);
        out.push_back(static_cast<uint8_t>(n));
        for (size_t i = 0; i < n; ++i) {
            out.insert(out.end(), reply.answers[i].begin(), reply.answers[i].end());
        }
    }
    FinishHeader(out);
    return out;
}

bool DecodeReply(const uint8_t* data, size_t size, Reply& reply, std::string& reason) {
    reply = Reply{};
    if (!ReadHeader(data, size, reply.op, reason)) {
        return false;
    }
    const uint8_t* p = data + kHeaderBytes;
    const size_t payload = size - kHeaderBytes;
    if (payload < 1 || p[0] > static_cast<uint8_t>(Status::Failed)) {
        return Refuse("reply without a status", reason);
    }
    reply.status = static_cast<Status>(p[0]);
    const bool listed = reply.status != Status::Done || reply.op == Op::ArpProbe;
    if (!listed) {
        return payload == 1 || Refuse("reply with trailing bytes", reason);
    }
    if (payload < 2) {
        return Refuse("truncated reply", reason);
    }
    const size_t n = p[1];
    if (reply.status != Status::Done) {
        if (n > kMaxReasonBytes || payload != 2 + n) {
            return Refuse("reply reason of the wrong length", reason);
        }
        reply.reason.assign(reinterpret_cast<const char*>(p + 2), n);
        return true;
    }
    if (n > kMaxAnswers || payload != 2 + n * 6) {
        return Refuse("probe reply of the wrong length", reason);
    }
    for (size_t i = 0; i < n; ++i) {
        MacBytes mac{};
        std::copy_n(p + 2 + i * 6, mac.size(), mac.begin());
        reply.answers.push_back(mac);
    }
    return true;
}

}  // namespace netcfg
