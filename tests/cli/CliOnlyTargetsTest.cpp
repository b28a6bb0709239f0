// --only-targets: the cameras at the --target addresses are chosen, not
// the others the search found (here through the "SearchTargets" setting,
// as the multicast search would on a site).
#include <gtest/gtest.h>

#include "CliFixture.h"

namespace {

class CliOnlyTargetsTest : public CliFixture {};

}  // namespace

TEST_F(CliOnlyTargetsTest, TargetsNarrowTheChoice) {
    for (int n = 1; n <= 3; ++n) {
        m_fleet.AddCamera(Camera(n));
    }
    ASSERT_TRUE(m_fleet.Start());
    const std::vector<SimCameraInfo> cams = m_fleet.Cameras();
    ASSERT_EQ(cams.size(), 3u);
    const auto target = [](const SimCameraInfo& cam) {
        return cam.ip + ":" + std::to_string(cam.searchPort);
    };

    std::string out;
    EXPECT_EQ(RunArgs({"--set", "SearchTargets=" + target(cams[1]) + "," + target(cams[2]),
                       "upgrade", "--package", NewStylePackage(m_box), "--all", "--only-targets",
                       "--target", target(cams[0]), "--seconds", "1", "--password", "secret",
                       "--yes", "--report", m_box.File("r.json")},
                      out),
              0)
        << m_err << out;
    const std::string report = m_box.Read("r.json");
    EXPECT_NE(Row(report, cams[0].mac).find("\"status\": \"upgraded\""), std::string::npos)
        << report;
    EXPECT_EQ(Row(report, cams[1].mac), "") << report;
    EXPECT_EQ(m_fleet.CountEvents(cams[1].mac, "connect"), 0);
    EXPECT_EQ(m_fleet.CountEvents(cams[2].mac, "connect"), 0);

    // A host name cannot be compared with the cameras' addresses.
    EXPECT_EQ(RunArgs({"upgrade", "--package", NewStylePackage(m_box), "--all", "--only-targets",
                       "--target", "camera.example", "--yes"},
                      out),
              2);
    EXPECT_NE(m_err.find("a.b.c.d[:PORT]"), std::string::npos) << m_err;
}

// scan and ai-versions narrow the same way: only the target's camera is
// listed, and only it is asked for its versions.
TEST_F(CliOnlyTargetsTest, ScanAndAiVersionsListOnlyTheTargetsCameras) {
    for (int n = 1; n <= 2; ++n) {
        m_fleet.AddCamera(Camera(n));
    }
    ASSERT_TRUE(m_fleet.Start());
    const std::vector<SimCameraInfo> cams = m_fleet.Cameras();
    const std::string first = cams[0].ip + ":" + std::to_string(cams[0].searchPort);
    const std::string other = cams[1].ip + ":" + std::to_string(cams[1].searchPort);

    std::string out;
    EXPECT_EQ(RunArgs({"--set", "SearchTargets=" + other, "scan", "--json", "--only-targets",
                       "--target", first, "--seconds", "1"},
                      out),
              0)
        << m_err;
    EXPECT_NE(out.find(cams[0].mac), std::string::npos) << out;
    EXPECT_EQ(out.find(cams[1].mac), std::string::npos) << out;

    EXPECT_EQ(
        RunArgs({"--set", "SearchTargets=" + other, "ai-versions", "--all", "--json",
                 "--only-targets", "--target", first, "--seconds", "1", "--password", "secret"},
                out),
        0)
        << m_err << out;
    EXPECT_NE(out.find(cams[0].mac), std::string::npos) << out;
    EXPECT_EQ(out.find(cams[1].mac), std::string::npos) << out;

    for (const char* command : {"scan", "ai-versions"}) {
        EXPECT_EQ(RunArgs({command, "--only-targets", "--target", "camera.example"}, out), 2);
        EXPECT_NE(m_err.find("a.b.c.d[:PORT]"), std::string::npos) << m_err;
    }
}
