// The network helper firmhand-netcfg against a real link: the lab's "host"
// namespace (198.51.100.1/24) and the camera behind it, which here also
// carries 10.77.3.7/24 (a private subnet, as the helper adds only those).
// The host has a second LAN 192.168.50.1/24 with a route to 10.20.0.0/16.
// Each exchange runs on a thread inside the host namespace, which starts
// the helper there; requests the helper must refuse leave the namespace's
// addresses and routes exactly as they were.
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "AddressPolicy.h"
#include "netops/Ipv4.h"
#include "netops/NetcfgRequest.h"
#include "reach/HelperReachability.h"
#include "support/Netns.h"
#include "support/TestSupport.h"

using namespace netcfg;
using reach::InetAddr;
using testing_support::CNetnsLab;

extern char** environ;

namespace {

constexpr MacBytes kHelperCameraMac = {0x02, 0xFB, 0x00, 0x00, 0x00, 0x07};

// One helper, started from the calling thread (which must outlive it);
// `runner` (setpriv and its options) starts it as another user.
class CHelperProcess {
public:
    explicit CHelperProcess(const std::string& path = FIRMHAND_NETCFG_PATH,
                            std::vector<std::string> runner = {}) {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
            return;
        }
        m_fd = pair[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pair[1], 3);
        std::vector<std::string> args = std::move(runner);
        args.push_back(path);
        args.push_back(std::to_string(getpid()));
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pair[1]);
        const std::vector<uint8_t> hello = Receive();
        Reply reply;
        std::string reason;
        m_ready = DecodeReply(hello.data(), hello.size(), reply, reason) && reply.op == Op::Hello &&
                  reply.status == Status::Done;
    }
    ~CHelperProcess() {
        if (m_pid > 0) {
            Finish();  // it leaves at the end of its socket
        }
    }

    bool Ready() const { return m_ready; }
    pid_t Pid() const { return m_pid; }
    // Closes the socket and waits: the exit status.
    int Finish() {
        close(m_fd);
        m_fd = -1;
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

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
    return EncodeRequest(AddAddress(link, "10.77.3.10", 24));
}

