// What a person sees while cameras upgrade: a live view that fits the
// terminal it is drawn on, plain lines without one, and a final table that
// fits a width.
#include <gtest/gtest.h>

#include <signal.h>

#include <optional>
#include <sstream>

#include "ProgressView.h"
#include "TextTable.h"
#include "upgrade/UpgradeResult.h"

namespace {

// `count` cameras: the first `running` are transferring, the next
// `finished` are done (every other one failed), the rest queued.
std::vector<CameraOutcome> Fleet(int count, int running, int finished) {
    std::vector<CameraOutcome> outcomes;
    for (int i = 0; i < count; ++i) {
        CameraOutcome o;
        char mac[32];
        std::snprintf(mac, sizeof(mac), "02:CC:00:00:%02X:%02X", i / 256, i % 256);
        o.mac = mac;
        if (i < running + finished) {
            o.attempts = 1;
            o.progress = 37;
            o.state = "36%";
        }
        if (i >= running && i < running + finished) {
            o.code = (i % 2 == 0) ? UpgradeResult::Ok : UpgradeResult::Failed;
        }
        outcomes.push_back(o);
    }
    // Running cameras last in the list: the view must still put them first.
    std::reverse(outcomes.begin(), outcomes.end());
    return outcomes;
}

}  // namespace

TEST(ProgressView, LiveLinesFitTheTerminalRunningCamerasFirst) {
    const std::vector<CameraOutcome> fleet = Fleet(40, 5, 10);
    for (const TerminalSize size : {TerminalSize{80, 24}, TerminalSize{40, 6}, TerminalSize{20, 3},
                                    TerminalSize{200, 60}, TerminalSize{1, 1}}) {
        const std::vector<std::string> lines = LiveLines(fleet, size);
        ASSERT_FALSE(lines.empty());
        EXPECT_LE(lines.size(), static_cast<size_t>(std::max(size.rows - 1, 1)));
        for (const std::string& line : lines) {
            EXPECT_LT(DisplayWidth(line), static_cast<size_t>(std::max(size.columns, 2)))
                << size.columns << "x" << size.rows << ": " << line;
        }
        // The count line closes the view (a 1-column terminal shows just "…").
        if (size.columns >= 20) {
            EXPECT_NE(lines.back().find("running"), std::string::npos) << lines.back();
        }
    }
    const std::vector<std::string> lines = LiveLines(fleet, {100, 8});
    ASSERT_EQ(lines.size(), 7u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NE(lines[i].find("transferring"), std::string::npos) << lines[i];
    }
    EXPECT_EQ(lines.back(), "5 running, 25 queued, 5 upgraded, 5 failed (34 not shown)");
    // Every camera fits on a tall terminal: no "not shown".
    EXPECT_EQ(LiveLines(fleet, {100, 60}).back().find("not shown"), std::string::npos);
}

TEST(ProgressView, BarAndPercentageAgree) {
    CameraOutcome o;
    o.mac = "02:CC:00:00:00:01";
    o.attempts = 1;
    for (const int blocks : {0, 1, 50, 99, 100}) {
        o.progress = blocks;
        o.state = std::to_string(blocks - 1) + "%";
        const std::string line = CameraLine(o, 79);
        const size_t open = line.find('[');
        const size_t close = line.find(']');
        ASSERT_NE(close, std::string::npos) << line;
        const size_t width = close - open - 1;
        const size_t filled = std::count(line.begin() + open, line.begin() + close, '#');
        const int percent = std::stoi(line.substr(close + 1));
        EXPECT_EQ(percent, blocks) << line;
        EXPECT_EQ(filled, static_cast<size_t>(percent) * width / 100) << line;
        // No second, different number from the state text.
        EXPECT_EQ(line.find(std::to_string(blocks - 1) + "%"), std::string::npos) << line;
    }
    o.code = UpgradeResult::Ok;
    EXPECT_NE(CameraLine(o, 79).find("100%"), std::string::npos);
}

