// Report rows say what happened to their own camera, checked against the
// simulator's event log: in a queued rollout each row's times are its own
// (queued, started, ended) and its seconds leave out the time it waited
// for a slot; after a resume a camera keeps its version from before the
// run, its earlier attempt and its first start.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliFixture.h"

namespace {

class CliReportTimesTest : public CliFixture {
protected:
    // The report's row of `mac` as JSON.
    nlohmann::json RowOf(const std::string& report, const std::string& mac) {
        const nlohmann::json whole = nlohmann::json::parse(m_box.Read(report));
        for (const nlohmann::json& row : whole.at("results")) {
            if (row.at("mac") == mac) {
                return row;
            }
        }
        ADD_FAILURE() << "no row of " << mac << " in " << m_box.Read(report);
        return nlohmann::json::object();
    }
    // The simulator's time (ms since the fleet started) of the camera's
    // first event of `kind`.
    uint64_t FirstEventMs(const std::string& mac, const std::string& kind) {
        for (const SimEvent& event : m_fleet.Events(mac)) {
            if (event.kind == kind) {
                return event.timeMs;
            }
        }
        ADD_FAILURE() << mac << " never logged " << kind;
        return 0;
    }
};

}  // namespace

TEST_F(CliReportTimesTest, QueuedRolloutRowsCarryTheirOwnTimes) {
    std::vector<SimCameraConfig> cams = {Camera(1), Camera(2), Camera(3)};
    ASSERT_TRUE(StartFleet(cams));

    std::string out;
    ASSERT_EQ(Run(UpgradeAll({"--parallel", "1", "--report", m_box.File("r.json")}), out), 0)
        << m_err << out;

    // The order the cameras were upgraded in, from the cameras themselves.
    std::sort(cams.begin(), cams.end(), [&](const SimCameraConfig& a, const SimCameraConfig& b) {
        return FirstEventMs(a.mac, "upgrade_start") < FirstEventMs(b.mac, "upgrade_start");
    });
    std::string previousEnd;
    for (const SimCameraConfig& cam : cams) {
        SCOPED_TRACE(cam.mac);
        const nlohmann::json row = RowOf("r.json", cam.mac);
        const std::string queued = row.at("queuedAt");
        const std::string started = row.at("startedAt");
        const std::string ended = row.at("endedAt");
        EXPECT_FALSE(queued.empty());
        EXPECT_LE(queued, started);
        EXPECT_LE(started, ended);
        // One slot: a camera starts when the one before it has ended.
        EXPECT_LE(previousEnd, started);
        previousEnd = ended;
        EXPECT_EQ(row.at("oldVersion"), "4.0.2(230118)");
        EXPECT_EQ(row.at("newVersion"), "4.0.2(230119)");
        EXPECT_EQ(row.at("attempts"), 1);
    }
    // The last camera's seconds are its own: shorter than the time from the
    // first camera's upgrade to the last one's return, which holds the
    // other cameras' upgrades while it was queued.
    const std::string last = cams.back().mac;
    const double whole = static_cast<double>(FirstEventMs(last, "online") -
                                             FirstEventMs(cams.front().mac, "upgrade_start")) /
                         1000.0;
    const double own = RowOf("r.json", last).at("seconds").get<double>();
    EXPECT_GT(own, 0);
    EXPECT_LT(own, whole);
}

TEST_F(CliReportTimesTest, ResumedRunKeepsTheVersionBeforeAndTheFirstStart) {
    auto cam = Camera(1);
    cam.flashMs = 1500;  // the resumed run may find it still flashing
    ASSERT_TRUE(StartFleet({cam}));

    const std::string package = NewStylePackage(m_box);
    std::vector<std::string> args = {"--set",   "WaitDeviceOfflineTimeout=20",
                                     "--set",   "WaitRebootTimeout=60",
                                     "upgrade", "--package",
                                     package,   "--password",
                                     "secret",  "--yes",
                                     "--mac",   cam.mac};
    // Killed once the last block went out: the camera finishes on its own.
    ASSERT_TRUE(
        KillChildWhen(args, [&] { return m_fleet.CountEvents(cam.mac, "transfer_done") > 0; }));
    ASSERT_TRUE(m_fleet.WaitForEvent(cam.mac, "online", 120000));

    std::string out;
    args.insert(args.end(), {"--resume", "--report", m_box.File("resumed.json")});
    EXPECT_EQ(Run(args, out), 0) << out << m_err;
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "transfer_done"), 1);
    const nlohmann::json row = RowOf("resumed.json", cam.mac);
    EXPECT_EQ(row.at("status"), "upgraded");
    EXPECT_EQ(row.at("oldVersion"), "4.0.2(230118)");
    EXPECT_EQ(row.at("newVersion"), "4.0.2(230119)");
    EXPECT_EQ(row.at("attempts"), 1);  // the killed process's transfer
    EXPECT_FALSE(row.at("startedAt").get<std::string>().empty());
    EXPECT_LE(row.at("startedAt").get<std::string>(), row.at("endedAt").get<std::string>());
    EXPECT_GT(row.at("seconds").get<double>(), 0);
}
