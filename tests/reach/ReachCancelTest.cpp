// A stop request ends every wait of the reachability step: an ARP probe
// that listens, the walk for a free address, the network helper's greeting
// and the wait for an added address. Each wait's own time-out is minutes;
// the call must return within seconds, having changed nothing.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <future>
#include <thread>

#include "netops/Ipv4.h"
#include "reach/NetcfgClient.h"
#include "reach/Reachability.h"
#include "support/Netns.h"
#include "support/TestSupport.h"

using namespace reach;
using testing_support::CNetnsLab;
using testing_support::CSandbox;

namespace {

constexpr auto kEndLimit = std::chrono::seconds(10);
constexpr int kMinutesMs = 10 * 60 * 1000;

// One adapter on a foreign camera's segment; the probe of the kind named
// in `blockFind` (the search for the camera's adapter) or otherwise the
// "in use" probe listens until it is stopped, the other answers at once.
class CBlockingProbeReach : public CReachability {
public:
    explicit CBlockingProbeReach(bool blockFind)
        : CReachability(ArpTimings{kMinutesMs, 10, kMinutesMs}), m_blockFind(blockFind) {}

    bool GetAdapterList(std::vector<ADAPTER_INFO>& adapters) override {
        ADAPTER_INFO adapter;
        adapter.AdapterName = "fhlab0";
        adapter.Index = 7;
        adapter.AddressLength = 6;
        adapter.Address = {0x02, 0xFB, 0, 0, 0, 1};
        adapter.IpAddressList.push_back({InetAddr("198.51.100.1"), InetAddr("255.255.255.0")});
        adapters = {adapter};
        return true;
    }
    bool ListLocalAddresses(std::vector<LOCAL_ADDRESS>& addresses) override {
        addresses = {{InetAddr("198.51.100.1"), 7, InetAddr("255.255.255.0")}};
        return true;
    }
    bool IsPhysicalAdapter(const ADAPTER_INFO&) override { return true; }
    bool ProbeArp(const ADAPTER_INFO&, uint32_t, const ArpListen& listen,
                  std::vector<MacAddress>& answers) override {
        const bool finding = listen.expected.has_value();
        if (finding != m_blockFind) {
            if (finding) {
                answers = {*listen.expected};
            }
            return true;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_listening = true;
        m_changed.notify_all();
        // Wakes only at the stop (or after the probe's own minutes).
        m_changed.wait_for(lock, listen.stop, std::chrono::milliseconds(listen.waitMs),
                           [] { return false; });
        return !listen.stop.stop_requested();
    }
    bool AddAddressOn(const ADAPTER_INFO&, uint32_t, uint32_t) override {
        m_addressesAdded.fetch_add(1);
        return true;
    }

    bool WaitUntilListening() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, kEndLimit, [this] { return m_listening; });
    }
    int AddressesAdded() const { return m_addressesAdded.load(); }

private:
    const bool m_blockFind;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    bool m_listening = false;
    std::atomic<int> m_addressesAdded{0};
};

DEVICE_S_INFO ForeignCamera() {
    DEVICE_S_INFO device{};
    std::strcpy(device.ip, "192.0.2.50");
    std::strcpy(device.mask, "255.255.255.0");
    std::strcpy(device.ip2, "10.77.3.7");
    std::strcpy(device.mask2, "255.255.255.0");
    std::strcpy(device.mac, "02:FB:00:00:00:07");
    return device;
}

class ReachStop : public ::testing::TestWithParam<bool> {};

// Both probes of the step: finding the camera's adapter, then the walk for
// a free address. A stopped "in use" probe says nothing about the address,
// so it must never be taken as free and added.
TEST_P(ReachStop, AStoppedProbeEndsTheStepAndAddsNothing) {
    CBlockingProbeReach reach(GetParam());
    std::stop_source stop;
    uint32_t deviceAddress = 0;
    uint32_t added = 0xFFFFFFFFu;
    auto step = std::async(std::launch::async, [&] {
        const DEVICE_S_INFO device = ForeignCamera();
        return reach.MakeDeviceReachable(device, deviceAddress, added, true, stop.get_token());
    });
    ASSERT_TRUE(reach.WaitUntilListening());
    stop.request_stop();
    ASSERT_EQ(step.wait_for(kEndLimit), std::future_status::ready);
    EXPECT_FALSE(step.get());
    EXPECT_EQ(added, 0u);
    EXPECT_EQ(reach.AddressesAdded(), 0);
    EXPECT_EQ(deviceAddress, InetAddr("10.77.3.7"));
}

INSTANTIATE_TEST_SUITE_P(EachProbe, ReachStop, ::testing::Values(true, false),
                         [](const auto& each) { return each.param ? "FindAdapter" : "InUse"; });

// An address that never shows up, asked about once a minute.
TEST(ReachStopWaits, WaitForLocalAddressEndsAtTheStop) {
    class CNeverListed : public CBlockingProbeReach {
    public:
        CNeverListed() : CBlockingProbeReach(true) {}
        bool IsLocalHostAddress(uint32_t) override {
            asked.fetch_add(1);
            return false;
        }
        std::atomic<int> asked{0};
    } reach;
    std::stop_source stop;
    auto wait = std::async(std::launch::async, [&] {
        return WaitForLocalAddress(reach, InetAddr("10.77.3.10"), 1000, 60000, stop.get_token());
    });
    ASSERT_TRUE(testing_support::WaitFor([&] { return reach.asked.load() > 0; }));
    stop.request_stop();
    ASSERT_EQ(wait.wait_for(kEndLimit), std::future_status::ready);
    EXPECT_FALSE(wait.get());
    EXPECT_EQ(reach.asked.load(), 1) << "no question after the stop";
}

