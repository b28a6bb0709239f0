// The network helper firmhand-netcfg against a real link: the lab's "host"
// namespace (198.51.100.1/24) and the camera behind it (203.0.113.7/24).
// Each exchange runs on a thread inside the host namespace, which starts
// the helper there; requests the helper must refuse leave the namespace's
// addresses and routes exactly as they were.
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "NetcfgRequest.h"
#include "reach/HelperReachability.h"
#include "reach/Ipv4.h"
#include "support/Netns.h"
#include "support/TestSupport.h"

using namespace netcfg;
using reach::InetAddr;
using testing_support::CNetnsLab;

extern char** environ;

namespace {

constexpr MacBytes kHelperCameraMac = {0x02, 0xFB, 0x00, 0x00, 0x00, 0x07};

// One helper, started from the calling thread (which must outlive it).
class CHelperProcess {
public:
    CHelperProcess() {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
            return;
        }
        m_fd = pair[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pair[1], 3);
        const std::string parent = std::to_string(getpid());
        char* argv[] = {const_cast<char*>(FIRMHAND_NETCFG_PATH), const_cast<char*>(parent.c_str()),
                        nullptr};
        posix_spawn(&m_pid, FIRMHAND_NETCFG_PATH, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pair[1]);
        const std::vector<uint8_t> hello = Receive();
        Reply reply;
        std::string reason;
        m_ready = DecodeReply(hello.data(), hello.size(), reply, reason) && reply.op == Op::Hello &&
                  reply.status == Status::Done;
    }
    ~CHelperProcess() {
        close(m_fd);
        int status = 0;
        waitpid(m_pid, &status, 0);  // it leaves at the end of its socket
    }

    bool Ready() const { return m_ready; }
    pid_t Pid() const { return m_pid; }

    void SendRaw(const std::vector<uint8_t>& bytes) const {
        send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    std::vector<uint8_t> Receive() const {
        std::vector<uint8_t> buffer(kMaxMessageBytes);
        const ssize_t n = recv(m_fd, buffer.data(), buffer.size(), 0);
        buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buffer;
    }
    Reply Ask(const std::vector<uint8_t>& bytes) const {
        SendRaw(bytes);
        const std::vector<uint8_t> answer = Receive();
        Reply reply;
        std::string reason;
        EXPECT_TRUE(DecodeReply(answer.data(), answer.size(), reply, reason)) << reason;
        return reply;
    }
    Reply Ask(const Request& request) const { return Ask(EncodeRequest(request)); }

private:
    int m_fd = -1;
    pid_t m_pid = -1;
    bool m_ready = false;
};

Request Probe(const std::string& link, const char* target, MacBytes expected = {}) {
    Request r;
    r.op = Op::ArpProbe;
    r.interfaceName = link;
    r.address = InetAddr(target);
    r.waitMs = 300;
    r.promiscuous = expected == MacBytes{};
    r.expected = expected;
    return r;
}

Request AddAddress(const std::string& link, const char* address, int prefixLength) {
    Request r;
    r.op = Op::AddAddress;
    r.interfaceName = link;
    r.address = InetAddr(address);
    r.prefixLength = prefixLength;
    return r;
}

Request Route(const std::string& link, const char* source) {
    Request r;
    r.op = Op::AddLinkLocalRoute;
    r.interfaceName = link;
    r.address = source[0] == '\0' ? 0 : InetAddr(source);
    return r;
}

// A well-formed address request, as bytes, to be spoilt by a test.
std::vector<uint8_t> AddressBytes(const std::string& link) {
    return EncodeRequest(AddAddress(link, "203.0.113.10", 24));
}

class NetcfgHelper : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_support::CNetns::IsRoot()) {
            GTEST_SKIP() << "needs root to create network namespaces (run as root, as CI does)";
        }
        m_lab = std::make_unique<CNetnsLab>();
        ASSERT_TRUE(m_lab->Ok()) << m_lab->Error();
        // A second link that stays down.
        ASSERT_TRUE(m_lab->Host().Ip("link add fhdown0 type veth peer name fhdown1"));
    }

    // The host namespace's addresses and routes, to compare before and after.
    std::string Snapshot() const {
        std::string addresses;
        std::string routes;
        m_lab->Host().Ip("-4 -o addr show", &addresses);
        m_lab->Host().Ip("-4 route show table all", &routes);
        return addresses + routes;
    }

    void WithHelper(const std::function<void(const CHelperProcess&)>& body) {
        ASSERT_TRUE(m_lab->Host().Run([&] {
            CHelperProcess helper;
            ASSERT_TRUE(helper.Ready());
            body(helper);
        }));
    }

    std::unique_ptr<CNetnsLab> m_lab;
};

}  // namespace

