#include "UpgradeReport.h"

#include <ostream>
#include <sstream>

#include "JsonText.h"
#include "TextTable.h"
#include "app/StringTable.h"
#include "platform/Paths.h"
#include "upgrade/UpgradeResult.h"

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

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
    if (IsSkippedResult(o.code)) {
        return "skipped";
    }
    if (o.code == UPGRADE_NOT_STARTED) {
        return "not-started";
    }
    if (o.code == UPGRADE_CANCELLED || (o.openAtCancel && (o.prepared || o.attempts > 0))) {
        return o.prepared || o.attempts > 0 ? "cancelled" : "not-started";
    }
    if (o.code >= 0 || o.attempts > 0) {
        return "failed";
    }
    return "not-started";
}

void PrintOutcomeTable(const std::vector<CameraOutcome>& outcomes, std::ostream& out,
                       size_t columns) {
    CTextTable table({LoadString(IDS_COL_MAC), LoadString(IDS_COL_IP), LoadString(IDS_COL_RESULT),
                      "Status", "Old version", "New version", "Attempts", "Seconds"});
    table.SetMaxWidth(columns);
    for (const size_t text : {2, 4, 5}) {
        table.SetFit(text, CTextTable::Fit::Shrink);
    }
    table.SetFit(1, CTextTable::Fit::Drop);
    table.SetFit(7, CTextTable::Fit::Drop);
    for (const CameraOutcome& o : outcomes) {
        table.AddRow({o.mac, o.ip, ResultCodeToText(o.code), OutcomeStatus(o), o.oldVersion,
                      o.newVersion, std::to_string(o.attempts), Seconds(o.seconds)});
    }
    table.Print(out);
}

bool WriteReportFile(const std::string& path, const std::string& text) {
    return platform::WriteFileAtomic(path, text, 0644);
}

bool WriteOutcomeReport(const std::vector<CameraOutcome>& outcomes, const std::string& path) {
    std::ostringstream file;
    if (EndsWith(path, ".csv")) {
        file << "mac,ip,code,text,oldVersion,newVersion,attempts,seconds,status,name,package,"
                "startedAt,endedAt\n";
        for (const CameraOutcome& o : outcomes) {
            file << CsvField(o.mac) << ',' << CsvField(o.ip) << ',' << o.code << ','
                 << CsvField(ResultCodeToText(o.code)) << ',' << CsvField(o.oldVersion) << ','
                 << CsvField(o.newVersion) << ',' << o.attempts << ',' << Seconds(o.seconds) << ','
                 << OutcomeStatus(o) << ',' << CsvField(o.name) << ',' << CsvField(o.package) << ','
                 << o.startedAt << ',' << o.endedAt << '\n';
        }
    } else {
        std::vector<std::string> items;
        for (const CameraOutcome& o : outcomes) {
            items.push_back(CJsonObject()
                                .Add("mac", o.mac)
                                .Add("ip", o.ip)
                                .Add("code", o.code)
                                .Add("text", ResultCodeToText(o.code))
                                .Add("status", OutcomeStatus(o))
                                .Add("oldVersion", o.oldVersion)
                                .Add("newVersion", o.newVersion)
                                .Add("attempts", o.attempts)
                                .Add("seconds", o.seconds)
                                .Add("name", o.name)
                                .Add("package", o.package)
                                .Add("startedAt", o.startedAt)
                                .Add("endedAt", o.endedAt)
                                .Text());
        }
        file << "{\"results\": " << JsonArray(items) << "}\n";
    }
    return WriteReportFile(path, file.str());
}