TEST(ProgressView, WithoutTerminalOneLinePerStateChange) {
    std::ostringstream out;
    CProgressView view(out, {});
    std::vector<CameraOutcome> fleet = Fleet(1, 0, 0);
    CameraOutcome& o = fleet[0];
    o.prepared = true;
    o.state = "prepared";
    view.Update(fleet, 0);
    o.attempts = 1;
    o.state = "Start upgrading";
    view.Update(fleet, 0);
    for (int block = 0; block < 100; ++block) {
        o.progress = block + 1;
        o.state = std::to_string(block) + "%";
        view.Update(fleet, 0);
    }
    o.code = UpgradeResult::Ok;
    view.Update(fleet, 0);
    view.Finish(fleet);
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    EXPECT_EQ(view.Columns(), 0u);
}

TEST(ProgressView, NamesBesideTheMacWhenThereIsRoomAndBarsStayAligned) {
    std::vector<CameraOutcome> fleet = Fleet(3, 3, 0);
    fleet[0].name = "Loading bay";
    fleet[1].name = "\x1b[2JGate north entrance, far side";
    fleet[2].name = "";
    const std::vector<std::string> wide = LiveLines(fleet, {80, 24});
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_NE(wide[0].find(fleet[0].mac + "  Loading bay"), std::string::npos) << wide[0];
    EXPECT_NE(wide[1].find("\\x1B[2JGate nor\xE2\x80\xA6"), std::string::npos) << wide[1];
    // One name column: every bar starts in the same cell.
    for (const std::string& line : wide) {
        if (line.find('[') != std::string::npos && line.rfind("02:", 0) == 0) {
            EXPECT_EQ(DisplayWidth(line.substr(0, line.find("[#"))), 17u + 2 + 16 + 2) << line;
        }
        EXPECT_LT(DisplayWidth(line), 80u) << line;
    }
    // A narrow terminal keeps the MAC, the bar and the number, not the name.
    for (const std::string& line : LiveLines(fleet, {60, 24})) {
        EXPECT_EQ(line.find("Loading"), std::string::npos) << line;
        EXPECT_LT(DisplayWidth(line), 60u) << line;
    }
    EXPECT_NE(LiveLines(fleet, {60, 24})[0].find("[#"), std::string::npos);
}

// A resize is seen between messages and the next update draws the lines
// at the new width; without a terminal there is nothing to redraw.
TEST(ProgressView, ResizeIsPendingUntilTheLinesAreDrawnAtTheNewSize) {
    std::ostringstream out;
    TerminalSize size{100, 24};
    CProgressView view(out, [&]() -> std::optional<TerminalSize> { return size; });
    std::ostringstream plainOut;
    CProgressView plain(plainOut, {});
    const std::vector<CameraOutcome> fleet = Fleet(2, 2, 0);
    view.Update(fleet, 0);
    EXPECT_FALSE(view.ResizePending());
    // The terminal wraps the lines drawn at 100 columns when it narrows:
    // the redraw goes up over every row they now take.
    size_t wrappedRows = 0;
    for (const std::string& line : LiveLines(fleet, {100, 24})) {
        wrappedRows += (DisplayWidth(line) + 39) / 40;
    }
    ASSERT_GT(wrappedRows, 3u);

    size = {40, 24};
    ASSERT_EQ(raise(SIGWINCH), 0);
    EXPECT_TRUE(view.ResizePending());
    EXPECT_FALSE(plain.ResizePending());
    out.str("");
    view.Update(fleet, fleet.size());
    EXPECT_FALSE(view.ResizePending());
    EXPECT_EQ(view.Columns(), 40u);
    const std::string drawn = out.str();
    EXPECT_EQ(drawn.rfind("\x1b[" + std::to_string(wrappedRows) + "A\r\x1b[J", 0), 0u) << drawn;
    ASSERT_NE(drawn.find("\x1b[J"), std::string::npos) << drawn;
    std::istringstream lines(drawn.substr(drawn.find("\x1b[J") + 3));
    size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_LT(DisplayWidth(line), 40u) << line;
    }
    EXPECT_EQ(count, 3u) << drawn;
}

TEST(ProgressView, AnInstallingCameraKeepsItsSecondsWhenTheTextIsCut) {
    CameraOutcome o;
    o.mac = "02:CC:00:00:00:01";
    o.name = "Loading bay";
    o.attempts = 1;
    o.progress = 100;
    o.state = "Installing, waiting for the restart";
    o.lastBlockSeconds = 3;
    o.installingFor = 42;
    EXPECT_NE(CameraLine(o, 200).find("Installing, waiting for the restart (42 s)"),
              std::string::npos);
    const std::string cut = CameraLine(o, 79, 11);
    EXPECT_NE(cut.find("installing, 42 s"), std::string::npos) << cut;
    EXPECT_LE(DisplayWidth(cut), 79u) << cut;
}