TEST_F(NetcfgHelper, AllowedRequestsChangeExactlyWhatTheySay) {
    const std::string link = m_lab->HostLink();
    std::string before;
    m_lab->Host().Ip("-4 -o addr show", &before);
    WithHelper([&](const CHelperProcess& helper) {
        Reply reply = helper.Ask(Route(link, "198.51.100.1"));
        EXPECT_EQ(reply.status, Status::Done) << reply.reason;

        reply = helper.Ask(Probe(link, "203.0.113.7", kHelperCameraMac));
        ASSERT_EQ(reply.status, Status::Done) << reply.reason;
        EXPECT_EQ(reply.answers, std::vector<MacBytes>{kHelperCameraMac});

        reply = helper.Ask(Probe(link, "203.0.113.10"));
        ASSERT_EQ(reply.status, Status::Done) << reply.reason;
        EXPECT_TRUE(reply.answers.empty());
        reply = helper.Ask(AddAddress(link, "203.0.113.10", 24));
        EXPECT_EQ(reply.status, Status::Done) << reply.reason;
    });
    std::string routes;
    m_lab->Host().Ip("-4 route show 169.254.0.0/16", &routes);
    EXPECT_NE(routes.find("dev " + link), std::string::npos) << routes;
    EXPECT_NE(routes.find("src 198.51.100.1"), std::string::npos) << routes;
    std::string after;
    m_lab->Host().Ip("-4 -o addr show", &after);
    EXPECT_NE(after.find("203.0.113.10/24"), std::string::npos) << after;
    // Nothing but the one address was added.
    const size_t added = after.find("203.0.113.10/24");
    const size_t lineStart = after.rfind('\n', added) + 1;
    const std::string rest = after.substr(0, lineStart) + after.substr(after.find('\n', added) + 1);
    EXPECT_EQ(rest, before);
}