// A helper that never greets (its own limits add up to ten seconds: five
// for the greeting, five for the exit): a stopped call ends at once and
// leaves no helper behind, and it is no problem of the helper's.
TEST(ReachStopWaits, AStoppedCallEndsTheHelperThatHasNotAnswered) {
    CSandbox sandbox;
    const std::string script = sandbox.File("silent-netcfg");
    const std::string pidFile = sandbox.File("pid");
    sandbox.Write("silent-netcfg", "#!/bin/sh\necho $$ > " + pidFile + ".tmp\nmv " + pidFile +
                                       ".tmp " + pidFile + "\nexec sleep 600\n");
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    CNetcfgClient client(script);
    std::stop_source stop;
    netcfg::Request request;
    request.op = netcfg::Op::AddLinkLocalRoute;
    request.interfaceName = "fhlab0";
    NetcfgProblem problem = NetcfgProblem::Broken;
    std::string detail;
    auto call = std::async(std::launch::async, [&] {
        netcfg::Reply reply;
        return client.Call(request, reply, problem, detail, stop.get_token());
    });
    ASSERT_TRUE(testing_support::WaitFor([&] { return !sandbox.Read("pid").empty(); }));
    const pid_t helper = static_cast<pid_t>(std::stol(sandbox.Read("pid")));
    stop.request_stop();
    // Far below the ten seconds of the call's own limits.
    ASSERT_EQ(call.wait_for(std::chrono::seconds(4)), std::future_status::ready);
    EXPECT_FALSE(call.get());
    EXPECT_EQ(problem, NetcfgProblem::None) << detail;
    EXPECT_NE(kill(helper, 0), 0) << "the helper was ended and reaped";
}

// One request at a time: a call that waits for another's turn (here a
// helper that never greets) ends at its own stop, not after the other.
TEST(ReachStopWaits, ACallWaitingForTheHelpersTurnEndsAtItsStop) {
    CSandbox sandbox;
    const std::string script = sandbox.File("silent-netcfg");
    sandbox.Write("silent-netcfg",
                  "#!/bin/sh\ntouch " + sandbox.File("started") + "\nexec sleep 600\n");
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    CNetcfgClient client(script);
    netcfg::Request request;
    request.op = netcfg::Op::AddLinkLocalRoute;
    request.interfaceName = "fhlab0";
    auto call = [&client, &request](std::stop_token stop) {
        netcfg::Reply reply;
        NetcfgProblem problem = NetcfgProblem::None;
        std::string detail;
        return client.Call(request, reply, problem, detail, stop);
    };
    std::stop_source first;
    std::stop_source second;
    auto holding = std::async(std::launch::async, call, first.get_token());
    ASSERT_TRUE(testing_support::WaitFor(
        [&] { return access(sandbox.File("started").c_str(), F_OK) == 0; }));
    std::atomic<pid_t> waiter{0};
    auto waiting = std::async(std::launch::async, [&] {
        waiter.store(testing_support::ThisThreadId());
        return call(second.get_token());
    });
    ASSERT_TRUE(testing_support::WaitFor(
        [&] { return waiter.load() != 0 && testing_support::IsThreadBlocked(waiter.load()); }));
    second.request_stop();
    // The first call's own limits hold the turn for ten seconds.
    EXPECT_EQ(waiting.wait_for(std::chrono::seconds(4)), std::future_status::ready);
    first.request_stop();
    ASSERT_EQ(holding.wait_for(kEndLimit), std::future_status::ready);
    EXPECT_FALSE(holding.get());
    EXPECT_FALSE(waiting.get());
}

// A real probe on the lab's link, for an address nobody has, listening for
// ten minutes: the stop wakes its wait on the capture device.
TEST(ReachStopNamespace, AListeningProbeOnALinkEndsAtTheStop) {
    if (!testing_support::CNetns::IsRoot()) {
        GTEST_SKIP() << "needs root to create network namespaces and send raw frames";
    }
    CNetnsLab lab;
    ASSERT_TRUE(lab.Ok()) << lab.Error();
    std::vector<ADAPTER_INFO> adapters;
    ASSERT_TRUE(lab.Host().Run([&] { ASSERT_TRUE(GetAdapterList(adapters)); }));
    const auto link = std::find_if(adapters.begin(), adapters.end(), [&](const ADAPTER_INFO& a) {
        return a.AdapterName == lab.HostLink();
    });
    ASSERT_NE(link, adapters.end());
    std::stop_source stop;
    std::atomic<pid_t> prober{0};
    std::thread stopper([&] {
        // Once the probe's thread sleeps in the kernel, it is listening.
        testing_support::WaitFor(
            [&] { return prober.load() != 0 && testing_support::IsThreadBlocked(prober.load()); });
        stop.request_stop();
    });
    bool probed = true;
    const bool returned = testing_support::ReturnsWithin(kEndLimit, [&] {
        lab.Host().Run([&] {
            prober.store(testing_support::ThisThreadId());
            ArpListen listen;
            listen.waitMs = kMinutesMs;
            listen.stop = stop.get_token();
            std::vector<MacAddress> answers;
            probed = ProbeOnAdapter(*link, InetAddr("203.0.113.99"), listen, answers);
        });
    });
    stop.request_stop();  // the stopper ends even if the probe never listened
    stopper.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(probed) << "a stopped probe counts as not made";
}

}  // namespace
