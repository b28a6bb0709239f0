#include "UpgradeReport.h"

#include <algorithm>
#include <fstream>
#include <ostream>
#include <sstream>

#include "InputCheck.h"
#include "JsonText.h"
#include "TextTable.h"
#include "app/StringTable.h"
#include "platform/Paths.h"
#include "upgrade/UpgradeResult.h"

namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", seconds);
    return text;
}

}  // namespace

std::string OutcomeStatus(const CameraOutcome& o) {
    if (o.code == UPGRADE_OK) {
        return "upgraded";
    }
    // Its last block went out before the cancel: it installs on its own,
    // and a resumed run verifies it.
    if (o.lastBlockSeconds >= 0 && (o.code == UPGRADE_CANCELLED || o.openAtCancel)) {
        return "installing";
    }
    if (IsSkippedResult(o.code)) {
        return "skipped";
    }
    if (o.code == UPGRADE_NOT_STARTED) {
        return "not-started";
    }
    if (o.code == UPGRADE_ELSEWHERE) {
        return "busy";
    }
    if (o.code == UPGRADE_CANCELLED || (o.openAtCancel && (o.prepared || o.attempts > 0))) {
        return o.prepared || o.attempts > 0 ? "cancelled" : "not-started";
    }
    if (o.code >= 0 || o.attempts > 0) {
        return "failed";
    }
    return "not-started";
}

std::string OutcomeText(const CameraOutcome& o) {
    if (OutcomeStatus(o) == "installing") {
        return LoadString(IDS_SENT_INSTALLING);
    }
    return ResultCodeToText(o.code);
}

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

std::string OutcomeReason(const CameraOutcome& o) {
    const std::string status = OutcomeStatus(o);
    return status == "failed" || status == "busy" ? ResultReasonText(o.code) : std::string();
}

namespace {

// Each failed camera's reason under the table, whole: a sentence that is
// longer than the terminal wraps rather than loses its end.
void PrintReasons(const std::vector<CameraOutcome>& outcomes, std::ostream& out) {
    CTextTable reasons({LoadString(IDS_COL_MAC), LoadString(IDS_COL_REASON)});
    bool any = false;
    for (const CameraOutcome& o : outcomes) {
        if (const std::string reason = OutcomeReason(o); !reason.empty()) {
            reasons.AddRow({o.mac, reason});
            any = true;
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
        PrintReasons(outcomes, out);
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
    PrintReasons(outcomes, out);
}

bool WriteReportFile(const std::string& path, const std::string& text) {
    return platform::WriteReportFile(path, text);
}

bool WriteOutcomeReport(const std::vector<CameraOutcome>& outcomes, const std::string& path) {
    std::ostringstream file;
    if (EndsWithNoCase(path, ".csv")) {
        file << "mac,ip,code,text,oldVersion,newVersion,attempts,seconds,status,name,package,"
                "startedAt,endedAt,queuedAt,reason\n";
        for (const CameraOutcome& o : outcomes) {
            file << CsvField(o.mac) << ',' << CsvField(o.ip) << ',' << o.code << ','
                 << CsvField(OutcomeText(o)) << ',' << CsvField(o.oldVersion) << ','
                 << CsvField(o.newVersion) << ',' << o.attempts << ',' << Seconds(o.seconds) << ','
                 << OutcomeStatus(o) << ',' << CsvField(o.name) << ',' << CsvField(o.package) << ','
                 << o.startedAt << ',' << o.endedAt << ',' << o.queuedAt << ','
                 << CsvField(OutcomeReason(o)) << '\n';
        }
    } else {
        std::vector<std::string> items;
        for (const CameraOutcome& o : outcomes) {
            items.push_back(CJsonObject()
                                .Add("mac", o.mac)
                                .Add("ip", o.ip)
                                .Add("code", o.code)
                                .Add("text", OutcomeText(o))
                                .Add("status", OutcomeStatus(o))
                                .Add("oldVersion", o.oldVersion)
                                .Add("newVersion", o.newVersion)
                                .Add("attempts", o.attempts)
                                .Add("seconds", o.seconds)
                                .Add("name", o.name)
                                .Add("package", o.package)
                                .Add("queuedAt", o.queuedAt)
                                .Add("startedAt", o.startedAt)
                                .Add("endedAt", o.endedAt)
                                .Add("reason", OutcomeReason(o))
                                .Text());
        }
        file << "{\"results\": " << JsonArray(items) << "}\n";
    }
    return WriteReportFile(path, file.str());
}