TEST_F(NetcfgHelper, RefusedRequestsChangeNothing) {
    const std::string link = m_lab->HostLink();
    const std::string before = Snapshot();
    WithHelper([&](const CHelperProcess& helper) {
        const auto refused = [&](const Request& request, const char* why) {
            const Reply reply = helper.Ask(request);
            EXPECT_EQ(reply.status, Status::Refused) << why;
            EXPECT_FALSE(reply.reason.empty()) << why;
        };
        refused(AddAddress(link, "203.0.113.11", 24), "never probed");
        refused(Probe("fhnone0", "203.0.113.7"), "no such interface");
        refused(Probe("lo", "203.0.113.7"), "loopback");
        refused(Probe("fhdown0", "203.0.113.7"), "interface down");
        refused(Route(link, "203.0.113.99"), "source not on the interface");
        // Found free, but the host already has that subnet.
        ASSERT_EQ(helper.Ask(Probe(link, "198.51.100.77")).status, Status::Done);
        refused(AddAddress(link, "198.51.100.77", 24), "subnet present");
        // Found free on one interface, asked for on another.
        ASSERT_EQ(helper.Ask(Probe(link, "203.0.113.12")).status, Status::Done);
        refused(AddAddress("fhdown0", "203.0.113.12", 24), "probed elsewhere");
        refused(AddAddress(link, "127.0.0.5", 8), "loopback address");
        refused(AddAddress(link, "224.0.0.5", 24), "multicast");
        refused(AddAddress(link, "203.0.113.0", 24), "network number");
        refused(AddAddress(link, "203.0.113.255", 24), "broadcast number");
        refused(AddAddress(link, "203.0.113.12", 31), "prefix too long");
        refused(AddAddress(link, "203.0.113.12", 7), "prefix too short");
        refused(AddAddress(link, "169.254.3.3", 24), "link-local with another prefix");
        Request wait = Probe(link, "203.0.113.7");
        wait.waitMs = 3001;
        refused(wait, "wait too long");
        wait.waitMs = 0;
        refused(wait, "no wait");
        refused(Probe(link, "0.0.0.0"), "no target");
        refused(Probe(link, "255.255.255.255"), "broadcast target");
    });
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(NetcfgHelper, MalformedMessagesAreRefusedWithAReason) {
    const std::string link = m_lab->HostLink();
    const std::string before = Snapshot();
    WithHelper([&](const CHelperProcess& helper) {
        const auto refused = [&](std::vector<uint8_t> bytes, const char* why) {
            const Reply reply = helper.Ask(bytes);
            EXPECT_EQ(reply.status, Status::Refused) << why;
            EXPECT_FALSE(reply.reason.empty()) << why;
        };
        // One byte of a well-formed request spoilt.
        const std::tuple<size_t, uint8_t, const char*> spoilt[] = {
            {5, 9, "unknown request"},
            {5, 0, "hello as a request"},
            {7, static_cast<uint8_t>(AddressBytes(link)[7] + 1), "length field disagrees"},
            {0, 'X', "wrong magic"},
            {4, 2, "wrong version"},
            {kHeaderBytes + kInterfaceNameBytes - 1, 'x', "bytes after the name's end"},
        };
        for (const auto& [at, value, why] : spoilt) {
            std::vector<uint8_t> bytes = AddressBytes(link);
            bytes[at] = value;
            refused(bytes, why);
        }
        refused({'F', 'H', 'N'}, "shorter than a header");
        std::vector<uint8_t> bytes = AddressBytes(link);
        bytes.pop_back();
        refused(bytes, "truncated payload");
        refused(std::vector<uint8_t>(4096, 'F'), "oversized");
        bytes = AddressBytes(link);
        std::memcpy(&bytes[kHeaderBytes], "veth;rm -rf", 11);
        refused(bytes, "odd characters");
        bytes = AddressBytes(link);
        std::memset(&bytes[kHeaderBytes], 'a', kInterfaceNameBytes);
        refused(bytes, "name without its end");
        bytes = AddressBytes(link);
        std::memset(&bytes[kHeaderBytes], 0, kInterfaceNameBytes);
        refused(bytes, "empty name");
        bytes = EncodeRequest(Probe(link, "203.0.113.7"));
        bytes.back() = 0xFF;
        bytes[kHeaderBytes + kInterfaceNameBytes + 6] = 0x80;
        refused(bytes, "unknown probe flags");
        // Still serving after all of it.
        EXPECT_EQ(helper.Ask(Probe(link, "203.0.113.7", kHelperCameraMac)).status, Status::Done);
    });
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(NetcfgHelper, EndsWhenItsParentDiesMidRequest) {
    // The helper's parent is a child of this test that leaves during a
    // probe; as subreaper the test inherits the orphan and sees it end.
    ASSERT_TRUE(m_lab->Host().Run([&] {
        ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t child = fork();
        if (child == 0) {
            CHelperProcess helper;
            const pid_t helperPid = helper.Pid();
            Request probe = Probe(m_lab->HostLink(), "203.0.113.50");
            probe.waitMs = kMaxProbeWaitMs;
            helper.SendRaw(EncodeRequest(probe));
            (void)!write(pipeFds[1], &helperPid, sizeof(helperPid));
            _exit(helper.Ready() ? 0 : 1);
        }
        close(pipeFds[1]);
        pid_t helperPid = -1;
        ASSERT_EQ(read(pipeFds[0], &helperPid, sizeof(helperPid)),
                  static_cast<ssize_t>(sizeof(helperPid)));
        close(pipeFds[0]);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        ASSERT_EQ(waitpid(helperPid, &status, 0), helperPid);  // would hang if it lived on
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        prctl(PR_SET_CHILD_SUBREAPER, 0);
    }));
}

TEST_F(NetcfgHelper, ReachabilityThroughTheHelperAddsTheCamerasSubnet) {
    // The core's client in front of the helper, as an unprivileged program
    // runs it; the lab's veth plays the physical card.
    class CLabHelperReach : public CHelperReachability {
    public:
        explicit CLabHelperReach(std::string link)
            : CHelperReachability(FIRMHAND_NETCFG_PATH, reach::ArpTimings{50, 20, 300}),
              m_link(std::move(link)) {}
        bool IsPhysicalAdapter(const ADAPTER_INFO& adapter) override {
            return adapter.AdapterName == m_link;
        }
        uint32_t NextRandom() override { return m_draws < 2 ? (m_draws++ == 0 ? 7 : 3) : 1; }

    private:
        std::string m_link;
        int m_draws = 0;
    };
    DEVICE_S_INFO device{};
    std::strcpy(device.ip, "192.0.2.50");
    std::strcpy(device.mask, "255.255.255.0");
    std::strcpy(device.ip2, "203.0.113.7");
    std::strcpy(device.mask2, "255.255.255.0");
    std::strcpy(device.mac, "02:FB:00:00:00:07");
    ASSERT_TRUE(m_lab->Host().Run([&] {
        CLabHelperReach reach(m_lab->HostLink());
        uint32_t deviceAddress = 0;
        uint32_t added = 0;
        EXPECT_TRUE(reach.MakeDeviceReachable(device, deviceAddress, added, true));
        EXPECT_EQ(added, InetAddr("203.0.113.10"));  // .7 answers, .10 is free
        EXPECT_TRUE(reach.IsLocalHostAddress(added));
        EXPECT_EQ(reach.TakeNotice(), "");
    }));
}

TEST(NetcfgHelperMissing, OneNoticeNamesTheSetcapCommand) {
    // One made-up adapter, so that the steps reach the (missing) helper.
    class CMissingHelperReach : public CHelperReachability {
    public:
        CMissingHelperReach() : CHelperReachability("/nonexistent/firmhand-netcfg") {}
        bool GetAdapterList(std::vector<ADAPTER_INFO>& adapters) override {
            ADAPTER_INFO adapter;
            adapter.AdapterName = "fhtest0";
            adapter.Index = 99;
            adapter.AddressLength = 6;
            adapter.IpAddressList.push_back({InetAddr("198.51.100.1"), InetAddr("255.255.255.0")});
            adapters = {adapter};
            return true;
        }
    };
    CMissingHelperReach reach;
    reach.AddLinkLocalRoute();
    EXPECT_EQ(reach.TakeNotice(), "") << "the start alone gives no notice";
    DEVICE_S_INFO device{};
    std::strcpy(device.ip, "192.0.2.50");
    std::strcpy(device.ip2, "169.254.7.7");
    std::strcpy(device.mask2, "255.255.0.0");
    uint32_t deviceAddress = 0;
    uint32_t added = 0;
    EXPECT_FALSE(reach.MakeDeviceReachable(device, deviceAddress, added, true));
    const std::string notice = reach.TakeNotice();
    EXPECT_NE(notice.find("setcap cap_net_admin,cap_net_raw+ep /nonexistent/firmhand-netcfg"),
              std::string::npos)
        << notice;
    EXPECT_FALSE(reach.MakeDeviceReachable(device, deviceAddress, added, true));
    EXPECT_EQ(reach.TakeNotice(), "") << "given once";
}
