// Search probes and replies, from the camera's side.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "SimFleet.h"
#include "SimTestUtil.h"
#include "SimXml.h"
#include "support/TestSupport.h"

using testing_support::WaitFor;

TEST(Discovery, ReplyCarriesTheCameraAsDescribed) {
    SimCameraConfig cam = TestCamera("00:1a:2b:63:00:01", "127.63.0.1");
    cam.name = "Gate <1> & \"yard\"";
    cam.model = "IPC-2020";
    cam.series = "KMR_IPC_X";
    cam.ip2 = "127.63.1.1";
    cam.mask2 = "255.255.0.0";
    cam.deviceActivated = 1;
    CSimFleet fleet;
    fleet.AddCamera(cam);
    ASSERT_TRUE(fleet.Start());
    const SimCameraInfo where = *fleet.Camera("00:1A:2B:63:00:01");  // case ignored
    const std::string reply = SendProbe(where.ip, where.searchPort);
    SimXmlNode root;
    std::string error;
    ASSERT_TRUE(SimXmlParse(reply, &root, &error)) << error << "\n" << reply;
    EXPECT_EQ(root.name, "multicastSearchResult");
    EXPECT_EQ(root.Child("mac")->text, cam.mac);
    EXPECT_EQ(root.Child("bootId")->text, fleet.State(cam.mac)->bootId);
    const SimXmlNode* product = root.Child("productInfo");
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->Child("devName")->text, cam.name);
    EXPECT_EQ(product->Child("productSeries")->text, "KMR_IPC_X");
    EXPECT_EQ(product->Child("softwareBulildDate")->text, "2023-01-18");
    EXPECT_EQ(product->Child("deviceActivated")->text, "1");
    const SimXmlNode* items = root.Child("tcpIp")->Child("ipAddr");
    ASSERT_EQ(items->children.size(), 2u);
    EXPECT_EQ(items->children[0].Child("ip")->text, "127.63.0.1");
    EXPECT_EQ(items->children[1].Child("ip")->text, "127.63.1.1");
    EXPECT_EQ(items->children[1].Child("mask")->text, "255.255.0.0");
    EXPECT_EQ(root.Child("port")->Child("dataPort")->text, std::to_string(where.dataPort));
    EXPECT_EQ(root.Child("port")->Child("httpPort")->text, std::to_string(where.httpPort));
    EXPECT_EQ(fleet.State(cam.mac)->probesAnswered, 1);
}

TEST(Discovery, AnythingButAProbeIsIgnored) {
    SimCameraConfig cam = TestCamera("00:1A:2B:63:00:02", "127.63.0.2");
    CSimFleet fleet;
    fleet.AddCamera(cam);
    ASSERT_TRUE(fleet.Start());
    const SimCameraInfo where = *fleet.Camera(cam.mac);
    const std::string bad[] = {
        "hello",
        "<multicastSearchResult><version>1</version><seq>1</seq></multicastSearchResult>",
        "<multicastSearch><version>2</version><seq>1</seq></multicastSearch>",
        "<multicastSearch><version>1</version><seq>x</seq></multicastSearch>",
        "<multicastSearch><version>1</version><seq>99999999999</seq></multicastSearch>",
        "<multicastSearch><version>1</version><seq>1</seq>",
        "<multicastSearch><version>1</version><seq>1</seq></multicastSearch><more/>",
        "<!DOCTYPE x><multicastSearch><version>1</version><seq>1</seq></multicastSearch>",
        ProbeText() + std::string(8200, ' '),
    };
    for (const std::string& probe : bad) {
        // No reply within a short wait; the event below says the camera saw it.
        EXPECT_EQ(SendProbe(where.ip, where.searchPort, 100, probe), "") << probe.substr(0, 80);
    }
    EXPECT_TRUE(WaitFor([&] { return fleet.CountEvents(cam.mac, "probe_ignored") >= 9; }));
    EXPECT_EQ(fleet.CountEvents(cam.mac, "probe_ignored"), 9);
    // Whitespace, a comment and attributes do not matter.
    EXPECT_NE(SendProbe(where.ip, where.searchPort, 500,
                        "<?xml version=\"1.0\"?><!-- x --><multicastSearch a=\"1\">\n <version> 1 "
                        "</version><seq>4294967295</seq></multicastSearch>"),
              "");
}

