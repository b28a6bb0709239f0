// The report a technician hands over: one self-contained HTML page (no
// external file, no script) with the site's summary, a table of every
// camera and an SVG timeline drawn from the run's journal, one lane per
// camera: queued, transfer, flashing and reboot, then verified or failed.
#pragma once

#include <string>
#include <vector>

#include "UpgradeReport.h"
#include "upgrade/RunJournal.h"

// The page's text. `run` may be empty (no journal): the timeline is left out.
std::string HtmlReportText(const std::vector<CameraOutcome>& outcomes, const RunSummary& run);
// Writes the page; false when the file cannot be written.
bool WriteHtmlReport(const std::vector<CameraOutcome>& outcomes, const RunSummary& run,
                     const std::string& path);
