// firmhand-cli auto-test against a simulated camera that comes back from
// each upgrade with the next build: the packages alternate, each round
// waits for the camera's return and checks its build, and a wrong build
// fails the run.
#include <gtest/gtest.h>

#include "CliFixture.h"

TEST_F(CliFixture, AutoTestAlternatesPackagesAndChecksEachReturn) {
    const auto cam = Camera(1);
    ASSERT_TRUE(StartFleet({cam}));
    const std::string header("\x18\x01\x22\x20", 4);
    m_box.Write("one.bin", header + std::string(3000, '1'));
    m_box.Write("two.bin", header + std::string(3000, '2'));
    // Package 1 gives the next build and package 2 the one after; the third
    // round (package 1 again) brings a build package 1 does not give.
    std::string out;
    const int status = Run(
        {"auto-test", "--mac", cam.mac, "--package1", m_box.File("one.bin"), "--package2",
         m_box.File("two.bin"), "--build1", std::to_string(cam.build + 1), "--build2",
         std::to_string(cam.build + 2), "--rounds", "3", "--delay-ms", "0", "--password", "secret"},
        out);
    EXPECT_EQ(status, 1) << out << m_err;
    const std::string ok = "Upgraded successfully!";
    EXPECT_NE(out.find("Round 1 of 3: one.bin: " + ok + " (build " + std::to_string(cam.build + 1) +
                       ")\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Round 2 of 3: two.bin: " + ok + " (build " + std::to_string(cam.build + 2) +
                       ")\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Round 3 of 3: one.bin: " + ok + " (build " + std::to_string(cam.build + 3) +
                       ", expected " + std::to_string(cam.build + 1) + "; failed)\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("auto-test: 2 of 3 rounds as expected\n"), std::string::npos) << out;
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "upgrade_start"), 3);
}
