// Report names in any letter case, and a retried file that is no report
// refused in words rather than with the JSON parser's message.
#include <gtest/gtest.h>

#include "InputCheck.h"
#include "RolloutInput.h"
#include "UpgradeReport.h"
#include "support/TestSupport.h"

TEST(ReportInput, NamesInCapitalsAreReportsOfTheirKind) {
    testing_support::CSandbox box;
    EXPECT_EQ(CheckReportPath(box.File("R.JSON")), "");
    EXPECT_EQ(CheckReportPath(box.File("Site.Html")), "");
    EXPECT_NE(CheckReportPath(box.File("r.txt")), "");
    EXPECT_FALSE(EndsWithNoCase(".csv", ".csv")) << "a name, not only its ending";

    CameraOutcome o;
    o.mac = "02:CC:00:00:00:01";
    o.code = UpgradeResult::Ok;
    ASSERT_TRUE(WriteOutcomeReport({o}, box.File("R.CSV")));
    EXPECT_EQ(box.Read("R.CSV").rfind("mac,ip,code,", 0), 0u) << "written as CSV";
}

TEST(ReportInput, RetryOfAFileThatIsNoReportSaysSoInWords) {
    testing_support::CSandbox box;
    for (const char* text : {"mac,ip\n", "{\"results\": 3}", "{}", "[1, 2"}) {
        box.Write("bad.json", text);
        std::vector<std::string> macs;
        const std::string problem = FailedCamerasOfReport(box.File("bad.json"), macs);
        EXPECT_NE(problem.find("not a report of firmhand-cli upgrade"), std::string::npos)
            << problem;
        EXPECT_EQ(problem.find("json.exception"), std::string::npos) << problem;
    }
}
