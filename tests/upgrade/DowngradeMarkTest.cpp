// A camera that runs newer firmware than its package is marked in the plan
// (and still sent the package): only when both versions can be read, by
// the release order of versions, against the last package of a path.
#include <gtest/gtest.h>

#include "model/DeviceText.h"
#include "support/TestSupport.h"
#include "upgrade/RolloutPlan.h"

namespace {

DeviceInfoPtr Running(const std::string& version, int build) {
    DeviceInfoPtr record = MakeEmptyDeviceInfo();
    CopyField(record->mac, "02:CC:00:00:00:01");
    CopyField(record->productModel, "IPC-2020");
    CopyField(record->softwareVer, version);
    record->build = build;
    return record;
}

}  // namespace

TEST(DowngradeMark, OnlyAReadableCameraVersionNewerThanTheNamedOne) {
    struct Case {
        const char* version;
        const char* package;
        int build;
        bool newer;
    };
    const Case cases[] = {
        {"4.0.3", "IPC_4.0.2_230119.bin", 230101, true},
        {"4.0.10", "IPC_4.0.9_230119.bin", 1, true},  // by value, not as text
        {"4.0.2", "IPC_4.0.2_230119.bin", 230201, true},
        {"4.0.2", "IPC_4.0.2_230119.bin", 230119, false},
        {"4.0.2", "IPC_4.0.2_230119.bin", 230118, false},
        {"4.0.9", "IPC_4.0.10_1.bin", 230118, false},
        {"4.0.3-rc1", "IPC_4.0.2_230119.bin", 5, true},
        // An unknown build on either side decides nothing.
        {"4.0.2", "IPC_4.0.2.bin", 230201, false},
        {"4.0.2", "IPC_4.0.2_230119.bin", -1, false},
        // A version that cannot be read.
        {"V9.9.9", "IPC_4.0.2_230119.bin", 230201, false},
        {"", "IPC_4.0.2_230119.bin", 230201, false},
        {"9.9.9", "firmware.bin", 230201, false},
        {"9.9.9", "IPC_latest_2023.bin", 230201, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunsNewerThanPackage(*Running(c.version, c.build), c.package), c.newer)
            << c.version << "(" << c.build << ") against " << c.package;
    }
}

TEST(DowngradeMark, PlanMarksAgainstThePathsLastPackageAndNeverASkippedCamera) {
    testing_support::CSandbox box;
    const std::string data = std::string("\x18\x01\x22\x20", 4) + std::string(100, 'p');
    box.Write("IPC_4.0.2_230119.bin", data);
    box.Write("IPC_4.0.2_230120.bin", data);
    std::vector<ROLLOUT_PACKAGE> loaded;
    std::string error;
    bool openFailed = false;
    ASSERT_TRUE(LoadRolloutPackages({{"IPC-2020", box.File("IPC_4.0.2_230120.bin")},
                                     {"IPC-2020", box.File("IPC_4.0.2_230119.bin")}},
                                    loaded, error, openFailed))
        << error;
    const auto plan = [&](const std::string& version, int build, bool force) {
        return PlanCamera(Running(version, build), loaded, force, {}, "admin", "secret");
    };
    // Between the two steps: newer than the first, older than the last.
    EXPECT_FALSE(plan("4.0.2", 230119, false).downgrade);
    const CameraPlan ahead = plan("4.0.3", 230101, false);
    EXPECT_TRUE(ahead.downgrade);
    EXPECT_EQ(ahead.package->FileName(), "IPC_4.0.2_230120.bin");  // sent all the same
    EXPECT_FALSE(ahead.skipCode);
    const CameraPlan current = plan("4.0.2", 230120, false);
    EXPECT_EQ(current.skipCode, UpgradeResult::AlreadyCurrent);
    EXPECT_FALSE(current.downgrade);
    EXPECT_FALSE(plan("4.0.2", 230120, true).downgrade);  // sent again, not back

    std::vector<CameraPlan> plans;
    plans.push_back(plan("4.0.2", 230118, false));
    plans.push_back(ahead);
    const std::vector<const CameraPlan*> downgraded = DowngradedCameras(plans);
    ASSERT_EQ(downgraded.size(), 1u);
    EXPECT_EQ(downgraded[0]->record->build, 230101);
}
