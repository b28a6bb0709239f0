// A camera that runs newer firmware than the package's file name states is
// named before the batch (and marked in --dry-run's plan), then upgraded
// as any other: a warning, never a refusal. Versions that cannot be read
// (the camera's, or a package name without one) warn of nothing.
#include <gtest/gtest.h>

#include "CliFixture.h"

namespace {

class CliDowngradeTest : public CliFixture {};

// The lines of `text` that hold `part`.
std::string LinesWith(const std::string& text, const std::string& part) {
    std::string lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.find(part) != std::string::npos) {
            lines += line + "\n";
        }
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

}  // namespace

TEST_F(CliDowngradeTest, NewerCameraIsNamedBeforeTheBatchAndStillUpgraded) {
    auto older = Camera(1);  // 4.0.2(230118)
    auto newer = Camera(2);
    newer.build = 230201;
    auto unreadable = Camera(3);
    unreadable.softwareVer = "V9.9.9";
    for (SimCameraConfig* cam : {&older, &newer, &unreadable}) {
        cam->upgradeSoftwareVer = "4.0.2";
        cam->upgradeBuild = 230119;  // back with the package's version
    }
    ASSERT_TRUE(StartFleet({older, newer, unreadable}));
    const std::string data = std::string("\x18\x01\x22\x20", 4) + std::string(5000, 'p');
    m_box.Write("IPC_4.0.2_230119.bin", data);
    const std::vector<std::string> args = {
        "upgrade", "--package", m_box.File("IPC_4.0.2_230119.bin"), "--all", "--password",
        "secret",  "--yes"};
    const std::string warning =
        "1 camera runs newer firmware than the package and will be downgraded";

    std::string out;
    std::vector<std::string> dryRun = args;
    dryRun.push_back("--dry-run");
    ASSERT_EQ(Run(dryRun, out), 0) << out << m_err;
    EXPECT_NE(LinesWith(out, newer.mac).find("(downgrade)"), std::string::npos) << out;
    EXPECT_EQ(LinesWith(out, older.mac).find("(downgrade)"), std::string::npos) << out;
    EXPECT_EQ(LinesWith(out, unreadable.mac).find("(downgrade)"), std::string::npos) << out;
    EXPECT_NE(out.find(warning), std::string::npos) << out;
    EXPECT_EQ(m_fleet.CountEvents(newer.mac, "connect"), 0);

    // Said once, with the camera, before anything is sent; all three go.
    EXPECT_EQ(Run(args, out), 0) << out << m_err;
    const std::string line =
        "  Cam 2 (" + newer.mac + ") runs 4.0.2(230201), newer than IPC_4.0.2_230119.bin\n";
    const size_t said = out.find(warning + ":\n" + line);
    EXPECT_NE(said, std::string::npos) << out;
    EXPECT_EQ(LinesWith(out, ", newer than "), line) << out;  // only that camera
    for (const auto& cam : {older, newer, unreadable}) {
        EXPECT_EQ(m_fleet.CountEvents(cam.mac, "transfer_done"), 1) << cam.mac;
        EXPECT_EQ(m_fleet.State(cam.mac)->build, 230119) << cam.mac;
    }

    // A package name without a version: nothing to compare, nothing said.
    ASSERT_TRUE(m_fleet.SetVersion(newer.mac, "9.9.9", 230201));
    EXPECT_EQ(Run({"upgrade", "--package", NewStylePackage(m_box), "--mac", newer.mac, "--password",
                   "secret", "--yes"},
                  out),
              0)
        << out << m_err;
    EXPECT_EQ(out.find("downgraded"), std::string::npos) << out;
    EXPECT_EQ(m_fleet.CountEvents(newer.mac, "transfer_done"), 2);
}