// On an upgrade path the step leads every state at 80 columns, a short one
// included; the bars shorten alike so that the numbers stay in a column.
TEST(ProgressView, AStepOfAPathStaysInViewAt80Columns) {
    std::vector<CameraOutcome> fleet(3);
    for (size_t i = 0; i < fleet.size(); ++i) {
        fleet[i].mac = "02:CC:00:00:00:0" + std::to_string(i + 1);
        fleet[i].name = "Gate " + std::to_string(i + 1);
        fleet[i].attempts = 1;
        fleet[i].pathSteps = 2;
    }
    fleet[0].pathStep = 1;
    fleet[0].progress = 41;
    fleet[0].state = "Step 1 of 2: 40%";
    fleet[1].pathStep = 2;
    fleet[1].progress = 100;
    fleet[1].state = "Step 2 of 2: Installing, waiting for the restart";
    fleet[1].lastBlockSeconds = 3;
    fleet[1].installingFor = 12;
    fleet[2].pathStep = 2;
    fleet[2].progress = 100;
    fleet[2].state = fleet[1].state;
    fleet[2].lastBlockSeconds = 3;
    const std::vector<std::string> lines = LiveLines(fleet, {80, 24});
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("Step 1 of 2: transferring"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("Step 2 of 2: installing, 12 s"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("Step 2 of 2: installing"), std::string::npos) << lines[2];
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_LT(DisplayWidth(lines[i]), 80u) << lines[i];
        EXPECT_EQ(lines[i].find('%'), lines[0].find('%')) << lines[i];
    }
    // Without a terminal the line keeps the step and the whole text.
    EXPECT_NE(CameraLine(fleet[0], 200).find("Step 1 of 2: transferring"), std::string::npos);
}

TEST(TextTableFit, ShortensTextColumnsThenLeavesOutOptionalOnes) {
    CTextTable table({"MAC address", "IP address", "Result", "Status", "Seconds"});
    table.AddRow(
        {"02:CC:00:00:00:01", "127.0.0.10", "Incorrect Username/Password!", "failed", "12.5"});
    table.AddRow({"02:CC:00:00:00:02", "127.0.0.11",
                  "\xE5\x8D\x87\xE7\xBA\xA7\xE6\x88\x90\xE5\x8A"
                  "\x9F\xE5\x8D\x87\xE7\xBA\xA7",
                  "upgraded", "3.0"});
    table.SetFit(1, CTextTable::Fit::Drop);
    table.SetFit(2, CTextTable::Fit::Shrink);
    table.SetFit(4, CTextTable::Fit::Drop);

    const auto print = [&](size_t width) {
        table.SetMaxWidth(width);
        std::ostringstream out;
        table.Print(out);
        return out.str();
    };
    const auto widest = [](const std::string& text) {
        size_t most = 0;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            most = std::max(most, DisplayWidth(line));
        }
        return most;
    };
    EXPECT_NE(print(0).find("Incorrect Username/Password!"), std::string::npos);
    const std::string narrower = print(70);
    EXPECT_LE(widest(narrower), 70u) << narrower;
    EXPECT_NE(narrower.find("127.0.0.10"), std::string::npos) << "room enough to keep it";
    EXPECT_NE(narrower.find("Incorrect Usern"), std::string::npos) << narrower;
    EXPECT_NE(narrower.find("\xE2\x80\xA6"), std::string::npos) << narrower;
    const std::string narrow = print(48);
    EXPECT_LE(widest(narrow), 48u) << narrow;
    EXPECT_EQ(narrow.find("127.0.0.10"), std::string::npos) << "left out first";
    EXPECT_NE(narrow.find("upgraded"), std::string::npos) << "fixed columns stay whole";
    EXPECT_EQ(FitText("\xE5\x8D\x87\xE7\xBA\xA7", 3), "\xE5\x8D\x87\xE2\x80\xA6");
}
