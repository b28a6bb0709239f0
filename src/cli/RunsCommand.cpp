#include "RunsCommand.h"

#include <ostream>

#include "TextTable.h"
#include "model/RunsFolder.h"
#include "model/UtcTime.h"
#include "session/SessionFiles.h"

int RunRuns(const CliContext& context, std::ostream& out, std::ostream& err) {
    const std::string folder =
        RunsFolderOf(context.session.runsFolder, platform::LocalStateFolder());
    const std::vector<RunListing> runs = ListRuns(folder);
    if (runs.empty()) {
        err << "firmhand-cli: no run recorded in " << folder << "\n";
        return 0;
    }
    CTextTable table(
        {"Run", "Started", "State", "Cameras", "Upgraded", "Skipped", "Failed", "Open"});
    for (const RunListing& listing : runs) {
        const RunSummary& run = listing.run;
        if (!listing.problem.empty()) {
            table.AddRow(
                {run.id, "-", run.running ? "running" : "unreadable", "-", "-", "-", "-", "-"});
            continue;
        }
        const char* state = run.running ? "running" : run.Finished() ? "finished" : "unfinished";
        table.AddRow({run.id, UtcText(run.startedAt), state, std::to_string(run.cameras.size()),
                      std::to_string(run.Upgraded()), std::to_string(run.Skipped()),
                      std::to_string(run.Failed()), std::to_string(run.Open())});
    }
    table.Print(out);
    for (const RunListing& listing : runs) {
        if (!listing.problem.empty()) {
            err << "firmhand-cli: " << listing.problem << "\n";
        }
    }
    return 0;
}
