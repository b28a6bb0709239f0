#include "HelperReachability.h"

#include <algorithm>
#include <utility>
#include "netops/Ipv4.h"

#include "app/Logger.h"
#include "app/StringTable.h"

FH_LOG_SOURCE("Reachability");

namespace {

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

}  // namespace

std::string NetcfgProblemText(NetcfgProblem problem, const std::string& helperPath) {
    switch (problem) {
        case NetcfgProblem::Missing:
            return ReplaceAll(LoadString(IDS_NETCFG_MISSING), "%s", helperPath);
        case NetcfgProblem::NoCapabilities:
        case NetcfgProblem::Broken:
            return ReplaceAll(LoadString(IDS_NETCFG_NO_CAPABILITIES), "%s", helperPath);
        case NetcfgProblem::None:
            break;
    }
    return {};
}

std::shared_ptr<IReachability> MakeReachability() {
    if (HoldsNetworkCapabilities()) {
        return std::make_shared<CReachability>();
    }
    return std::make_shared<CHelperReachability>();
}

CHelperReachability::CHelperReachability(std::string helperPath, const reach::ArpTimings& timings)
    : CReachability(timings), m_client(std::move(helperPath)) {}

bool CHelperReachability::Call(const netcfg::Request& request, netcfg::Reply& reply,
                               std::stop_token stop) {
    NetcfgProblem problem = NetcfgProblem::None;
    std::string detail;
    const bool answered = m_client.Call(request, reply, problem, detail, stop);
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        m_problem = problem;
    }
    if (!answered && stop.stop_requested()) {
        return false;  // cancelled: nothing to tell about the helper
    }
    if (!answered) {
        LOG_WARN("CHelperReachability::Call", "%s for %s on %s", detail.c_str(),
                 netcfg::OpName(request.op), request.interfaceName.c_str());
        return false;
    }
    if (reply.status != netcfg::Status::Done) {
        LOG_WARN("CHelperReachability::Call", "%s on %s %s: %s", netcfg::OpName(request.op),
                 request.interfaceName.c_str(),
                 reply.status == netcfg::Status::Refused ? "refused" : "failed",
                 reply.reason.c_str());
        return false;
    }
    return true;
}

bool CHelperReachability::MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                                              uint32_t& addedAddress, bool tryFirstAddress,
                                              std::stop_token stop) {
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        m_problem = NetcfgProblem::None;
    }
    const bool added = CReachability::MakeDeviceReachable(device, deviceAddress, addedAddress,
                                                          tryFirstAddress, stop);
    if (stop.stop_requested()) {
        return added;
    }
    bool routeMissing = false;
    {
        std::lock_guard<std::mutex> lock(m_stateLock);
        routeMissing = !m_routeAdded;
    }
    // The route of the start may have failed for want of the helper; a
    // link-local camera is the first that needs it.
    if (routeMissing && reach::IsLinkLocalIpv4(deviceAddress)) {
        AddLinkLocalRoute();
    }
    std::lock_guard<std::mutex> lock(m_stateLock);
    if (m_problem != NetcfgProblem::None && !m_noticeGiven) {
        m_noticeGiven = true;
        m_notice = NetcfgProblemText(m_problem, m_client.HelperPath());
        LOG_WARN("CHelperReachability::MakeDeviceReachable", "%s", m_notice.c_str());
    }
    return added;
}

std::string CHelperReachability::TakeNotice() {
    std::lock_guard<std::mutex> lock(m_stateLock);
    return std::exchange(m_notice, {});
}

bool CHelperReachability::ProbeArp(const ADAPTER_INFO& adapter, uint32_t target,
                                   const reach::ArpListen& listen,
                                   std::vector<reach::MacAddress>& answers) {
    netcfg::Request request;
    request.op = netcfg::Op::ArpProbe;
    request.interfaceName = adapter.AdapterName;
    request.address = target;
    request.waitMs = std::clamp(listen.waitMs, 1, netcfg::kMaxProbeWaitMs);
    request.promiscuous = listen.promiscuous;
    if (listen.expected) {
        request.expected = *listen.expected;
    }
    netcfg::Reply reply;
    answers.clear();
    if (!Call(request, reply, listen.stop)) {
        return false;
    }
    answers = reply.answers;
    return true;
}

bool CHelperReachability::AddRoute(const ADAPTER_INFO& adapter, uint32_t source) {
    netcfg::Request request;
    request.op = netcfg::Op::AddLinkLocalRoute;
    request.interfaceName = adapter.AdapterName;
    request.address = source;
    netcfg::Reply reply;
    const bool done = Call(request, reply);
    std::lock_guard<std::mutex> lock(m_stateLock);
    // A route that is there already (refused as present) counts as added.
    m_routeAdded = m_routeAdded || done || reply.status == netcfg::Status::Failed;
    return done;
}

bool CHelperReachability::AddAddressOn(const ADAPTER_INFO& adapter, uint32_t address,
                                       uint32_t mask) {
    const int prefixLength = reach::MaskPrefixLength(mask);
    if (prefixLength < netcfg::kMinPrefixLength || prefixLength > netcfg::kMaxPrefixLength) {
        return false;
    }
    netcfg::Request request;
    request.op = netcfg::Op::AddAddress;
    request.interfaceName = adapter.AdapterName;
    request.address = address;
    request.prefixLength = prefixLength;
    netcfg::Reply reply;
    return Call(request, reply);
}
