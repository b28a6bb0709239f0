// A batch's report file as both front-ends write it: the format its name
// asks for (see model/OutcomeReport.h), the words of the interface language
// and, for the HTML page, the timeline from the run's journal.
#pragma once

#include <string>
#include <vector>

#include "model/CameraOutcome.h"
#include "model/HtmlReport.h"

// `journal` may be "" (or unreadable): the page is drawn without a timeline.
std::string BatchReportText(const std::vector<CameraOutcome>& outcomes, const std::string& path,
                            const std::string& journal, const ReportHeader& header = {});
