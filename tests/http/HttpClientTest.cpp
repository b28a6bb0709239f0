// The HTTP client seen from a scripted peer: what goes over the wire, and
// how replies that are odd, broken, slow or too long come back.
#include <gtest/gtest.h>
#include <strings.h>

#include <chrono>
#include <thread>

#include "RawHttpPeer.h"
#include "app/Logger.h"
#include "http/HttpClient.h"
#include "support/TestSupport.h"

using testing_support::ReturnsWithin;
using namespace std::chrono_literals;

namespace {

// How often a header of this name (any case) appears in a raw request.
int CountHeader(const std::string& request, const std::string& name) {
    int count = 0;
    size_t pos = 0;
    while ((pos = request.find("\r\n", pos)) != std::string::npos) {
        pos += 2;
        if (strncasecmp(request.c_str() + pos, (name + ":").c_str(), name.size() + 1) == 0) {
            ++count;
        }
    }
    return count;
}

class HttpClientPeer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(peer.Start()); }
    void TearDown() override { CHttpClient::SetReceiveTimeoutForTest(0); }

    std::string OnlyRequest() const {
        const auto requests = peer.Requests();
        return requests.size() == 1 ? requests[0] : std::string();
    }

    CRawHttpPeer peer{"127.80.0.1"};
};

}  // namespace

TEST(HttpClientUrl, BaseUrlHasNoHostSoOnlyAbsoluteUrlsResolve) {
    CHttpClient http;
    EXPECT_EQ(http.BuildBaseUrl(), "http:///");
    EXPECT_EQ(http.ResolveUrl("http://127.0.0.1:8080/GetDeviceInfo"),
              "http://127.0.0.1:8080/GetDeviceInfo");
    EXPECT_EQ(http.ResolveUrl("http://127.0.0.1/a b/\xc3\xa9?x=1"),
              "http://127.0.0.1/a%20b/%c3%a9?x=1");
    EXPECT_EQ(http.ResolveUrl("GetDeviceInfo"), "");
    EXPECT_EQ(http.ResolveUrl("http://:80/GetDeviceInfo"), "");
    EXPECT_EQ(http.ResolveUrl("http://127.0.0.1:99999/x"), "");
}

