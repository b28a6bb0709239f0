// How the CLI prints a batch's outcomes and stores its reports.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "model/CameraOutcome.h"
#include "model/HtmlReport.h"
#include "session/SessionTypes.h"

// At most `columns` wide when given (a terminal's width): text shortened,
// the address and time left out first.
void PrintOutcomeTable(const std::vector<CameraOutcome>& outcomes, std::ostream& out,
                       size_t columns = 0);
// Writes the report in the format its name asks for (see
// upgrade/BatchReport.h); the page's timeline comes from the run's journal.
bool WriteReport(const std::vector<CameraOutcome>& outcomes, const std::string& journal,
                 const ReportHeader& header, const std::string& path);
// Writes FILE.json ({"results": [...]}) or FILE.csv (see OutcomeReport.h);
// false on failure.
bool WriteOutcomeReport(const std::vector<CameraOutcome>& outcomes, const std::string& path);
// Writes a report whole through a temporary file in the same folder that is
// renamed over `path`: a link at `path` is replaced, never followed.
bool WriteReportFile(const std::string& path, const std::string& text);
