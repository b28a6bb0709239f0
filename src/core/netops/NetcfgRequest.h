// The messages between Firmhand and its network helper firmhand-netcfg, one
// per datagram of a SOCK_SEQPACKET socket pair. A request names one of three
// changes or probes; a reply says done (with the ARP answers of a probe),
// refused (with the reason) or failed (with the reason). The codec checks
// everything that can be checked without looking at the host: lengths, the
// interface name's characters, address ranges and bounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace netcfg {

using MacBytes = std::array<uint8_t, 6>;

enum class Op : uint8_t {
    Hello = 0,              // the helper's first reply: ready, or what it lacks
    AddLinkLocalRoute = 1,  // 169.254.0.0/16 on an interface
    AddAddress = 2,         // one address with a prefix on an interface
    ArpProbe = 3,           // probe one target on an interface, return the answers
};

enum class Status : uint8_t { Done = 0, Refused = 1, Failed = 2 };

constexpr size_t kInterfaceNameBytes = 16;  // IFNAMSIZ: 15 characters and a NUL
constexpr size_t kHeaderBytes = 8;          // "FHNC", version, op, payload length (2)
constexpr size_t kMaxMessageBytes = 256;    // no request or reply is longer
constexpr uint8_t kVersion = 1;
constexpr int kMinPrefixLength = 16;  // no wider subnet is added
constexpr int kMaxPrefixLength = 30;  // a subnet with at least two host numbers
constexpr int kMaxProbeWaitMs = 3000;
constexpr size_t kMaxAnswers = 8;
constexpr size_t kMaxReasonBytes = 200;

struct Request {
    Op op = Op::AddLinkLocalRoute;
    std::string interfaceName;
    // AddLinkLocalRoute: preferred source (0 for none); AddAddress: the
    // address; ArpProbe: the target. Network order.
    uint32_t address = 0;
    int prefixLength = 0;  // AddAddress only
    int waitMs = 0;        // ArpProbe: how long to listen, 1..3000
    bool promiscuous = false;
    // ArpProbe: an answer from this MAC ends the wait; all zero: an answer
    // from any station other than the interface itself does.
    MacBytes expected{};
};

struct Reply {
    Op op = Op::Hello;
    Status status = Status::Done;
    std::string reason;             // Refused and Failed
    std::vector<MacBytes> answers;  // ArpProbe, Done: the stations that answered
};

// A valid interface name: 1..15 of [A-Za-z0-9._-], not "." or "..".
bool IsValidInterfaceName(std::string_view name);

std::vector<uint8_t> EncodeRequest(const Request& request);
// False with `reason` for anything malformed or out of range.
bool DecodeRequest(const uint8_t* data, size_t size, Request& request, std::string& reason);

std::vector<uint8_t> EncodeReply(const Reply& reply);
bool DecodeReply(const uint8_t* data, size_t size, Reply& reply, std::string& reason);

const char* OpName(Op op);

}  // namespace netcfg
