#include "upgrade/BatchReport.h"

#include <filesystem>

#include "model/OutcomeReport.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"

namespace {

std::string VersionWithBuild(const std::string& version, int32_t build) {
    return version.empty() ? version : version + "(" + std::to_string(build) + ")";
}

// The steps of each camera's upgrade path, from the run's journal; a
// camera with steps names its path's last package.
std::vector<CameraOutcome> WithSteps(std::vector<CameraOutcome> outcomes, const RunSummary& run) {
    for (CameraOutcome& o : outcomes) {
        const JOURNAL_CAMERA* camera = run.Find(o.mac);
        if (camera == nullptr || camera->steps.empty()) {
            continue;
        }
        o.package = camera->package;
        o.steps.clear();
        for (const JOURNAL_STEP& step : camera->steps) {
            OutcomeStep row;
            row.package = std::filesystem::path(step.package).filename().string();
            row.fromVersion = VersionWithBuild(step.fromVersion, step.fromBuild);
            row.toVersion = VersionWithBuild(step.toVersion, step.toBuild);
            row.code = step.code;
            row.attempts = step.attempts;
            if (&step == &camera->steps.back() && step.code == UpgradeResult::Ok &&
                row.toVersion.empty()) {
                row.toVersion = o.newVersion;
            }
            o.steps.push_back(std::move(row));
        }
    }
    return outcomes;
}

}  // namespace

std::string BatchReportText(const std::vector<CameraOutcome>& outcomes, const std::string& path,
                            const std::string& journal, const ReportHeader& header) {
    const ReportFormat format = ReportFormatOfPath(path);
    RunSummary run;
    std::string problem;
    if (!journal.empty()) {
        ReadRunJournal(journal, run, problem);
    }
    const std::vector<CameraOutcome> rows = WithSteps(outcomes, run);
    if (format != ReportFormat::Html) {
        return OutcomeReportText(rows, CurrentResultWords(), format);
    }
    return HtmlReportText(rows, CurrentResultWords(), ReportRunOf(run), header);
}
