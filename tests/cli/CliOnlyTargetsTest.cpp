// --only-targets: the cameras at the --target addresses are chosen, not
// the others the search found (here through the "SearchTargets" setting,
// as the multicast search would on a site).
#include <gtest/gtest.h>

#include "CliFixture.h"

namespace {

using CliOnlyTargetsTest = CliFixture;

}  // namespace

TEST_F(CliOnlyTargetsTest, TargetsNarrowTheChoice) {
    ASSERT_TRUE(StartFleet({Camera(1), Camera(2), Camera(3)}));
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
    EXPECT_EQ(StatusOf(report, cams[0].mac), "upgraded") << report;
    EXPECT_EQ(Row(report, cams[1].mac), "") << report;
    EXPECT_EQ(m_fleet.CountEvents(cams[1].mac, "connect"), 0);
    EXPECT_EQ(m_fleet.CountEvents(cams[2].mac, "connect"), 0);
}

// scan and ai-versions narrow the same way: only the target's camera is
// listed, and only it is asked for its versions.
TEST_F(CliOnlyTargetsTest, ScanAndAiVersionsListOnlyTheTargetsCameras) {
    ASSERT_TRUE(StartFleet({Camera(1), Camera(2)}));
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
}