TEST_F(HttpClientPeer, PostGoesToThePathWithHeadersInNameOrder) {
    peer.SetReply(CRawHttpPeer::Reply(200, "<config/>"));
    CHttpClient http;
    http.AddHeader("Zeta", "1");
    http.AddHeader("Content-Type", "text/plain; charset=UTF-8");
    http.AddHeader("Alpha", "first");
    http.AddHeader("Alpha", "second");
    std::string reply;
    int status = 0;
    ASSERT_EQ(http.Request(peer.Url("/p/q?x=1&y=2#frag"), "body!", &reply, &status), 0);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(reply, "<config/>");

    const std::string request = OnlyRequest();
    EXPECT_EQ(request.rfind("POST /p/q HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_EQ(request.find("x=1"), std::string::npos);
    EXPECT_EQ(request.find("frag"), std::string::npos);
    EXPECT_NE(request.find("\r\nUser-Agent: KMR Tool\r\n"), std::string::npos);
    // "name:value", no blank, one line per name, ascending name order.
    const size_t alpha = request.find("\r\nAlpha:second\r\n");
    const size_t type = request.find("\r\nContent-Type:text/plain; charset=UTF-8\r\n");
    const size_t zeta = request.find("\r\nZeta:1\r\n");
    ASSERT_NE(alpha, std::string::npos) << request;
    ASSERT_NE(type, std::string::npos) << request;
    ASSERT_NE(zeta, std::string::npos) << request;
    EXPECT_LT(alpha, type);
    EXPECT_LT(type, zeta);
    EXPECT_EQ(CountHeader(request, "Alpha"), 1);
    EXPECT_EQ(CountHeader(request, "Content-Type"), 1);
    // Nothing the caller did not ask for.
    EXPECT_EQ(CountHeader(request, "Accept"), 0);
    EXPECT_EQ(CountHeader(request, "Expect"), 0);
    EXPECT_EQ(CountHeader(request, "Authorization"), 0);
    EXPECT_NE(request.find("\r\nContent-Length: 5\r\n"), std::string::npos);
    EXPECT_EQ(request.substr(request.size() - 5), "body!");
}

TEST_F(HttpClientPeer, HeaderNamesDifferingInCaseAreOneHeader) {
    CHttpClient http;
    http.AddHeader("X-Camera", "upper");
    http.AddHeader("x-camera", "lower");
    ASSERT_EQ(http.Request(peer.Url("/x"), "", nullptr, nullptr), 0);
    const std::string request = OnlyRequest();
    // Byte order puts "X-Camera" first; the later "x-camera" replaces its value.
    EXPECT_EQ(CountHeader(request, "X-Camera"), 1) << request;
    EXPECT_NE(request.find("\r\nX-Camera:lower\r\n"), std::string::npos) << request;
    // No form Content-Type for a body the caller did not type.
    EXPECT_EQ(CountHeader(request, "Content-Type"), 0);
}

TEST_F(HttpClientPeer, HeadersThatWouldSplitTheRequestAreNotSent) {
    CLogCapture log;
    CHttpClient http;
    http.AddHeader("X-Evil\r\nInjected", "1");
    http.AddHeader("X-Value", "a\r\nInjected: 2");
    http.AddHeader("X-Empty", "");
    ASSERT_EQ(http.Request(peer.Url("/x"), "", nullptr, nullptr), 0);
    const std::string request = OnlyRequest();
    EXPECT_EQ(request.find("Injected"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nX-Empty:"), std::string::npos) << request;
    EXPECT_EQ(log.Count("header dropped"), 2);
}

TEST_F(HttpClientPeer, ReplyIsCutAtItsFirstNulAndAnyStatusCounts) {
    peer.SetReply(CRawHttpPeer::Reply(503, std::string("busy\0tail", 9)));
    CHttpClient http;
    std::string reply = "untouched";
    int status = 0;
    ASSERT_EQ(http.Request(peer.Url("/x"), "", &reply, &status), 0);
    EXPECT_EQ(status, 503);
    EXPECT_EQ(reply, "busy");
}

TEST_F(HttpClientPeer, ChunkedReplyIsReadWhole) {
    peer.SetReply(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
        "4\r\n<con\r\n5\r\nfig/>\r\n0\r\n\r\n");
    CHttpClient http;
    std::string reply;
    int status = 0;
    ASSERT_EQ(http.Request(peer.Url("/x"), "", &reply, &status), 0);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(reply, "<config/>");
}

TEST_F(HttpClientPeer, SilentPeerEndsAtTheReceiveTimeoutWithoutAReply) {
    CHttpClient::SetReceiveTimeoutForTest(1000);
    peer.SetReply(std::nullopt);
    CHttpClient http;
    std::string reply = "untouched";
    int status = 0;
    // Without the receive time-out only the minute of the total limit would end it.
    EXPECT_TRUE(ReturnsWithin(
        30s, [&] { EXPECT_EQ(http.Request(peer.Url("/x"), "", &reply, &status), -1); }));
    EXPECT_EQ(peer.Requests().size(), 1u) << "the request went out";
    EXPECT_EQ(status, -1);
    EXPECT_EQ(reply, "untouched");
}

// A body that stops half-way (the peer keeps the connection open) or one
// too long to keep: the status counts, the reply is left as it was.
TEST_F(HttpClientPeer, BodyCutShortOrTooLongLeavesTheReplyButKeepsTheStatus) {
    CHttpClient::SetReceiveTimeoutForTest(1000);
    const std::tuple<std::string, bool, const char*> cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<config>", true, "reply not read whole"},
        {CRawHttpPeer::Reply(200, std::string(CHttpClient::kMaxReplyBytes + 1, 'x')), false,
         "reply dropped"},
    };
    for (const auto& [raw, keepOpen, line] : cases) {
        peer.SetReply(raw, keepOpen);
        CLogCapture log;
        CHttpClient http;
        std::string reply = "untouched";
        int status = 0;
        EXPECT_EQ(http.Request(peer.Url("/x"), "", &reply, &status), 0) << line;
        EXPECT_EQ(status, 200) << line;
        EXPECT_EQ(reply, "untouched") << line;
        EXPECT_TRUE(log.Contains(line));
    }
}

TEST_F(HttpClientPeer, CancelFlagEndsAStalledRequest) {
    // Far beyond the total limit: without the flag only that minute would end it.
    CHttpClient::SetReceiveTimeoutForTest(600000);
    peer.SetReply(std::nullopt);
    std::atomic<bool> cancel{false};
    CHttpClient http;
    http.SetCancelFlag(&cancel);
    std::thread canceller([&] {
        testing_support::WaitFor([&] { return peer.Requests().size() == 1; });
        cancel = true;
    });
    int status = 0;
    EXPECT_TRUE(ReturnsWithin(
        30s, [&] { EXPECT_EQ(http.Request(peer.Url("/x"), "", nullptr, &status), -1); }));
    canceller.join();
    EXPECT_EQ(status, -1);
}

TEST(HttpClientFailures, NothingListeningOrNoHttpUrlFailsBeforeSending) {
    const std::string ip = "127.80.0.2";
    CHttpClient http;
    std::string reply = "untouched";
    int status = 0;
    EXPECT_EQ(http.Request("http://" + ip + ":" + std::to_string(ClosedPort(ip)) + "/x", "", &reply,
                           &status),
              -1);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(reply, "untouched");
    for (const char* url : {"", "GetDeviceInfo", "http://:80/GetDeviceInfo", "ftp://127.80.0.2/x",
                            "file:///etc/passwd"}) {
        status = 0;
        EXPECT_EQ(http.Request(url, "", &reply, &status), -1) << url;
        EXPECT_EQ(status, -1) << url;
    }
    EXPECT_EQ(reply, "untouched");
}