TEST(Discovery, MulticastProbeOnTheSharedSearchPort) {
    // A free port for this test's cameras (they share it, on their own addresses).
    const int finder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    inet_pton(AF_INET, "127.63.0.3", &any.sin_addr);
    ASSERT_EQ(::bind(finder, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
    socklen_t length = sizeof any;
    getsockname(finder, reinterpret_cast<sockaddr*>(&any), &length);
    const uint16_t port = ntohs(any.sin_port);
    ::close(finder);

    CSimFleet fleet;
    for (int i = 0; i < 2; ++i) {
        SimCameraConfig cam =
            TestCamera("00:1A:2B:63:00:1" + std::to_string(i), "127.63.0." + std::to_string(3 + i));
        cam.searchPort = port;
        fleet.AddCamera(cam);
    }
    ASSERT_TRUE(fleet.Start());

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    in_addr loopback{};
    inet_pton(AF_INET, "127.0.0.1", &loopback);
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(port);
    inet_pton(AF_INET, "239.192.77.1", &group.sin_addr);
    const std::string probe = ProbeText(7);
    ::sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&group), sizeof group);
    std::set<std::string> from;
    for (int i = 0; i < 2; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1)
            break;
        char buffer[9000];
        sockaddr_in sender{};
        socklen_t senderLength = sizeof sender;
        if (::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender),
                       &senderLength) > 0) {
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
            from.insert(std::string(text) + ":" + std::to_string(ntohs(sender.sin_port)));
        }
    }
    ::close(fd);
    // Each camera answers from its own address and search port.
    EXPECT_EQ(from, (std::set<std::string>{"127.63.0.3:" + std::to_string(port),
                                           "127.63.0.4:" + std::to_string(port)}));
}

TEST(Fleet, SixtyFourIdleCamerasLeaveTheLoopAsleep) {
    CSimFleet fleet;
    for (const auto& cam : CSimFleet::UniformFleet(64, "127.63.10.1"))
        fleet.AddCamera(cam);
    ASSERT_TRUE(fleet.Start());
    const auto cameras = fleet.Cameras();
    ASSERT_EQ(cameras.size(), 64u);
    EXPECT_EQ(cameras[63].ip, "127.63.10.64");
    EXPECT_EQ(cameras[63].mac, "00:1A:2B:00:00:40");
    for (const auto& c : cameras) {
        ASSERT_NE(SendProbe(c.ip, c.searchPort), "") << c.mac;
    }
    const uint64_t before = fleet.LoopTurns();
    // An idle loop sleeps in poll(); a spinning one would count turns at once.
    EXPECT_FALSE(
        WaitFor([&] { return fleet.LoopTurns() - before > 2; }, std::chrono::milliseconds(300)));
}

TEST(Fleet, CamerasAddedLaterAndARestartedFleet) {
    CSimFleet fleet;
    fleet.AddCamera(TestCamera("00:1A:2B:63:00:20", "127.63.0.20"));
    std::string error;
    ASSERT_TRUE(fleet.Start(&error)) << error;
    EXPECT_EQ(fleet.AddCamera(TestCamera("00:1A:2B:63:00:21", "127.63.0.21")), 1);
    const auto later = fleet.Camera("00:1A:2B:63:00:21");
    ASSERT_TRUE(later.has_value());
    EXPECT_NE(SendProbe(later->ip, later->searchPort), "");
    EXPECT_EQ(fleet.AddCamera(TestCamera("zz", "127.63.0.22")), -1);
    fleet.Stop();
    EXPECT_FALSE(fleet.Running());
    ASSERT_TRUE(fleet.Start(&error)) << error;
    EXPECT_EQ(fleet.Cameras().size(), 2u);
    EXPECT_EQ(fleet.CountEvents("00:1A:2B:63:00:21", "start"), 2);
}

TEST(Fleet, StartFailsCleanlyOnABadCamera) {
    CSimFleet fleet;
    fleet.AddCamera(TestCamera("00:1A:2B:63:00:30", "127.63.0.30"));
    SimCameraConfig bad = TestCamera("00:1A:2B:63:00:31", "10.0.0.1.5");
    fleet.AddCamera(bad);
    std::string error;
    EXPECT_FALSE(fleet.Start(&error));
    EXPECT_NE(error.find("bad address"), std::string::npos);
    EXPECT_FALSE(fleet.Running());
}
