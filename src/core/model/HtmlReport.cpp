#include "model/HtmlReport.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <tuple>

#include "model/ResultCode.h"
#include "model/SafeText.h"
#include "model/UtcTime.h"

namespace {

constexpr int kLaneHeight = 18;
constexpr int kLabelWidth = 150;
constexpr int kPlotWidth = 700;

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : VisibleText(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// At most `limit` code points of a camera's text, "..." marking a cut.
std::string Shortened(const std::string& text, size_t limit) {
    const std::string visible = VisibleText(text);
    size_t points = 0;
    for (size_t i = 0; i < visible.size(); ++i) {
        if ((static_cast<unsigned char>(visible[i]) & 0xC0) != 0x80 && points++ == limit) {
            return visible.substr(0, i) + "...";
        }
    }
    return visible;
}

// A lane's label: the camera's name (its MAC when it has none).
constexpr size_t kLabelCharacters = 24;

// One coloured stretch of a lane, from `from` to `to` (ms since the epoch).
struct TimelinePhase {
    int64_t from;
    int64_t to;
    const char* name;
    const char* colour;
};

std::vector<TimelinePhase> PhasesOf(const TimelineLane& c, int64_t end) {
    std::vector<TimelinePhase> phases;
    const int64_t ended = c.endedAt > 0 ? c.endedAt : end;
    if (c.queuedAt > 0 && c.startedAt > c.queuedAt) {
        phases.push_back({c.queuedAt, c.startedAt, "queued", "#b0b7c3"});
    }
    if (c.startedAt > 0) {
        const bool flashed = c.lastBlockAt >= c.startedAt && c.lastBlockAt > 0;
        phases.push_back({c.startedAt, flashed ? c.lastBlockAt : ended, "transfer", "#3b82f6"});
        if (flashed) {
            phases.push_back({c.lastBlockAt, ended, "flashing and reboot", "#f59e0b"});
        }
    }
    if (c.hasResult) {
        const bool ok = c.code == UpgradeResult::Ok || (c.code && IsSkippedResult(*c.code));
        phases.push_back({ended, ended, ok ? "verified" : "failed", ok ? "#16a34a" : "#dc2626"});
    }
    return phases;
}

void WriteTimeline(std::ostream& out, const ReportRun& run) {
    int64_t start = run.startedAt;
    int64_t end = run.endedAt;
    for (const TimelineLane& c : run.lanes) {
        end = std::max({end, c.endedAt, c.lastBlockAt, c.startedAt, c.queuedAt});
    }
    if (start <= 0 || end <= start) {
        return;
    }
    const double scale = static_cast<double>(kPlotWidth) / static_cast<double>(end - start);
    const auto x = [&](int64_t t) {
        return kLabelWidth + static_cast<int>(static_cast<double>(t - start) * scale);
    };
    const int height = static_cast<int>(run.lanes.size()) * kLaneHeight + 30;
    out << "<h2>Timeline</h2>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
        << kLabelWidth + kPlotWidth + 10 << "\" height=\"" << height
        << "\" role=\"img\" aria-label=\"timeline\">\n";
    int lane = 0;
    for (const TimelineLane& c : run.lanes) {
        const int y = lane * kLaneHeight;
        const std::string who =
            c.name.empty() ? Escape(c.mac) : Escape(c.name) + " (" + Escape(c.mac) + ")";
        const std::string label =
            Escape(Shortened(c.name.empty() ? c.mac : c.name, kLabelCharacters));
        out << "<text x=\"0\" y=\"" << y + 13 << "\" font-size=\"11\"><title>" << who << "</title>"
            << label << "</text>\n";
        for (const TimelinePhase& p : PhasesOf(c, end)) {
            const int width = std::max(3, x(p.to) - x(p.from));
            out << "<rect x=\"" << x(p.from) << "\" y=\"" << y + 2 << "\" width=\"" << width
                << "\" height=\"" << kLaneHeight - 4 << "\" fill=\"" << p.colour << "\"><title>"
                << who << ": " << p.name << "</title></rect>\n";
        }
        ++lane;
    }
    const int axis = lane * kLaneHeight + 14;
    out << "<text x=\"" << kLabelWidth << "\" y=\"" << axis << "\" font-size=\"11\">0 s</text>"
        << "<text x=\"" << kLabelWidth + kPlotWidth - 40 << "\" y=\"" << axis
        << "\" font-size=\"11\">" << (end - start) / 1000 << " s</text>\n";
    out << "</svg>\n<p class=\"legend\"><span style=\"color:#b0b7c3\">&#9632;</span> queued "
           "<span style=\"color:#3b82f6\">&#9632;</span> transfer "
           "<span style=\"color:#f59e0b\">&#9632;</span> flashing and reboot "
           "<span style=\"color:#16a34a\">&#9632;</span> verified "
           "<span style=\"color:#dc2626\">&#9632;</span> failed</p>\n";
}

void WritePackages(std::ostream& out, const ReportRun& run, const ReportHeader& header) {
    for (const PackageFacts& package : header.packages) {
        out << "<tr><th>Package" << (package.model.empty() ? "" : " for " + Escape(package.model))
            << "</th><td><span class=\"package\">" << Escape(package.name) << "</span>";
        if (package.sha256.empty()) {
            out << " (could not be read for its size and SHA-256)";
        } else {
            out << ", " << package.bytes << " bytes<br>SHA-256 <code class=\"sha256\">"
                << package.sha256 << "</code>";
        }
        out << "</td></tr>\n";
    }
    if (!header.packages.empty()) {
        return;
    }
    for (const BatchPackage& package : run.packages) {
        out << "<tr><th>Package" << (package.model.empty() ? "" : " for " + Escape(package.model))
            << "</th><td>" << Escape(package.path) << "</td></tr>\n";
    }
}

}  // namespace

std::string HtmlReportText(const std::vector<CameraOutcome>& outcomes, const ResultWords& words,
                           const ReportRun& run, const ReportHeader& header) {
    std::map<std::string, int> statuses;
    for (const CameraOutcome& o : outcomes) {
        ++statuses[OutcomeStatus(o)];
    }
    std::ostringstream out;
    out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<title>Firmhand upgrade report</title>\n<style>"
           "body{font-family:sans-serif;margin:2em;color:#111}"
           "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:3px 8px;"
           "font-size:13px}th{background:#eef}.failed{background:#fde2e2}"
           ".summary td{font-weight:bold}</style></head><body>\n"
           "<h1>Firmware upgrade report</h1>\n<table class=\"summary\">\n";
    for (const auto& [label, id, value] :
         {std::tuple{"Site", "site", &header.site},
          std::tuple{"Customer", "customer", &header.customer},
          std::tuple{"Technician", "technician", &header.technician}}) {
        if (!value->empty()) {
            out << "<tr><th>" << label << "</th><td id=\"" << id << "\">" << Escape(*value)
                << "</td></tr>\n";
        }
    }
    out << "<tr><th>Cameras</th><td id=\"cameras\">" << outcomes.size() << "</td></tr>\n"
        << "<tr><th>Upgraded</th><td id=\"upgraded\">" << statuses["upgraded"] << "</td></tr>\n"
        << "<tr><th>Skipped</th><td id=\"skipped\">" << statuses["skipped"] << "</td></tr>\n"
        << "<tr><th>Failed</th><td id=\"failed\">" << statuses["failed"] << "</td></tr>\n"
        << "<tr><th>Not started or cancelled</th><td id=\"open\">"
        << statuses["not-started"] + statuses["cancelled"] << "</td></tr>\n";
    WritePackages(out, run, header);
    if (run.startedAt > 0) {
        out << "<tr><th>Started</th><td>" << UtcText(run.startedAt) << "</td></tr>\n"
            << "<tr><th>Ended</th><td>" << UtcText(run.endedAt) << "</td></tr>\n";
        if (run.endedAt > run.startedAt) {
            out << "<tr><th>Total time</th><td>" << (run.endedAt - run.startedAt) / 1000
                << " s</td></tr>\n";
        }
    }
    out << "</table>\n<h2>Cameras</h2>\n<table id=\"cameras-table\">\n<tr><th>MAC</th><th>IP"
           "</th><th>Name</th><th>Old version</th><th>New version</th><th>Result</th><th>Status"
           "</th><th>Reason</th><th>Attempts</th><th>Package</th></tr>\n";
    for (const CameraOutcome& o : outcomes) {
        const std::string status = OutcomeStatus(o);
        out << "<tr" << (status == "failed" ? " class=\"failed\"" : "") << "><td>" << Escape(o.mac)
            << "</td><td>" << Escape(o.ip) << "</td><td>" << Escape(o.name) << "</td><td>"
            << Escape(o.oldVersion) << "</td><td>" << Escape(o.newVersion) << "</td><td>"
            << Escape(OutcomeText(o, words)) << "</td><td>" << status << "</td><td>"
            << Escape(OutcomeReason(o, words)) << "</td><td>" << o.attempts << "</td><td>"
            << Escape(o.package) << "</td></tr>\n";
        if (!o.steps.empty()) {
            // A line per step, in the order the camera took them.
            out << "<tr class=\"steps\"><td></td><td colspan=\"9\">";
            for (size_t i = 0; i < o.steps.size(); ++i) {
                out << (i > 0 ? "<br>" : "") << Escape(OutcomeStepText(o.steps[i], words));
            }
            out << "</td></tr>\n";
        }
    }
    out << "</table>\n";
    WriteTimeline(out, run);
    out << "</body></html>\n";
    return out.str();
}
