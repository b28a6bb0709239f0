// The camera's HTTP API: GetDeviceInfo behind Basic, Digest or no
// authentication, and the HTTP faults.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>

#include "SimTestUtil.h"

namespace {

std::string Md5Hex(const std::string& text) {
    unsigned char digest[16];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

std::string Post(const std::string& path, const std::string& extraHeaders = "",
                 const std::string& method = "POST") {
    return method + " " + path +
           " HTTP/1.1\r\nHost: camera\r\nUser-Agent: KMR Tool\r\nContent-Type:text/plain; "
           "charset=UTF-8\r\nContent-Length: 0\r\n" +
           extraHeaders + "Connection: close\r\n\r\n";
}

int Status(const std::string& reply) {
    return reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0;
}

std::string Body(const std::string& reply) {
    const size_t at = reply.find("\r\n\r\n");
    return at == std::string::npos ? "" : reply.substr(at + 4);
}

// The value of a parameter of the Digest challenge in `reply`.
std::string ChallengeParam(const std::string& reply, const std::string& name) {
    const size_t at = reply.find(name + "=\"");
    if (at == std::string::npos)
        return "";
    const size_t start = at + name.size() + 2;
    return reply.substr(start, reply.find('"', start) - start);
}

std::string DigestHeader(const std::string& user, const std::string& password,
                         const std::string& nonce, const std::string& uri,
                         const std::string& method = "POST") {
    const std::string ha1 = Md5Hex(user + ":KMR IP Camera:" + password);
    const std::string ha2 = Md5Hex(method + ":" + uri);
    const std::string response = Md5Hex(ha1 + ":" + nonce + ":00000001:0a4f113b:auth:" + ha2);
    return "Authorization: Digest username=\"" + user + "\", realm=\"KMR IP Camera\", nonce=\"" +
           nonce + "\", uri=\"" + uri + "\", algorithm=MD5, qop=auth, nc=00000001, " +
           "cnonce=\"0a4f113b\", response=\"" + response + "\"\r\n";
}

class HttpApi : public SimCameraTest {
protected:
    std::string Send(const std::string& request) {
        return HttpExchange(where.ip, where.httpPort, request);
    }
};

}  // namespace

TEST_F(HttpApi, DigestChallengeThenVersions) {
    SimCameraConfig cam = TestCamera("00:1A:2B:62:00:01", "127.62.0.1");
    cam.structVersion = "2.1.0";
    cam.faceDetectVersion = "1.4.2";
    cam.vehicleVersion = "3.0.1";
    StartCamera(cam);
    const std::string challenge = Send(Post("/GetDeviceInfo"));
    ASSERT_EQ(Status(challenge), 401);
    EXPECT_NE(challenge.find("WWW-Authenticate: Digest realm=\"KMR IP Camera\""),
              std::string::npos);
    const std::string nonce = ChallengeParam(challenge, "nonce");
    ASSERT_FALSE(nonce.empty());

    const std::string ok =
        Send(Post("/GetDeviceInfo", DigestHeader("admin", "739518", nonce, "/GetDeviceInfo")));
    ASSERT_EQ(Status(ok), 200);
    const std::string xml = Body(ok);
    EXPECT_NE(xml.find("<config>"), std::string::npos);
    EXPECT_EQ(XmlText(xml, "structVersion"), "2.1.0");
    EXPECT_EQ(XmlText(xml, "faceDetectVersion"), "1.4.2");
    EXPECT_EQ(XmlText(xml, "vehicleVersion"), "3.0.1");
    EXPECT_NE(ok.find("Content-Length: " + std::to_string(xml.size())), std::string::npos);

    const std::string wrong =
        Send(Post("/GetDeviceInfo", DigestHeader("admin", "admin124", nonce, "/GetDeviceInfo")));
    EXPECT_EQ(Status(wrong), 401);
    const std::string stale =
        Send(Post("/GetDeviceInfo", DigestHeader("admin", "739518", "00ff", "/GetDeviceInfo")));
    EXPECT_EQ(Status(stale), 401);
    EXPECT_NE(stale.find("stale=true"), std::string::npos);
    const std::string otherUri =
        Send(Post("/GetDeviceInfo", DigestHeader("admin", "739518", nonce, "/Other")));
    EXPECT_EQ(Status(otherUri), 401);

    const auto events = fleet.Events(cam.mac);
    std::map<std::string, int> auths;
    for (const auto& e : events) {
        if (e.kind == "http")
            ++auths[e.Get("auth")];
    }
    EXPECT_EQ(auths["missing"], 1);
    EXPECT_EQ(auths["ok"], 1);
    EXPECT_EQ(auths["wrong"], 2);
    EXPECT_EQ(auths["stale"], 1);
}

TEST_F(HttpApi, BasicAndNoAuthentication) {
    SimCameraConfig cam = TestCamera("00:1A:2B:62:00:02", "127.62.0.2");
    cam.httpAuth = SimHttpAuth::Basic;
    StartCamera(cam);
    const std::string challenge = Send(Post("/GetDeviceInfo"));
    EXPECT_EQ(Status(challenge), 401);
    EXPECT_NE(challenge.find("WWW-Authenticate: Basic realm="), std::string::npos);
    // admin:739518
    EXPECT_EQ(Status(Send(Post("/GetDeviceInfo", "Authorization: Basic YWRtaW46NzM5NTE4\r\n"))),
              200);
    EXPECT_EQ(Status(Send(Post("/GetDeviceInfo", "Authorization: Basic YWRtaW46YWRtaW4=\r\n"))),
              401);

    fleet.SetCredentials(cam.mac, "admin", "admin123", SimProtection::None);
    SimCameraConfig open = TestCamera("00:1A:2B:62:00:03", "127.62.0.3");
    open.httpAuth = SimHttpAuth::None;
    fleet.AddCamera(open);
    const SimCameraInfo openWhere = *fleet.Camera(open.mac);
    EXPECT_EQ(Status(HttpExchange(openWhere.ip, openWhere.httpPort, Post("/GetDeviceInfo"))), 200);
    EXPECT_EQ(
        Status(HttpExchange(openWhere.ip, openWhere.httpPort, Post("/GetDeviceInfo", "", "GET"))),
        405);
    EXPECT_EQ(Status(HttpExchange(openWhere.ip, openWhere.httpPort, Post("/Other"))), 404);
}

TEST_F(HttpApi, NotFoundFault) {
    SimCameraConfig cam = TestCamera("00:1A:2B:62:00:04", "127.62.0.4");
    cam.httpAuth = SimHttpAuth::None;
    cam.faults.http404 = true;
    StartCamera(cam);
    EXPECT_EQ(Status(Send(Post("/GetDeviceInfo"))), 404);
}

TEST_F(HttpApi, ChunkedReplyCarriesNoContentLength) {
    SimCameraConfig cam = TestCamera("00:1A:2B:62:00:05", "127.62.0.5");
    cam.httpAuth = SimHttpAuth::None;
    cam.faults.httpChunked = true;
    StartCamera(cam);
    const std::string reply = Send(Post("/GetDeviceInfo"));
    ASSERT_EQ(Status(reply), 200);
    EXPECT_NE(reply.find("Transfer-Encoding: chunked"), std::string::npos);
    EXPECT_EQ(reply.find("Content-Length"), std::string::npos);
    // Decode the chunks.
    std::string body = Body(reply);
    std::string decoded;
    for (;;) {
        const size_t eol = body.find("\r\n");
        ASSERT_NE(eol, std::string::npos);
        const size_t size = std::stoul(body.substr(0, eol), nullptr, 16);
        if (size == 0)
            break;
        decoded += body.substr(eol + 2, size);
        body = body.substr(eol + 2 + size + 2);
    }
    EXPECT_EQ(XmlText(decoded, "structVersion"), "1.0.0");
}

TEST_F(HttpApi, MissingEmptyAndUnderscoredVersions) {
    SimCameraConfig cam = TestCamera("00:1A:2B:62:00:06", "127.62.0.6");
    cam.httpAuth = SimHttpAuth::None;
    cam.structVersion = "1.2_beta";
    cam.faceDetectVersion.reset();
    cam.vehicleVersion = "";
    StartCamera(cam);
    const std::string xml = Body(Send(Post("/GetDeviceInfo")));
    bool found = false;
    EXPECT_EQ(XmlText(xml, "structVersion", &found), "1.2_beta");
    XmlText(xml, "faceDetectVersion", &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(XmlText(xml, "vehicleVersion", &found), "");
    EXPECT_TRUE(found);
}

TEST_F(HttpApi, BadRequestsAreAnsweredAndClosed) {
    SimCameraConfig cam = TestCamera("00:1A:2B:62:00:07", "127.62.0.7");
    cam.httpAuth = SimHttpAuth::None;
    StartCamera(cam);
    EXPECT_EQ(Status(Send("garbage\r\n\r\n")), 400);
    EXPECT_EQ(
        Status(Send("POST /GetDeviceInfo HTTP/1.1\r\nX: " + std::string(20000, 'a') + "\r\n\r\n")),
        431);
    EXPECT_EQ(Status(Send("POST /GetDeviceInfo HTTP/1.1\r\nContent-Length: 5000000\r\n\r\n")), 413);
    EXPECT_EQ(Status(Send("POST /GetDeviceInfo HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n")),
              501);
    // A body announced with Expect is invited, then the request is answered.
    const std::string reply =
        HttpExchange(where.ip, where.httpPort,
                     "POST /GetDeviceInfo HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4\r\n"
                     "Connection: close\r\n\r\n",
                     200);
    EXPECT_EQ(Status(reply), 100);
    // Two requests on one kept-alive connection.
    std::string first = Post("/GetDeviceInfo");
    first.replace(first.find("Connection: close"), 17, "Connection: keep-alive");
    const std::string two = Send(first + Post("/GetDeviceInfo"));
    EXPECT_NE(two.find("HTTP/1.1 200"), two.rfind("HTTP/1.1 200"));
}
