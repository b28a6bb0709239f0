// The table at the end of a batch in an 80x24 terminal: the result and
// the versions are never cut; the address, attempts and seconds give way
// first, and when the result still does not fit beside the versions it
// goes to a table of its own.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>

#include "AiVersionsCommand.h"
#include "InventoryCommand.h"
#include "ScanCommand.h"
#include "TextTable.h"
#include "UpgradeReport.h"
#include "app/StringTable.h"
#include "inventory/Inventory.h"
#include "support/TestSupport.h"
#include "upgrade/UpgradeResult.h"

namespace {

std::vector<CameraOutcome> Outcomes() {
    CameraOutcome refused;
    refused.mac = "02:CC:00:00:00:01";
    refused.ip = "127.200.1.2";
    refused.code = UpgradeResult::TooManyConnections;
    refused.oldVersion = "4.0.2(230118)";
    refused.attempts = 3;
    refused.seconds = 12.5;
    CameraOutcome upgraded;
    upgraded.mac = "02:CC:00:00:00:02";
    upgraded.ip = "127.200.1.3";
    upgraded.code = UpgradeResult::Ok;
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

// A reason longer than the terminal goes on under the reason column, in
// whole words, rather than starting again at the terminal's edge.
TEST(FinalTable, ALongReasonWrapsUnderItsColumn) {
    CameraOutcome missing;
    missing.mac = "00:1A:2B:88:00:03";
    missing.code = UpgradeResult::NotFoundInTime;
    missing.awaitedFor = "8s";
    const std::string reason = OutcomeReason(missing);
    ASSERT_GT(reason.size() + 19, 80u) << "a reason that does not fit 80 columns";
    const std::string table = Table({missing}, 80);
    const std::string tail = table.substr(table.rfind("MAC address        Reason\n"));
    std::istringstream lines(tail);
    std::string line;
    std::getline(lines, line);
    std::string joined;
    for (int row = 0; std::getline(lines, line); ++row) {
        EXPECT_LE(DisplayWidth(line), 80u) << line;
        EXPECT_EQ(line.substr(0, 19), row == 0 ? missing.mac + "  " : std::string(19, ' ')) << line;
        joined += (joined.empty() ? "" : " ") + line.substr(19);
    }
    EXPECT_EQ(joined, reason) << table;
}

TEST(FinalTable, WideEnoughItIsOneTableAndWithoutATerminalEverything) {
    std::vector<CameraOutcome> outcomes = Outcomes();
    outcomes[0].code = UpgradeResult::Failed;  // "Upgrade failed!"
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

// The list scan prints: at 80 columns every line fits, the number, name,
// address, MAC and version stay, and what gives way goes first.
TEST(ScanTableFit, FitsTheTerminalKeepingWhatTellsCamerasApart) {
    auto record = MakeEmptyDeviceInfo();
    CopyField(record->devName, "Loading bay north");
    CopyField(record->mac, "02:CC:00:00:00:01");
    CopyField(record->ip, "192.168.100.200");
    CopyField(record->ip2, "192.168.101.201");
    CopyField(record->productModel, "IPC-2020-PRO-STARLIGHT");
    CopyField(record->softwareVer, "4.0.12.7");
    record->build = 230118;
    CopyField(record->buildDate, "2023-01-18");
    CopyField(record->kernelVer, "5.10.120-rt");
    record->deviceActivated = 1;
    const std::string version = DeviceTableRow(1, *record)[6];

    const auto print = [&](std::optional<TerminalSize> terminal) {
        CTextTable table(DeviceTableHeadings());
        table.AddRow(DeviceTableRow(1, *record));
        table.AddRow(DeviceTableRow(2, *record));
        FitDeviceTable(table, terminal);
        std::ostringstream out;
        table.Print(out);
        return out.str();
    };
    const std::string whole = print(std::nullopt);
    EXPECT_NE(whole.find("5.10.120-rt"), std::string::npos) << whole;
    EXPECT_NE(whole.find("Loading bay north"), std::string::npos) << whole;

    const std::string fitted = print(TerminalSize{80, 24});
    std::istringstream lines(fitted);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(DisplayWidth(line), 80u) << line;
    }
    for (const std::string& kept :
         {std::string("02:CC:00:00:00:01"), std::string("192.168.100.200"), version}) {
        EXPECT_NE(fitted.find(kept), std::string::npos) << kept << "\n" << fitted;
    }
    EXPECT_NE(fitted.find("Loading"), std::string::npos) << "shortened, not left out";
    EXPECT_EQ(fitted.find("5.10.120-rt"), std::string::npos) << "the kernel gives way";
    EXPECT_EQ(fitted.find("192.168.101.201"), std::string::npos) << fitted;

    // Short names and models, as the simulator's: the columns that stay
    // are whole, headings included, one space apart.
    CopyField(record->devName, "Camera 1");
    CopyField(record->productModel, "IPC-2020");
    CopyField(record->ip, "127.66.0.10");
    const std::string shortNames = print(TerminalSize{80, 24});
    const std::string headings = shortNames.substr(0, shortNames.find('\n'));
    EXPECT_EQ(headings, "Index Camera Name IP Address  MAC address       Product Type " +
                            DeviceTableHeadings()[6]);
}

// A column is left out only when one space between columns leaves no
// room: 3 columns of 10 fit 32 cells one apart, not two apart.
TEST(ScanTableFit, AColumnStaysWhenTheNarrowGapMakesRoom) {
    const auto print = [](size_t width) {
        CTextTable table({"aaaaaaaaaa", "bbbbbbbbbb", "cccccccccc"});
        table.AddRow({"1234567890", "1234567890", "1234567890"});
        table.SetFit(2, CTextTable::Fit::Drop);
        table.SetMaxWidth(width);
        table.SetNarrowGapWhenTight();
        std::ostringstream out;
        table.Print(out);
        return out.str();
    };
    EXPECT_EQ(print(32), "aaaaaaaaaa bbbbbbbbbb cccccccccc\n1234567890 1234567890 1234567890\n");
    EXPECT_EQ(print(31), "aaaaaaaaaa bbbbbbbbbb\n1234567890 1234567890\n");
}

// ai-versions at 80 columns: the versions and the verdict stay, in the
// terminal's own short words (no misspelling, no full-width mark).
TEST(ScanTableFit, AiVersionsFitTheTerminalInTheirOwnWords) {
    AiVersionResult read;
    read.mac = "02:CC:00:00:00:01";
    read.structVersion = "1.0.0";
    read.faceVersion = "2.1.3";
    read.vehicleVersion = "0.9.1";
    read.read = true;
    read.verdictId = IDS_AI_OK;
    AiVersionResult silent;
    silent.mac = "02:CC:00:00:00:02";
    silent.verdictId = IDS_AI_FAILED;
    const std::vector<AiVersionResult> results = {read, silent};
    const std::vector<std::string> ips = {"127.200.1.2", "127.200.1.3"};

    std::ostringstream whole;
    PrintAiVersionTable(results, ips, whole);
    EXPECT_NE(whole.str().find("versions read"), std::string::npos) << whole.str();
    EXPECT_NE(whole.str().find("could not be read\n"), std::string::npos) << whole.str();
    EXPECT_EQ(whole.str().find("infomation"), std::string::npos);
    EXPECT_EQ(whole.str().find("\xEF\xBC\x81"), std::string::npos);

    std::ostringstream fitted;
    PrintAiVersionTable(results, ips, fitted, 80);
    std::istringstream lines(fitted.str());
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(DisplayWidth(line), 80u) << line;
    }
    for (const char* kept : {"02:CC:00:00:00:01", "2.1.3", "0.9.1", "versions read"}) {
        EXPECT_NE(fitted.str().find(kept), std::string::npos) << kept << "\n" << fitted.str();
    }
}

// history at 80 columns with an upgrade path: "Step" is wider than its
// cells, so the camera's name gives way below its usual least width
// rather than the heading line running past the terminal.
TEST(ScanTableFit, HistoryWithStepsFitsTheTerminal) {
    testing_support::CSandbox box;
    std::string error;
    auto inventory = CInventory::Open(box.File("inv.sqlite"), InventoryAccess::Write, error);
    ASSERT_TRUE(inventory) << error;
    std::vector<UPGRADE_STEP> steps;
    for (int step : {1, 2}) {
        UPGRADE_STEP s;
        s.mac = "00:1A:2B:88:00:01";
        s.name = "<b>Gate</b> & \"North\"";
        s.model = "IPC-2020";
        s.runId = "run1";
        s.journal = "run1.jsonl";
        s.packageName = "IPC_4.0.2_23011" + std::to_string(8 + step) + ".bin";
        s.fromVersion = "4.0.2(23011" + std::to_string(7 + step) + ")";
        s.toVersion = "4.0.2(23011" + std::to_string(8 + step) + ")";
        s.result = static_cast<int>(UpgradeResult::Ok);
        s.resultText = ResultCodeToText(UpgradeResult::Ok);
        s.attempts = 1;
        s.startedAt = 1700000000000 + step;
        s.endedAt = s.startedAt + 1000;
        s.step = step;
        steps.push_back(s);
    }
    ASSERT_TRUE(inventory->RecordSteps("Site A", steps, error)) << error;
    inventory.reset();

    std::ostringstream out;
    std::ostringstream err;
    ASSERT_EQ(RunHistory({}, box.File("inv.sqlite"), out, err, 80), 0) << err.str();
    std::istringstream lines(out.str());
    std::string headings;
    std::getline(lines, headings);
    EXPECT_LE(DisplayWidth(headings), 80u) << out.str();
    EXPECT_NE(headings.find("Step"), std::string::npos) << headings;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(DisplayWidth(line), 80u) << line;
        for (const char* kept : {"00:1A:2B:88:00:01", "Upgraded successfully!", "4.0.2(23011"}) {
            EXPECT_NE(line.find(kept), std::string::npos) << kept << " in " << line;
        }
    }
}
