// Reachability on a real link: a "camera" namespace holding 203.0.113.7/24
// behind a veth pair, and a "host" namespace with 198.51.100.1/24 only.
// The code under test runs on a thread inside the host namespace.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "netops/Adapters.h"
#include "netops/Ipv4.h"
#include "netops/NetConfig.h"
#include "reach/Reachability.h"
#include "support/Netns.h"

using namespace reach;
using testing_support::CNetnsLab;

namespace {

constexpr const char* kLabCameraMac = "02:FB:00:00:00:07";

// veth links have no device behind them; here the lab's link plays the
// camera segment's network card. Draws are scripted so that the walk first
// meets the camera's own address.
class CLabReach : public CReachability {
public:
    explicit CLabReach(std::string link)
        : CReachability(ArpTimings{50, 20, 300}), m_link(std::move(link)) {}

    bool IsPhysicalAdapter(const ADAPTER_INFO& adapter) override {
        return adapter.AdapterName == m_link;
    }
    uint32_t NextRandom() override {
        const uint32_t value = m_draws.empty() ? 1 : m_draws.front();
        if (!m_draws.empty()) {
            m_draws.erase(m_draws.begin());
        }
        return value;
    }
    std::vector<uint32_t> m_draws = {7, 3};  // 203.0.113.7 first, then .10

private:
    std::string m_link;
};

class ReachNamespace : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_support::CNetns::IsRoot()) {
            GTEST_SKIP() << "needs root to create network namespaces and send raw frames "
                            "(run as root, as CI does)";
        }
        m_lab = std::make_unique<CNetnsLab>();
        ASSERT_TRUE(m_lab->Ok()) << m_lab->Error();
    }

    // Runs `body` inside the host namespace; fails the test if it cannot.
    void InHost(const std::function<void()>& body) { ASSERT_TRUE(m_lab->Host().Run(body)); }

    ADAPTER_INFO HostAdapter(const std::vector<ADAPTER_INFO>& adapters) {
        const auto it = std::find_if(adapters.begin(), adapters.end(), [&](const auto& a) {
            return a.AdapterName == m_lab->HostLink();
        });
        return it == adapters.end() ? ADAPTER_INFO{} : *it;
    }

    std::unique_ptr<CNetnsLab> m_lab;
};

// A listening TCP socket on the camera's address, made inside its namespace.
int ListenOnCamera(const CNetnsLab& lab, uint16_t& port) {
    int fd = -1;
    lab.Camera().Run([&] {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = InetAddr("203.0.113.7");
        socklen_t length = sizeof(address);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(fd, 1) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port = ntohs(address.sin_port);
    });
    return fd;
}

// A TCP connection attempt from the calling thread's namespace.
bool ConnectTo(uint32_t address, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    target.sin_port = htons(port);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof(target)) == 0;
    close(fd);
    return ok;
}

}  // namespace

TEST_F(ReachNamespace, AdapterListShowsTheLinkWithItsAddressAndMac) {
    InHost([&] {
        std::vector<std::string> names;
        const int count = EnumAdapters([&](const ADAPTER_INFO& adapter) {
            names.push_back(adapter.AdapterName);
            return true;
        });
        EXPECT_EQ(count, 2);
        EXPECT_EQ(names, (std::vector<std::string>{"lo", m_lab->HostLink()}));
        EXPECT_EQ(EnumAdapters([](const ADAPTER_INFO&) { return false; }), 1);

        std::vector<ADAPTER_INFO> adapters;
        ASSERT_TRUE(GetAdapterList(adapters));
        ASSERT_EQ(adapters.size(), 2u);
        EXPECT_TRUE(adapters[0].Loopback);
        EXPECT_LT(adapters[0].Index, adapters[1].Index);
        const ADAPTER_INFO& link = adapters[1];
        EXPECT_EQ(link.Description, m_lab->HostLink() + " (veth)");
        EXPECT_EQ(link.AddressLength, 6u);
        ASSERT_EQ(link.IpAddressList.size(), 1u);
        EXPECT_EQ(link.IpAddressList[0].address, InetAddr("198.51.100.1"));
        EXPECT_EQ(link.IpAddressList[0].mask, InetAddr("255.255.255.0"));
        EXPECT_FALSE(IsPhysicalAdapter(link));
        EXPECT_FALSE(IsPhysicalAdapter(adapters[0]));
        EXPECT_TRUE(IsLocalHostAddress(InetAddr("198.51.100.1")));
        EXPECT_FALSE(IsLocalHostAddress(InetAddr("203.0.113.7")));
        EXPECT_TRUE(IsOnLocalSubnet(InetAddr("198.51.100.99"), InetAddr("255.255.255.0")));
        EXPECT_FALSE(IsOnLocalSubnet(InetAddr("203.0.113.7"), InetAddr("255.255.255.0")));
    });
}

