// The table at the end of a batch in an 80x24 terminal: the result and
// the versions are never cut; the address, attempts and seconds give way
// first, and when the result still does not fit beside the versions it
// goes to a table of its own.
#include <gtest/gtest.h>

#include <sstream>

#include "UpgradeReport.h"
#include "upgrade/UpgradeResult.h"

namespace {

std::vector<CameraOutcome> Outcomes() {
    CameraOutcome refused;
    refused.mac = "02:CC:00:00:00:01";
    refused.ip = "127.200.1.2";
    refused.code = UPGRADE_TOO_MANY_CONNECTIONS;
    refused.oldVersion = "4.0.2(230118)";
    refused.attempts = 3;
    refused.seconds = 12.5;
    CameraOutcome upgraded;
    upgraded.mac = "02:CC:00:00:00:02";
    upgraded.ip = "127.200.1.3";
    upgraded.code = UPGRADE_OK;
    upgraded.oldVersion = "4.0.2(230118)";
    upgraded.newVersion = "4.0.3(230301)beta";
    upgraded.attempts = 1;
    upgraded.seconds = 61.2;
    return {refused, upgraded};
}

std::string Table(const std::vector<CameraOutcome>& outcomes, size_t columns) {
    std::ostringstream out;
    PrintOutcomeTable(outcomes, out, columns);
    return out.str();
}

}  // namespace

TEST(FinalTable, At80ColumnsTheResultAndVersionsStayWhole) {
    EXPECT_EQ(Table(Outcomes(), 80),
              "MAC address        IP Address   Status    Old version    New version\n"
              "02:CC:00:00:00:01  127.200.1.2  failed    4.0.2(230118)\n"
              "02:CC:00:00:00:02  127.200.1.3  upgraded  4.0.2(230118)  4.0.3(230301)beta\n"
              "\n"
              "MAC address        Result\n"
              "02:CC:00:00:00:01  Maximum number of connections exceeded!\n"
              "02:CC:00:00:00:02  Upgraded successfully!\n"
              "\n"
              "MAC address        Reason\n"
              "02:CC:00:00:00:01  The camera has too many connections open; try again later.\n");
}

TEST(FinalTable, WideEnoughItIsOneTableAndWithoutATerminalEverything) {
    std::vector<CameraOutcome> outcomes = Outcomes();
    outcomes[0].code = UPGRADE_FAILED;  // "Upgrade failed!"
    outcomes[1].newVersion = "4.0.3(230301)";
    const std::string fitted = Table(outcomes, 100);
    EXPECT_EQ(fitted,
              "MAC address        IP Address   Result                  Status    Old version    "
              "New version\n"
              "02:CC:00:00:00:01  127.200.1.2  Upgrade failed!         failed    4.0.2(230118)\n"
              "02:CC:00:00:00:02  127.200.1.3  Upgraded successfully!  upgraded  4.0.2(230118)  "
              "4.0.3(230301)\n"
              "\n"
              "MAC address        Reason\n"
              "02:CC:00:00:00:01  The upgrade did not finish, and the camera gave no more specific "
              "cause.\n");
    const std::string whole = Table(outcomes, 0);
    EXPECT_NE(whole.find("127.200.1.2"), std::string::npos) << whole;
    EXPECT_NE(whole.find("Attempts  Seconds"), std::string::npos) << whole;
    EXPECT_NE(whole.find("61.2"), std::string::npos) << whole;
}
