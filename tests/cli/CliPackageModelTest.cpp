// Packages per model: a model written in another case still finds its
// cameras, and one that matches no chosen camera is named, with the models
// the chosen cameras have, before anything starts.
#include <gtest/gtest.h>

#include "CliFixture.h"

namespace {

class CliPackageModelTest : public CliFixture {};

}  // namespace

TEST_F(CliPackageModelTest, ModelMatchesWithoutCaseAndAnUnmatchedOneIsNamed) {
    auto gate = Camera(1);
    gate.model = "IPC-2020";
    auto dome = Camera(2);
    dome.model = "Dome-7";
    ASSERT_TRUE(StartFleet({gate, dome}));
    const std::string package = NewStylePackage(m_box);

    std::string out;
    EXPECT_EQ(Run({"upgrade", "--package", "ipc-9999=" + package, "--all", "--password", "secret",
                   "--yes"},
                  out),
              2);
    EXPECT_NE(m_err.find("no chosen camera is of model ipc-9999"), std::string::npos) << m_err;
    EXPECT_NE(m_err.find("Dome-7, IPC-2020"), std::string::npos) << m_err;
    EXPECT_EQ(m_fleet.CountEvents(gate.mac, "connect"), 0);

    // Written in lower case, the model still gets its cameras their package;
    // the other model has none and is skipped (not upgraded: status 1).
    EXPECT_EQ(Run({"upgrade", "--package", "ipc-2020=" + package, "--all", "--password", "secret",
                   "--yes", "--report", m_box.File("r.json")},
                  out),
              1)
        << m_err << out;
    const std::string report = m_box.Read("r.json");
    EXPECT_NE(Row(report, gate.mac).find("\"status\": \"upgraded\""), std::string::npos) << report;
    EXPECT_NE(Row(report, gate.mac).find(package), std::string::npos) << report;
    EXPECT_NE(Row(report, dome.mac).find("\"status\": \"skipped\""), std::string::npos) << report;
}
