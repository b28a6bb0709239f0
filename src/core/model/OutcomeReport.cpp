#include "model/OutcomeReport.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "model/JsonText.h"

namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f", seconds);
    return text;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) {
        return false;
    }
    for (size_t i = 0; i < tail.size(); ++i) {
        const char c = text[text.size() - tail.size() + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != tail[i]) {
            return false;
        }
    }
    return true;
}

std::string CsvText(const std::vector<CameraOutcome>& outcomes, const ResultWords& words) {
    std::ostringstream file;
    // The steps' column only for a batch with upgrade paths: the others
    // keep the columns they always had.
    const bool steps = std::any_of(outcomes.begin(), outcomes.end(),
                                   [](const CameraOutcome& o) { return !o.steps.empty(); });
    file << "mac,ip,code,text,oldVersion,newVersion,attempts,seconds,status,name,package,"
            "startedAt,endedAt,queuedAt,reason"
         << (steps ? ",steps\n" : "\n");
    for (const CameraOutcome& o : outcomes) {
        file << CsvField(o.mac) << ',' << CsvField(o.ip) << ',' << NumberOf(o.code) << ','
             << CsvField(OutcomeText(o, words)) << ',' << CsvField(o.oldVersion) << ','
             << CsvField(o.newVersion) << ',' << o.attempts << ',' << Seconds(o.seconds) << ','
             << OutcomeStatus(o) << ',' << CsvField(o.name) << ',' << CsvField(o.package) << ','
             << o.startedAt << ',' << o.endedAt << ',' << o.queuedAt << ','
             << CsvField(OutcomeReason(o, words));
        if (steps) {
            file << ',' << CsvField(OutcomeStepsText(o, words));
        }
        file << '\n';
    }
    return file.str();
}

std::string StepText(const OutcomeStep& step, const ResultWords& words) {
    const auto word = words.text.find(NumberOf(step.code));
    return word == words.text.end() ? std::string() : word->second;
}

JsonValue StepsJson(const CameraOutcome& o, const ResultWords& words) {
    JsonValue steps = JsonValue::array();
    for (const OutcomeStep& step : o.steps) {
        steps.push_back(CJsonObject()
                            .Add("package", step.package)
                            .Add("fromVersion", step.fromVersion)
                            .Add("toVersion", step.toVersion)
                            .Add("code", NumberOf(step.code))
                            .Add("text", StepText(step, words))
                            .Add("attempts", step.attempts)
                            .Value());
    }
    return steps;
}

std::string JsonText(const std::vector<CameraOutcome>& outcomes, const ResultWords& words) {
    std::vector<std::string> items;
    for (const CameraOutcome& o : outcomes) {
        CJsonObject item;
        item.Add("mac", o.mac)
            .Add("ip", o.ip)
            .Add("code", NumberOf(o.code))
            .Add("text", OutcomeText(o, words))
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
            .Add("reason", OutcomeReason(o, words));
        if (!o.steps.empty()) {
            item.Add("steps", StepsJson(o, words));
        }
        items.push_back(item.Text());
    }
    return "{\"results\": " + JsonArray(items) + "}\n";
}

}  // namespace

ReportFormat ReportFormatOfPath(const std::string& path) {
    if (EndsWithNoCase(path, ".csv")) {
        return ReportFormat::Csv;
    }
    return EndsWithNoCase(path, ".html") ? ReportFormat::Html : ReportFormat::Json;
}

std::string OutcomeReportText(const std::vector<CameraOutcome>& outcomes, const ResultWords& words,
                              ReportFormat format) {
    return format == ReportFormat::Csv ? CsvText(outcomes, words) : JsonText(outcomes, words);
}
