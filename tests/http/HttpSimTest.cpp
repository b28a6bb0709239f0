// The HTTP client against the simulated cameras' API: both kinds of
// authentication, wrong and missing credentials, the path sent. (Error pages
// and chunked replies from the cameras are covered by the query's tests.)
#include <gtest/gtest.h>

#include <algorithm>

#include "SimTestCamera.h"
#include "app/Logger.h"
#include "http/HttpClient.h"

namespace {

struct Exchange {
    int result = -2;
    int status = 0;
    std::string reply;
};

// Asks the camera at `at` for `path`, Basic authentication allowed or not.
Exchange AskAt(const SimCameraInfo& at, const std::string& user, const std::string& password,
               bool basicAllowed = false, const std::string& path = "/GetDeviceInfo") {
    CHttpClient http;
    http.AddHeader("Content-Type", "text/plain; charset=UTF-8");
    http.SetCredentials(user, password);
    http.SetBasicAuthAllowed(basicAllowed);
    Exchange e;
    e.result = http.Request("http://" + at.ip + ":" + std::to_string(at.httpPort) + path, "",
                            &e.reply, &e.status);
    return e;
}

class HttpClientSim : public ::testing::Test {
protected:
    void Start(const SimCameraConfig& cam) {
        fleet.AddCamera(cam);
        ASSERT_TRUE(fleet.Start());
        where = *fleet.Camera(cam.mac);
    }
    Exchange Ask(const std::string& user, const std::string& password,
                 const std::string& path = "/GetDeviceInfo") {
        return AskAt(where, user, password, false, path);
    }
    CSimFleet fleet;
    SimCameraInfo where;
};

}  // namespace

TEST_F(HttpClientSim, BasicAndDigestBothAnswerWithTheVersions) {
    for (const SimHttpAuth auth : {SimHttpAuth::Basic, SimHttpAuth::Digest, SimHttpAuth::None}) {
        CSimFleet own;
        SimCameraConfig cam = HttpTestCamera("00:1A:2B:80:00:01", "127.80.1.1", auth);
        own.AddCamera(cam);
        ASSERT_TRUE(own.Start());
        const Exchange e = AskAt(*own.Camera(cam.mac), "admin", "cam-pass", true);
        ASSERT_EQ(e.result, 0);
        EXPECT_EQ(e.status, 200) << static_cast<int>(auth);
        EXPECT_NE(e.reply.find("<structVersion>2.1.0</structVersion>"), std::string::npos)
            << e.reply;
        // The camera logs a request just after it answered it.
        ASSERT_TRUE(own.WaitForEvent(cam.mac, "http", 5000, auth == SimHttpAuth::None ? 1 : 2));
        const auto http1 = HttpEvents(own, cam.mac);
        ASSERT_FALSE(http1.empty());
        EXPECT_EQ(http1.back().Get("auth"), auth == SimHttpAuth::None ? "none" : "ok");
        EXPECT_EQ(http1.back().Get("method"), "POST");
    }
}

TEST_F(HttpClientSim, WrongCredentialsStillCountAsARequestWithStatus401) {
    for (const SimHttpAuth auth : {SimHttpAuth::Basic, SimHttpAuth::Digest}) {
        CSimFleet own;
        SimCameraConfig cam = HttpTestCamera("00:1A:2B:80:00:02", "127.80.1.2", auth);
        own.AddCamera(cam);
        ASSERT_TRUE(own.Start());
        const Exchange e = AskAt(*own.Camera(cam.mac), "admin", "wrong", true);
        EXPECT_EQ(e.result, 0);
        EXPECT_EQ(e.status, 401);
        EXPECT_EQ(e.reply.find("structVersion"), std::string::npos);
        ASSERT_TRUE(own.WaitForEvent(cam.mac, "http", 5000, 2));
        EXPECT_EQ(HttpEvents(own, cam.mac).back().Get("auth"), "wrong");
    }
}

TEST_F(HttpClientSim, BasicOnlyWhenAllowedAndThenWarned) {
    Start(HttpTestCamera("00:1A:2B:80:00:04", "127.80.1.4", SimHttpAuth::Basic));
    CLogCapture log;
    // Not allowed: the password is not sent in clear, the camera sees none.
    Exchange e = Ask("admin", "cam-pass");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.status, 401);
    ASSERT_TRUE(fleet.WaitForEvent("00:1A:2B:80:00:04", "http", 5000));
    const auto events = HttpEvents(fleet, "00:1A:2B:80:00:04");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Get("auth"), "missing");
    const auto warned = [&](const std::string& text) {
        const auto lines = log.Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const LogLine& line) {
            return line.level == kLogWarning && line.text.find(text) != std::string::npos;
        });
    };
    EXPECT_TRUE(warned("asks for Basic authentication only"));
    EXPECT_FALSE(warned("Basic authentication used"));

    // Allowed: it answers, and the log says the password went in clear.
    e = AskAt(where, "admin", "cam-pass", true);
    ASSERT_EQ(e.result, 0);
    EXPECT_EQ(e.status, 200);
    EXPECT_TRUE(warned("Basic authentication used"));
    // A Digest camera gives no warning.
    CSimFleet digest;
    const SimCameraConfig cam =
        HttpTestCamera("00:1A:2B:80:00:05", "127.80.1.5", SimHttpAuth::Digest);
    digest.AddCamera(cam);
    ASSERT_TRUE(digest.Start());
    CLogCapture quiet;
    e = AskAt(*digest.Camera(cam.mac), "admin", "cam-pass", true);
    ASSERT_EQ(e.result, 0);
    EXPECT_EQ(e.status, 200);
    for (const LogLine& line : quiet.Lines()) {
        EXPECT_EQ(line.text.find("Basic"), std::string::npos) << line.text;
    }
}

TEST_F(HttpClientSim, NoCredentialsMeansNoAuthorization) {
    Start(HttpTestCamera("00:1A:2B:80:00:03", "127.80.1.3", SimHttpAuth::Basic));
    const Exchange e = Ask("", "");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.status, 401);
    ASSERT_TRUE(fleet.WaitForEvent("00:1A:2B:80:00:03", "http", 5000));
    const auto events = HttpEvents(fleet, "00:1A:2B:80:00:03");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Get("auth"), "missing");
}

TEST_F(HttpClientSim, QueryStringStaysBehindEvenThroughDigest) {
    Start(HttpTestCamera("00:1A:2B:80:00:06", "127.80.1.6", SimHttpAuth::Digest));
    const Exchange e = Ask("admin", "cam-pass", "/GetDeviceInfo?session=1&x=%20");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.status, 200);
    ASSERT_TRUE(fleet.WaitForEvent("00:1A:2B:80:00:06", "http", 5000, 2));
    const auto events = HttpEvents(fleet, "00:1A:2B:80:00:06");
    ASSERT_EQ(events.size(), 2u);  // the challenge, then the answer
    for (const SimEvent& event : events) {
        EXPECT_EQ(event.Get("path"), "/GetDeviceInfo");
    }
}
