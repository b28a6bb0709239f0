#include <gtest/gtest.h>

#include "TestResponder.h"
#include "app/Logger.h"
#include "discovery/NetInterfaces.h"
#include "discovery/SearchProtocol.h"
#include "discovery/SearchTargets.h"

TEST(SearchProtocol, ProbeIsTheProtocolDocument) {
    EXPECT_EQ(search::BuildProbe(42),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<multicastSearch>\n"
              "  <version>1</version>\n  <seq>42</seq>\n</multicastSearch>\n");
}

TEST(SearchProtocol, ReplyNeedsXmlRootAndValidMac) {
    search::SearchReply reply;
    std::string reason;
    FakeCamera camera;
    camera.mac = "00:1a:2B:3c:4D:5e";
    ASSERT_TRUE(search::ParseReply(FakeReply(camera), reply, reason)) << reason;
    EXPECT_EQ(reply.mac, "00:1a:2B:3c:4D:5e");
    EXPECT_EQ(reply.bootId, "b1");
    EXPECT_TRUE(search::ParseReply(FakeReply(camera) + std::string(3, '\0'), reply, reason))
        << "a C peer's terminator is tolerated";
    EXPECT_TRUE(search::ParseReply(
        "<multicastSearchResult><mac> 00:11:22:33:44:55\n</mac></multicastSearchResult>", reply,
        reason));
    EXPECT_EQ(reply.bootId, "") << "bootId is optional";

    const char* bad[] = {
        "",
        "<multicastSearchResult><mac>00:11:22:33:44:5</mac></multicastSearchResult>",
        "<multicastSearchResult><mac>00-11-22-33-44-55</mac></multicastSearchResult>",
        "<multicastSearchResult><mac>00:11:22:33:44:5G</mac></multicastSearchResult>",
        "<multicastSearchResult></multicastSearchResult>",
        "<multicastSearch><mac>00:11:22:33:44:55</mac></multicastSearch>",
        "<multicastSearchResult><mac>00:11:22:33:44:55</mac>",
        "garbage",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(search::ParseReply(text, reply, reason)) << text;
    }
    const std::string withNul = std::string("<multicastSearchResult><mac>00:11:22:33:44:55</mac>") +
                                '\0' + "</multicastSearchResult>";
    EXPECT_FALSE(search::ParseReply(withNul, reply, reason));
    const std::string big = "<multicastSearchResult><mac>00:11:22:33:44:55</mac><p>" +
                            std::string(8200, 'x') + "</p></multicastSearchResult>";
    EXPECT_FALSE(search::ParseReply(big, reply, reason));
    EXPECT_EQ(reason, "oversize datagram");
}

TEST(SearchTargets, ListParsing) {
    CLogCapture log;
    const auto targets =
        ParseSearchTargets(" 127.0.0.2 , cam.local:4000,,127.0.0.3:0, :5,x:99999,y:12ab ", 37810);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].host, "127.0.0.2");
    EXPECT_EQ(targets[0].port, 37810);
    EXPECT_EQ(targets[1].host, "cam.local");
    EXPECT_EQ(targets[1].port, 4000);
    EXPECT_EQ(log.Count("skipped"), 4);
    EXPECT_TRUE(ParseSearchTargets("", 1).empty());
}

TEST(NetInterfaces, SelectionAndPresence) {
    const std::vector<NetInterface> all = {
        {"lo", 0x7F000001, true, true, true},     {"eth0", 0xC0A80102, true, true, false},
        {"eth0", 0x0A000001, true, true, false},  {"wlan0", 0xC0A80202, false, false, false},
        {"tun0", 0x0A080001, true, false, false},
    };
    EXPECT_EQ(SelectSearchInterfaces(all, "eth0").size(), 2u) << "every address of the adapter";
    EXPECT_EQ(SelectSearchInterfaces(all, "wlan0").size(), 0u) << "down";
    EXPECT_EQ(SelectSearchInterfaces(all, "ETH0").size(), 0u) << "names match exactly";
    EXPECT_EQ(SelectSearchInterfaces(all, "").size(), 4u) << "all that are up, loopback included";

    EXPECT_TRUE(HasLiveInterface(all));
    EXPECT_FALSE(HasLiveInterface({all[0], all[3], all[4]}))
        << "loopback, down, or up without carrier do not count";
    EXPECT_FALSE(HasLiveInterface({}));
}
