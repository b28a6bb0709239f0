// Reachability for an unprivileged program: the adapter list and the
// decisions stay in this process, the route, the added addresses and the ARP
// probes are done by the network helper firmhand-netcfg.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "NetcfgClient.h"
#include "Reachability.h"

class CHelperReachability : public CReachability {
public:
    // `helperPath` "" looks for the helper where an installation puts it.
    explicit CHelperReachability(std::string helperPath = {},
                                 const reach::ArpTimings& timings = {});

    bool MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                             uint32_t& addedAddress, bool tryFirstAddress,
                             std::stop_token stop = {}) override;
    std::string TakeNotice() override;

    bool ProbeArp(const ADAPTER_INFO& adapter, uint32_t target, const reach::ArpListen& listen,
                  std::vector<reach::MacAddress>& answers) override;
    bool AddRoute(const ADAPTER_INFO& adapter, uint32_t source) override;
    bool AddAddressOn(const ADAPTER_INFO& adapter, uint32_t address, uint32_t mask) override;

private:
    // One request; false (with the helper's reason logged) unless done.
    bool Call(const netcfg::Request& request, netcfg::Reply& reply, std::stop_token stop = {});

    CNetcfgClient m_client;
    std::mutex m_stateLock;
    NetcfgProblem m_problem = NetcfgProblem::None;  // the last time the helper could not serve
    bool m_routeAdded = false;
    bool m_noticeGiven = false;
    std::string m_notice;
};

// What a front-end runs with: the in-process steps when this process holds
// the capabilities itself, the helper otherwise.
std::shared_ptr<IReachability> MakeReachability();

// The text for the technician about a helper that cannot serve.
std::string NetcfgProblemText(NetcfgProblem problem, const std::string& helperPath);
