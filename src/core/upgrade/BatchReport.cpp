#include "upgrade/BatchReport.h"

#include "model/OutcomeReport.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"

std::string BatchReportText(const std::vector<CameraOutcome>& outcomes, const std::string& path,
                            const std::string& journal, const ReportHeader& header) {
    const ReportFormat format = ReportFormatOfPath(path);
    if (format != ReportFormat::Html) {
        return OutcomeReportText(outcomes, CurrentResultWords(), format);
    }
    RunSummary run;
    std::string problem;
    if (!journal.empty()) {
        ReadRunJournal(journal, run, problem);
    }
    return HtmlReportText(outcomes, CurrentResultWords(), ReportRunOf(run), header);
}
