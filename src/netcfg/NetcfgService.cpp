#include "NetcfgService.h"

#include <algorithm>

#include "NetcfgHost.h"
#include "netops/Adapters.h"
#include "netops/ArpProbe.h"
#include "netops/Ipv4.h"
#include "netops/LocalAddresses.h"
#include "netops/NetConfig.h"
#include "netops/Routes.h"

namespace netcfg {

namespace {

Reply Answer(Op op, Status status, std::string reason = {}) {
    Reply reply;
    reply.op = op;
    reply.status = status;
    reply.reason = std::move(reason);
    return reply;
}

bool HasAddress(const ADAPTER_INFO& adapter, uint32_t address) {
    return std::any_of(adapter.IpAddressList.begin(), adapter.IpAddressList.end(),
                       [&](const IP_ADDR_ENTRY& e) { return e.address == address; });
}

}  // namespace

Reply CNetcfgService::Handle(const uint8_t* data, size_t size) {
    Request request;
    std::string reason;
    if (size > kMaxMessageBytes) {
        return Answer(Op::Hello, Status::Refused,
                      "oversized message (" + std::to_string(size) + " bytes)");
    }
    if (!DecodeRequest(data, size, request, reason)) {
        const Op op = size > 5 && data[5] <= static_cast<uint8_t>(Op::ArpProbe)
                          ? static_cast<Op>(data[5])
                          : Op::Hello;
        return Answer(op, Status::Refused, reason);
    }
    return Execute(request);
}

Reply CNetcfgService::Execute(const Request& request) {
    const Op op = request.op;
    const std::string& name = request.interfaceName;
    std::vector<ADAPTER_INFO> adapters;
    if (!GetAdapterList(adapters)) {
        return Answer(op, Status::Failed, "the interface list cannot be read");
    }
    const auto it = std::find_if(adapters.begin(), adapters.end(),
                                 [&](const ADAPTER_INFO& a) { return a.AdapterName == name; });
    if (it == adapters.end()) {
        return Answer(op, Status::Refused, "no interface " + name);
    }
    const ADAPTER_INFO& adapter = *it;
    if (adapter.Loopback) {
        return Answer(op, Status::Refused, "interface " + name + " is the loopback interface");
    }
    if (!IsInterfaceUp(name)) {
        return Answer(op, Status::Refused, "interface " + name + " is not up");
    }
    const std::string address = reach::Ipv4ToText(request.address);

    switch (op) {
        case Op::AddLinkLocalRoute:
            if (request.address != 0 && !HasAddress(adapter, request.address)) {
                return Answer(op, Status::Refused, address + " is not an address of " + name);
            }
            return reach::AddLinkLocalRouteOn(adapter.Index, request.address)
                       ? Answer(op, Status::Done)
                       : Answer(op, Status::Failed, "the route was not added (present already?)");
        case Op::AddAddress: {
            HostNetwork host;
            if (!ListLocalAddresses(host.locals) || !reach::ListIpv4Routes(host.routes)) {
                return Answer(op, Status::Failed, "the addresses and routes cannot be read");
            }
            const std::string refusal =
                m_policy.Check(adapter.Index, name, request.address, request.prefixLength, host);
            if (!refusal.empty()) {
                return Answer(op, Status::Refused, refusal);
            }
            const uint32_t mask = reach::PrefixLengthToMask(request.prefixLength);
            if (!AddLocalAddress(adapter.Index, request.address, mask)) {
                return Answer(op, Status::Failed, "the address was not added (present already?)");
            }
            m_policy.NoteAdded();
            return Answer(op, Status::Done);
        }
        case Op::ArpProbe: {
            if (adapter.AddressLength != 6) {
                return Answer(op, Status::Refused,
                              "interface " + name + " has no Ethernet address");
            }
            reach::ArpListen listen;
            listen.promiscuous = request.promiscuous;
            listen.waitMs = request.waitMs;
            if (request.expected != reach::MacAddress{}) {
                listen.expected = request.expected;
            }
            Reply reply = Answer(op, Status::Done);
            if (!reach::ProbeAndListen(name, adapter.Address, request.address, listen,
                                       reply.answers)) {
                return Answer(op, Status::Failed, "the probe could not be sent on " + name);
            }
            if (!reply.answers.empty()) {
                m_policy.NoteAnswered(adapter.Index, request.address);
            } else if (!listen.expected) {
                m_policy.NoteFree(adapter.Index, request.address);
            }
            return reply;
        }
        case Op::Hello:
            break;
    }
    return Answer(op, Status::Refused, "unknown request");
}

}  // namespace netcfg