class NetcfgHelper : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_support::CNetns::IsRoot()) {
            GTEST_SKIP() << "needs root to create network namespaces (run as root, as CI does)";
        }
        m_lab = std::make_unique<CNetnsLab>();
        ASSERT_TRUE(m_lab->Ok()) << m_lab->Error();
        // A second link that stays down, a second LAN, the camera's private address.
        ASSERT_TRUE(m_lab->Host().Ip("link add fhdown0 type veth peer name fhdown1"));
        const std::string camera = m_lab->Camera().Name();
        ASSERT_TRUE(m_lab->Camera().Ip("addr add 10.77.3.7/24 dev " + camera));
        for (const char* step : {"link add fhlan0 type veth peer name fhlan1", "link set fhlan0 up",
                                 "link set fhlan1 up", "addr add 192.168.50.1/24 dev fhlan0",
                                 "route add 10.20.0.0/16 via 192.168.50.254 dev fhlan0 onlink"}) {
            std::string output;
            ASSERT_TRUE(m_lab->Host().Ip(step, &output)) << step << ": " << output;
        }
    }

    // The host namespace's addresses and routes, to compare before and after.
    std::string Snapshot() const {
        std::string addresses;
        std::string routes;
        m_lab->Host().Ip("-4 -o addr show", &addresses);
        m_lab->Host().Ip("-4 route show table all", &routes);
        return addresses + routes;
    }

    void WithHelper(const std::function<void(const CHelperProcess&)>& body,
                    const std::string& path = FIRMHAND_NETCFG_PATH,
                    const std::vector<std::string>& runner = {}) {
        ASSERT_TRUE(m_lab->Host().Run([&] {
            CHelperProcess helper(path, runner);
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

        reply = helper.Ask(Probe(link, "10.77.3.7", kHelperCameraMac));
        ASSERT_EQ(reply.status, Status::Done) << reply.reason;
        EXPECT_EQ(reply.answers, std::vector<MacBytes>{kHelperCameraMac});

        reply = helper.Ask(Probe(link, "10.77.3.10"));
        ASSERT_EQ(reply.status, Status::Done) << reply.reason;
        EXPECT_TRUE(reply.answers.empty());
        reply = helper.Ask(AddAddress(link, "10.77.3.10", 24));
        EXPECT_EQ(reply.status, Status::Done) << reply.reason;
    });
    std::string routes;
    m_lab->Host().Ip("-4 route show 169.254.0.0/16", &routes);
    EXPECT_NE(routes.find("dev " + link), std::string::npos) << routes;
    EXPECT_NE(routes.find("src 198.51.100.1"), std::string::npos) << routes;
    std::string after;
    m_lab->Host().Ip("-4 -o addr show", &after);
    EXPECT_NE(after.find("10.77.3.10/24"), std::string::npos) << after;
    // Nothing but the one address was added.
    const size_t added = after.find("10.77.3.10/24");
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
        ASSERT_EQ(helper.Ask(Probe(link, "10.77.3.7", kHelperCameraMac)).answers.size(), 1u);
        refused(AddAddress(link, "10.77.3.11", 24), "never probed");
        refused(Probe("fhnone0", "203.0.113.7"), "no such interface");
        refused(Probe("lo", "203.0.113.7"), "loopback");
        refused(Probe("fhdown0", "203.0.113.7"), "interface down");
        refused(Route(link, "203.0.113.99"), "source not on the interface");
        // Found free on one interface, asked for on another.
        ASSERT_EQ(helper.Ask(Probe(link, "10.77.3.12")).status, Status::Done);
        refused(AddAddress("fhdown0", "10.77.3.12", 24), "probed elsewhere");
        refused(AddAddress(link, "127.0.0.5", 8), "loopback address");
        refused(AddAddress(link, "224.0.0.5", 24), "multicast");
        refused(AddAddress(link, "10.77.3.0", 24), "network number");
        refused(AddAddress(link, "10.77.3.255", 24), "broadcast number");
        refused(AddAddress(link, "10.77.3.12", 31), "prefix too long");
        refused(AddAddress(link, "10.77.3.12", 7), "prefix too short");
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

// A copy of the helper that only the owner and `group` may run, with the
// capabilities as the package grants them, in a folder every user can enter.
class CHelperCopy {
public:
    explicit CHelperCopy(gid_t group) {
        char pattern[] = "/tmp/fh-netcfg-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            m_error = "no temporary folder";
            return;
        }
        m_dir = pattern;
        m_path = m_dir + "/firmhand-netcfg";
        std::error_code error;
        std::filesystem::copy_file(FIRMHAND_NETCFG_PATH, m_path, error);
        std::string output;
        if (error || chmod(m_dir.c_str(), 0755) != 0 || chown(m_path.c_str(), 0, group) != 0 ||
            chmod(m_path.c_str(), 0750) != 0 ||
            !testing_support::CNetns::Shell("setcap cap_net_admin,cap_net_raw+ep " + m_path,
                                            &output)) {
            m_error = "the copy cannot carry file capabilities here: " + output;
        }
    }
    ~CHelperCopy() {
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }

    const std::string& Error() const { return m_error; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_dir;
    std::string m_path;
    std::string m_error;
};

constexpr gid_t kHelperGroup = 4242;  // stands for the group "firmhand"

// Runs the helper as nobody, with or without the helper's group. A shell
// execs it: setpriv itself still holds root's capabilities at its exec.
std::vector<std::string> AsNobody(bool inGroup) {
    return {"/usr/bin/setpriv",
            "--reuid=nobody",
            "--regid=nogroup",
            inGroup ? "--groups=" + std::to_string(kHelperGroup) : "--clear-groups",
            "/bin/sh",
            "-c",
            "exec \"$0\" \"$@\""};
}

// The rule a refusal names: "<rule> rule: <why>".
std::string RuleOf(const Reply& reply) {
    const size_t end = reply.reason.find(" rule: ");
    return reply.status == Status::Refused && end != std::string::npos ? reply.reason.substr(0, end)
                                                                       : reply.reason;
}

class NetcfgHelperAsUser : public NetcfgHelper {
protected:
    void SetUp() override {
        NetcfgHelper::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        if (access("/usr/bin/setpriv", X_OK) != 0) {
            GTEST_SKIP() << "needs setpriv (util-linux) to run the helper as another user";
        }
        m_copy = std::make_unique<CHelperCopy>(kHelperGroup);
        if (!m_copy->Error().empty()) {
            GTEST_SKIP() << m_copy->Error();
        }
    }

    std::unique_ptr<CHelperCopy> m_copy;
};

TEST_F(NetcfgHelperAsUser, HostileRequestsAreRefusedByRuleAndChangeNothing) {
    const std::string link = m_lab->HostLink();
    const std::string before = Snapshot();
    WithHelper(
        [&](const CHelperProcess& helper) {
            const auto probed = [&](const std::string& on, const char* target) {
                Request probe = Probe(on, target);
                probe.waitMs = 1;  // however short, nobody answered
                ASSERT_EQ(helper.Ask(probe).status, Status::Done) << target;
            };
            ASSERT_EQ(helper.Ask(Probe(link, "10.77.3.7", kHelperCameraMac)).answers.size(), 1u);
            probed(link, "8.8.8.1");
            probed(link, "1.1.1.2");
            probed(link, "192.100.0.1");
            probed(link, "10.20.9.1");
            probed(link, "192.168.0.1");
            probed(link, "10.99.0.1");
            probed("fhlan0", "192.168.50.253");
            const std::tuple<Request, const char*, const char*> cases[] = {
                {AddAddress(link, "8.8.8.1", 8), "prefix", "a public /8 on the LAN"},
                {AddAddress(link, "8.8.8.1", 24), "private range", "a public /24"},
                {AddAddress(link, "1.1.1.2", 30), "private range", "a public /30"},
                {AddAddress(link, "192.100.0.1", 8), "prefix", "a /8 next to 192.168"},
                {AddAddress("fhlan0", "192.168.50.253", 30), "overlap",
                 "a /30 around the LAN's gateway"},
                {AddAddress(link, "192.168.0.1", 16), "overlap", "a /16 around the LAN's /24"},
                {AddAddress(link, "10.20.9.1", 24), "overlap", "inside a routed subnet"},
                {AddAddress(link, "10.99.0.1", 24), "camera subnet", "no camera there"},
                {AddAddress(link, "10.77.3.13", 24), "found free", "never probed"},
            };
            for (const auto& [request, rule, why] : cases) {
                const Reply reply = helper.Ask(request);
                EXPECT_EQ(RuleOf(reply), rule) << why << ": " << reply.reason;
            }
        },
        m_copy->Path(), AsNobody(true));
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(NetcfgHelperAsUser, AllowedAddressesAreAddedUpToTheQuota) {
    const std::string link = m_lab->HostLink();
    std::string before;
    m_lab->Host().Ip("-4 -o addr show", &before);
    WithHelper(
        [&](const CHelperProcess& helper) {
            ASSERT_EQ(helper.Ask(Probe(link, "10.77.3.7", kHelperCameraMac)).answers.size(), 1u);
            ASSERT_EQ(helper.Ask(Probe(link, "10.77.3.10")).status, Status::Done);
            Reply reply = helper.Ask(AddAddress(link, "10.77.3.10", 24));
            ASSERT_EQ(reply.status, Status::Done) << reply.reason;
            for (size_t i = 1; i < kMaxAddedAddresses; ++i) {
                const std::string address = "169.254.200." + std::to_string(i);
                reply = helper.Ask(AddAddress(link, address.c_str(), 16));
                ASSERT_EQ(reply.status, Status::Done) << address << ": " << reply.reason;
            }
            EXPECT_EQ(RuleOf(helper.Ask(AddAddress(link, "169.254.201.1", 16))), "quota");
        },
        m_copy->Path(), AsNobody(true));
    std::string after;
    m_lab->Host().Ip("-4 -o addr show", &after);
    const auto lines = [](const std::string& text) {
        return std::count(text.begin(), text.end(), '\n');
    };
    EXPECT_EQ(lines(after) - lines(before), static_cast<long>(kMaxAddedAddresses)) << after;
    EXPECT_NE(after.find("10.77.3.10/24"), std::string::npos) << after;
    EXPECT_NE(after.find("169.254.200.63/16"), std::string::npos) << after;
    EXPECT_EQ(after.find("169.254.201.1/"), std::string::npos) << after;
}

TEST_F(NetcfgHelperAsUser, OnlyTheHelpersGroupMayStartIt) {
    ASSERT_TRUE(m_lab->Host().Run([&] {
        CHelperProcess outsider(m_copy->Path(), AsNobody(false));
        EXPECT_FALSE(outsider.Ready());
        const int status = outsider.Finish();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
        CHelperProcess member(m_copy->Path(), AsNobody(true));
        EXPECT_TRUE(member.Ready()) << "a member runs it with its capabilities";
    }));
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
        bytes = EncodeRequest(Probe(link, "10.77.3.7"));
        bytes.back() = 0xFF;
        bytes[kHeaderBytes + kInterfaceNameBytes + 6] = 0x80;
        refused(bytes, "unknown probe flags");
        // Still serving after all of it.
        EXPECT_EQ(helper.Ask(Probe(link, "10.77.3.7", kHelperCameraMac)).status, Status::Done);
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
    std::strcpy(device.ip2, "10.77.3.7");
    std::strcpy(device.mask2, "255.255.255.0");
    std::strcpy(device.mac, "02:FB:00:00:00:07");
    ASSERT_TRUE(m_lab->Host().Run([&] {
        CLabHelperReach reach(m_lab->HostLink());
        uint32_t deviceAddress = 0;
        uint32_t added = 0;
        EXPECT_TRUE(reach.MakeDeviceReachable(device, deviceAddress, added, true));
        EXPECT_EQ(added, InetAddr("10.77.3.10"));  // .7 answers, .10 is free
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
    // A user outside the helper's group cannot run it either: the same notice says how to join.
    EXPECT_NE(notice.find("sudo adduser $USER firmhand"), std::string::npos) << notice;
    EXPECT_FALSE(reach.MakeDeviceReachable(device, deviceAddress, added, true));
    EXPECT_EQ(reach.TakeNotice(), "") << "given once";
}
