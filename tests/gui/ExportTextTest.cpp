// The window's exports (results and the device list): hostile camera names
// arrive with no formula, line break or control character raw, and a link
// at the path is replaced, not followed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "BatchOutcomes.h"
#include "support/TestSupport.h"
#include "upgrade/BatchReport.h"

TEST(ExportText, CameraNamesCannotStartFormulasOrBreakLines) {
    CameraOutcome outcome;
    outcome.mac = "02:CC:00:00:10:01";
    outcome.name = "=HYPERLINK(\"h\")";
    outcome.package = "-fw.bin";
    outcome.code = UpgradeResult::Ok;
    CameraOutcome other = outcome;
    other.name = "\x1b[31mR\r\n@x";
    const std::string csv = BatchReportText({outcome, other}, "results.csv", "");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3) << csv;
    EXPECT_NE(csv.find(",\"'=HYPERLINK(\"\"h\"\")\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\\x1B[31mR\\x0D\\x0A@x,'-fw.bin,"), std::string::npos) << csv;

    DEVICE_S_INFO record{};
    std::strcpy(record.devName, "+SUM(A1)\x07");
    std::strcpy(record.mac, "02:CC:00:00:10:01");
    const std::string list = DeviceListText({record}, true);
    EXPECT_NE(list.find("\n'+SUM(A1)\\x07,02:CC:00:00:10:01,"), std::string::npos) << list;
}

TEST(ExportText, AReportPathThatIsALinkIsReplacedNotFollowed) {
    testing_support::CSandbox box;
    box.Write("victim.txt", "precious\n");
    const std::string report = box.File("report.csv");
    ASSERT_EQ(symlink(box.File("victim.txt").c_str(), report.c_str()), 0);
    ASSERT_TRUE(WriteTextFile(report, "mac,ip\n"));
    EXPECT_EQ(box.Read("victim.txt"), "precious\n");
    EXPECT_FALSE(std::filesystem::is_symlink(report));
    EXPECT_EQ(box.Read("report.csv"), "mac,ip\n");
}
