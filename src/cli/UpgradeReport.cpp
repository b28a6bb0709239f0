#include "UpgradeReport.h"

#include <algorithm>
#include <fstream>
#include <ostream>
#include <sstream>

#include "TextTable.h"
#include "app/StringTable.h"
#include "session/SessionFiles.h"
#include "session/SessionTypes.h"

namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", seconds);
    return text;
}

}  // namespace

namespace {

size_t WidestLine(const std::string& text) {
    size_t widest = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        widest = std::max(widest, DisplayWidth(text.substr(start, end - start)));
        start = end + 1;
    }
    return widest;
}

// The table with the result and the versions whole; the address, the
// attempts and the seconds give way first. Without `withResult`, the
// result is left to a table of its own.
std::string OutcomeTableText(const std::vector<CameraOutcome>& outcomes, size_t columns,
                             bool withResult) {
    std::vector<std::string> headings = {LoadString(IDS_COL_MAC), LoadString(IDS_COL_IP)};
    if (withResult) {
        headings.push_back(LoadString(IDS_COL_RESULT));
    }
    for (const char* heading : {"Status", "Old version", "New version", "Attempts", "Seconds"}) {
        headings.push_back(heading);
    }
    CTextTable table(headings);
    table.SetMaxWidth(columns);
    const size_t shift = withResult ? 1 : 0;
    table.SetFit(1, CTextTable::Fit::Drop);
    table.SetFit(5 + shift, CTextTable::Fit::Drop);
    table.SetFit(6 + shift, CTextTable::Fit::Drop);
    for (const CameraOutcome& o : outcomes) {
        std::vector<std::string> row = {o.mac, o.ip};
        if (withResult) {
            row.push_back(OutcomeText(o));
        }
        for (std::string cell : {OutcomeStatus(o), o.oldVersion, o.newVersion,
                                 std::to_string(o.attempts), Seconds(o.seconds)}) {
            row.push_back(std::move(cell));
        }
        table.AddRow(std::move(row));
    }
    std::ostringstream text;
    table.Print(text);
    return text.str();
}

}  // namespace

namespace {

// The least room a reason is wrapped to; narrower, the terminal wraps it.
constexpr size_t kLeastReasonWidth = 20;

// Each failed camera's reason under the table, whole: a sentence longer
// than the terminal goes on in lines of its own under the reason column
// rather than losing its end or starting again at the terminal's edge.
void PrintReasons(const std::vector<CameraOutcome>& outcomes, std::ostream& out, size_t columns) {
    const std::string macHeading = LoadString(IDS_COL_MAC);
    size_t macWidth = DisplayWidth(macHeading);
    for (const CameraOutcome& o : outcomes) {
        macWidth = std::max(macWidth, DisplayWidth(o.mac));
    }
    constexpr size_t kTableGap = 2;  // CTextTable's
    const size_t room =
        columns > macWidth + kTableGap + kLeastReasonWidth ? columns - macWidth - kTableGap : 0;
    CTextTable reasons({macHeading, LoadString(IDS_COL_REASON)});
    bool any = false;
    for (const CameraOutcome& o : outcomes) {
        const std::string reason = OutcomeReason(o);
        if (reason.empty()) {
            continue;
        }
        any = true;
        if (room == 0) {
            reasons.AddRow({o.mac, reason});
            continue;
        }
        const std::vector<std::string> lines = WrapText(reason, room);
        for (size_t i = 0; i < lines.size(); ++i) {
            reasons.AddRow({i == 0 ? o.mac : std::string(), lines[i]});
        }
    }
    if (any) {
        out << "\n";
        reasons.Print(out);
    }
}

}  // namespace

void PrintOutcomeTable(const std::vector<CameraOutcome>& outcomes, std::ostream& out,
                       size_t columns) {
    const std::string whole = OutcomeTableText(outcomes, columns, true);
    if (columns == 0 || WidestLine(whole) <= columns) {
        out << whole;
        PrintReasons(outcomes, out, columns);
        return;
    }
    // Too narrow for the result beside the versions: each camera's result
    // goes to a second table, whole, rather than cut.
    out << OutcomeTableText(outcomes, columns, false) << "\n";
    CTextTable results({LoadString(IDS_COL_MAC), LoadString(IDS_COL_RESULT)});
    results.SetMaxWidth(columns);
    results.SetFit(1, CTextTable::Fit::Shrink);  // only past the terminal's own width
    for (const CameraOutcome& o : outcomes) {
        results.AddRow({o.mac, OutcomeText(o)});
    }
    results.Print(out);
    PrintReasons(outcomes, out, columns);
}

bool WriteReportFile(const std::string& path, const std::string& text) {
    return platform::WriteReportFile(path, text);
}

bool WriteReport(const std::vector<CameraOutcome>& outcomes, const std::string& journal,
                 const ReportHeader& header, const std::string& path) {
    return WriteReportFile(path, BatchReportText(outcomes, path, journal, header));
}

bool WriteOutcomeReport(const std::vector<CameraOutcome>& outcomes, const std::string& path) {
    return WriteReport(outcomes, "", {}, path);
}