TEST_F(ReachNamespace, FindAdapterByArpFindsTheLinkByTheCamerasMac) {
    InHost([&] {
        CLabReach reach(m_lab->HostLink());
        std::vector<ADAPTER_INFO> adapters;
        ASSERT_TRUE(GetAdapterList(adapters));
        const auto found = reach.FindAdapterByArp(adapters, InetAddr("203.0.113.7"), kLabCameraMac);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->AdapterName, m_lab->HostLink());

        // Another MAC, or an address nobody holds, finds nothing.
        EXPECT_FALSE(
            reach.FindAdapterByArp(adapters, InetAddr("203.0.113.7"), "02:FB:00:00:00:08"));
        EXPECT_FALSE(reach.FindAdapterByArp(adapters, InetAddr("203.0.113.8"), kLabCameraMac));
        // Not a physical adapter by the system's own test: not probed.
        CReachability plain(ArpTimings{50, 20, 300});
        EXPECT_FALSE(plain.FindAdapterByArp(adapters, InetAddr("203.0.113.7"), kLabCameraMac));
    });
}

TEST_F(ReachNamespace, IsAddressInUseSeesTheCameraAndNotAFreeAddress) {
    InHost([&] {
        CLabReach reach(m_lab->HostLink());
        std::vector<ADAPTER_INFO> adapters;
        ASSERT_TRUE(GetAdapterList(adapters));
        const ADAPTER_INFO link = HostAdapter(adapters);
        EXPECT_TRUE(reach.IsAddressInUse(InetAddr("203.0.113.7"), true, &link));
        EXPECT_FALSE(reach.IsAddressInUse(InetAddr("203.0.113.8"), true, &link));
        EXPECT_TRUE(reach.IsAddressInUse(InetAddr("203.0.113.7"), false, nullptr));
        EXPECT_TRUE(reach.IsAddressInUse(InetAddr("198.51.100.1"), true, &link));
    });
}

TEST_F(ReachNamespace, MakeDeviceReachableAddsAFreeAddressOnTheCamerasLink) {
    uint16_t port = 0;
    const int listener = ListenOnCamera(*m_lab, port);
    ASSERT_GE(listener, 0);
    ASSERT_NE(port, 0);

    auto device = MakeEmptyDeviceInfo();
    CopyField(device->ip, std::string("192.0.2.50"));
    CopyField(device->mask, std::string("255.255.255.0"));
    CopyField(device->ip2, std::string("203.0.113.7"));
    CopyField(device->mask2, std::string("255.255.255.0"));
    CopyField(device->mac, std::string(kLabCameraMac));

    InHost([&] {
        EXPECT_FALSE(ConnectTo(InetAddr("203.0.113.7"), port)) << "no route yet";

        CLabReach reach(m_lab->HostLink());
        uint32_t deviceAddress = 0, added = 0;
        ASSERT_TRUE(reach.MakeDeviceReachable(*device, deviceAddress, added, true));
        EXPECT_EQ(deviceAddress, InetAddr("203.0.113.7"));
        EXPECT_EQ(added, InetAddr("203.0.113.10"));  // .7 answered, so the next step
        EXPECT_TRUE(WaitForLocalAddress(reach, added));
        EXPECT_TRUE(IsLocalHostAddress(added));
        EXPECT_TRUE(ConnectTo(deviceAddress, port));

        // Now the subnet is local: nothing more to add.
        uint32_t again = 0;
        EXPECT_FALSE(reach.MakeDeviceReachable(*device, deviceAddress, again, true));
        EXPECT_EQ(again, 0u);
    });
    close(listener);

    std::string output;
    ASSERT_TRUE(m_lab->Host().Ip("-4 addr show dev " + m_lab->HostLink(), &output));
    EXPECT_NE(output.find("203.0.113.10/24"), std::string::npos) << output;
}

TEST_F(ReachNamespace, LinkLocalRouteGoesOnTheFirstAdapter) {
    InHost([&] {
        EXPECT_TRUE(AddLinkLocalRoute());
        EXPECT_FALSE(AddLinkLocalRoute()) << "the route is there already";
        CReachability reach;
        reach.AddLinkLocalRoute();  // quietly nothing
    });
    std::string output;
    ASSERT_TRUE(m_lab->Host().Ip("route show 169.254.0.0/16", &output));
    EXPECT_NE(output.find("dev " + m_lab->HostLink()), std::string::npos) << output;
    EXPECT_NE(output.find("src 198.51.100.1"), std::string::npos) << output;
}

TEST_F(ReachNamespace, AddLocalAddressRefusesBadMasksAndDuplicates) {
    InHost([&] {
        std::vector<ADAPTER_INFO> adapters;
        ASSERT_TRUE(GetAdapterList(adapters));
        const uint32_t index = HostAdapter(adapters).Index;
        EXPECT_FALSE(AddLocalAddress(index, InetAddr("203.0.113.20"), InetAddr("255.0.255.0")));
        EXPECT_FALSE(AddLocalAddress(index, InetAddr("203.0.113.20"), 0));
        EXPECT_FALSE(AddLocalAddress(9999, InetAddr("203.0.113.20"), InetAddr("255.255.255.0")));
        EXPECT_TRUE(AddLocalAddress(index, InetAddr("203.0.113.20"), InetAddr("255.255.255.0")));
        EXPECT_FALSE(AddLocalAddress(index, InetAddr("203.0.113.20"), InetAddr("255.255.255.0")));
        EXPECT_TRUE(IsLocalHostAddress(InetAddr("203.0.113.20")));
    });
}
