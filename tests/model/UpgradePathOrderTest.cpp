// The order of an upgrade path's steps: the version a package's file name
// carries, and the chains that cannot be ordered.
#include <gtest/gtest.h>

#include "model/FirmwareVersion.h"
#include "model/UpgradePathOrder.h"

TEST(UpgradePathOrder, StepsFollowTheVersionsInTheirFileNames) {
    const auto version = PackageVersionOfName("IPC-2020_V4.0.10_230201_r2.bin");
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->text, "4.0.10");
    EXPECT_EQ(version->build, 230201);
    EXPECT_FALSE(PackageVersionOfName("IPC-2020_fw.bin").has_value());
    EXPECT_EQ(PackageVersionOfName("fw-4.1.bin")->build, 0);
    // A run of digits too long for a build is cut, never overflows.
    EXPECT_EQ(PackageVersionOfName("4.1_99999999999999999999999.bin")->build, 999999999999999999);

    // Per model, in release order (4.0.10 after 4.0.9), models where first given.
    std::vector<BatchPackage> ordered;
    std::string error;
    ASSERT_TRUE(OrderUpgradePaths({{"A", "/p/a_4.0.10_3.bin"},
                                   {"B", "/p/fw.bin"},
                                   {"A", "/p/a_4.0.9_2.bin"},
                                   {"A", "/p/a_4.0.9_1.bin"}},
                                  ordered, error))
        << error;
    std::vector<std::string> paths;
    for (const BatchPackage& package : ordered) {
        paths.push_back(package.path);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/p/a_4.0.9_1.bin", "/p/a_4.0.9_2.bin",
                                               "/p/a_4.0.10_3.bin", "/p/fw.bin"}));

    EXPECT_FALSE(OrderUpgradePaths({{"", "a_4.0.2.bin"}, {"", "b_4.0.2.0.bin"}}, ordered, error));
    EXPECT_NE(error.find("same version"), std::string::npos) << error;
    EXPECT_FALSE(OrderUpgradePaths({{"A", "a_4.1_5.bin"}, {"A", "a_4.2_4.bin"}}, ordered, error));
    EXPECT_NE(error.find("goes down"), std::string::npos) << error;
}
