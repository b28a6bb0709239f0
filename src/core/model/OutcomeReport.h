// The report of a batch as `firmhand-cli upgrade --report` writes it and the
// window exports it: JSON ({"results": [...]}), CSV, or the HTML page (see
// HtmlReport.h). The text only; the front-end writes the file.
#pragma once

#include <string>
#include <vector>

#include "model/CameraOutcome.h"

enum class ReportFormat { Json, Csv, Html };

// By the file's name: ".csv" or ".html" in any case, else JSON.
ReportFormat ReportFormatOfPath(const std::string& path);

// One row per camera, each naming its camera's package. `format` is Json
// or Csv.
std::string OutcomeReportText(const std::vector<CameraOutcome>& outcomes, const ResultWords& words,
                              ReportFormat format);
