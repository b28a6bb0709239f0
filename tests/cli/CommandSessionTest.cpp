// The start and search every searching command (scan, upgrade, ai-versions)
// shares: a search that cannot start ends the command with 1 and says so, a
// stop during the search ends it with 130, and a search that runs its time
// goes on finding the camera at its target.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "CliFixture.h"
#include "CommandSession.h"
#include "SignalWatch.h"

namespace {

class CommandSessionTest : public CliFixture {
protected:
    SESSION_OPTIONS Options() {
        m_fleet.AddCamera(Camera(0));
        EXPECT_TRUE(m_fleet.Start());
        SESSION_OPTIONS options = m_options;
        for (const SimCameraInfo& cam : m_fleet.Cameras()) {
            options.searchTargets.push_back(cam.ip + ":" + std::to_string(cam.searchPort));
        }
        return options;
    }
};

TEST_F(CommandSessionTest, StartAndSearchEndsWithOneWhenTheSearchCannotStartAnd130OnAStop) {
    const SESSION_OPTIONS options = Options();
    {
        // A session starts once: the second start is refused as a search
        // that could not be started.
        CCommandSession run(options, [] { return false; });
        ASSERT_TRUE(run.Start());
        std::ostringstream err;
        EXPECT_EQ(run.StartAndSearch(0.5, err), std::optional<int>(kSearchNotStartedExitStatus));
        EXPECT_EQ(kSearchNotStartedExitStatus, 1);
        EXPECT_EQ(err.str(), "firmhand-cli: the device search could not be started\n");
    }
    {
        CCommandSession run(options, [] { return true; });
        std::ostringstream err;
        EXPECT_EQ(run.StartAndSearch(30, err), std::optional<int>(kInterruptedExitStatus));
        EXPECT_EQ(err.str(), "firmhand-cli: interrupted\n");
    }
    {
        CCommandSession run(options, [] { return false; });
        std::ostringstream err;
        EXPECT_EQ(run.StartAndSearch(0.2, err), std::nullopt);
        EXPECT_EQ(err.str(), "");
        const std::string mac = m_fleet.Cameras()[0].mac;
        run.PumpUntil([&] { return run.Session().FindDevice(mac) != nullptr; }, 30000);
        EXPECT_NE(run.Session().FindDevice(mac), nullptr);
    }
}

}  // namespace
