// The report a technician hands over: one self-contained HTML page (no
// external file, no script) with the site's summary, a table of every
// camera and an SVG timeline drawn from the run's journal, one lane per
// camera: queued, transfer, flashing and reboot, then verified or failed.
#pragma once

#include <string>
#include <vector>

#include "PackageFacts.h"
#include "UpgradeReport.h"
#include "upgrade/RunJournal.h"

// Who the work was done for and with what: typed by the technician, left
// out of the page when empty.
struct ReportHeader {
    std::string site;
    std::string customer;
    std::string technician;
    // Name, size and SHA-256 of each package; when empty the run's package
    // paths are listed instead.
    std::vector<PackageFacts> packages;
};

// The page's text. `run` may be empty (no journal): the timeline is left out.
std::string HtmlReportText(const std::vector<CameraOutcome>& outcomes, const RunSummary& run,
                           const ReportHeader& header = {});
// Writes the page; false when the file cannot be written.
bool WriteHtmlReport(const std::vector<CameraOutcome>& outcomes, const RunSummary& run,
                     const ReportHeader& header, const std::string& path);
