#include "UpgradeCommand.h"

#include <chrono>
#include <iostream>
#include <map>
#include <ostream>

#include "BatchTracker.h"
#include "CliSystem.h"
#include "CommandSession.h"
#include "ProgressJson.h"
#include "ProgressView.h"
#include "SignalWatch.h"
#include "TextTable.h"
#include "UpgradeReport.h"
#include "UtcTime.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/DeviceText.h"
#include "reach/Reachability.h"
#include "upgrade/UpgradeResult.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the table may lag behind an upgraded camera's return: its
// record is stored just after the camera's job learned of it.
constexpr int kNewVersionWaitMs = 2000;

bool AskYes(const std::string& question, bool yes, std::ostream& err) {
    if (yes) {
        return true;
    }
    if (!StdinIsTerminal()) {
        err << "firmhand-cli: not continuing without --yes\n";
        return false;
    }
    err << question << " [y/N] ";
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

bool AskToContinue(const std::vector<std::string>& macs, bool yes, std::ostream& err) {
    err << LoadString(IDS_DUPLICATE_SLAVE_IP) << "\n";
    for (const std::string& mac : macs) {
        err << "  " << mac << "\n";
    }
    return AskYes("Continue?", yes, err);
}

// What is about to be flashed, so that a wrong choice is seen in time.
void ShowChosen(const std::vector<DeviceInfoPtr>& devices, std::ostream& out) {
    std::map<std::string, int> models;
    for (const DeviceInfoPtr& r : devices) {
        ++models[r->productModel];
    }
    out << devices.size() << (devices.size() == 1 ? " camera" : " cameras") << " chosen (";
    const char* separator = "";
    for (const auto& [model, count] : models) {
        out << separator << count << " " << model;
        separator = ", ";
    }
    out << "):\n";
    CTextTable table({"MAC address", "IP address", "Name", "Model", "Version"});
    for (const DeviceInfoPtr& r : devices) {
        table.AddRow({r->mac, r->ip, r->devName, r->productModel, DeviceVersionText(*r)});
    }
    table.Print(out);
    out.flush();
}

std::vector<CameraOutcome> InitialOutcomes(const std::vector<DeviceInfoPtr>& devices) {
    std::vector<CameraOutcome> outcomes;
    for (const DeviceInfoPtr& record : devices) {
        CameraOutcome outcome;
        outcome.mac = record->mac;
        outcome.ip = record->ip;
        outcome.name = record->devName;
        outcome.oldVersion = DeviceVersionText(*record);
        outcomes.push_back(outcome);
    }
    return outcomes;
}

// True when every upgraded camera's listed record shows its new version.
bool NewVersionsListed(const CFirmhandSession& session,
                       const std::vector<CameraOutcome>& outcomes) {
    for (const CameraOutcome& o : outcomes) {
        if (o.code != UPGRADE_OK) {
            continue;
        }
        const DeviceInfoPtr record = session.FindDevice(o.mac);
        if (!record || DeviceVersionText(*record) == o.oldVersion) {
            return false;
        }
    }
    return true;
}

}  // namespace

int RunUpgrade(const UpgradeOptions& options, const CliContext& context, std::ostream& out,
               std::ostream& err) {
    SESSION_OPTIONS sessionOptions =
        CommandSessionOptions(context, options.targets, options.adapter);
    if (options.reachability) {
        sessionOptions.reachability = std::make_shared<CReachability>();
    }
    CCommandSession run(std::move(sessionOptions), context.stopRequested);
    CFirmhandSession& session = run.Session();
    if (!run.Start()) {
        err << "firmhand-cli: the device search could not be started\n";
        return 2;
    }
    if (!run.Search(options.seconds)) {
        err << "firmhand-cli: interrupted\n";
        return kInterruptedExitStatus;
    }
    CProgressEvents events(context.events);
    events.Scan(session.Devices());

    if (session.Devices().empty()) {
        session.Stop();
        err << "firmhand-cli: " << run.NothingFoundText(options.seconds) << "\n";
        return kNoCameraExitStatus;
    }
    BatchRequest request;
    bool missing = false;
    request.devices = ChooseCameras(session.Devices(), options.cameras, err, &missing);
    if (missing || request.devices.empty()) {
        session.Stop();
        err << "firmhand-cli: nothing upgraded; run \"firmhand-cli scan\" to list the cameras\n";
        return kNoCameraExitStatus;
    }
    // The list goes where the question goes, so that it is seen before the
    // answer even when the output is redirected.
    ShowChosen(request.devices, options.yes ? out : err);
    const size_t count = request.devices.size();
    if (!AskYes("Upgrade " + std::to_string(count) + (count == 1 ? " camera?" : " cameras?"),
                options.yes, err)) {
        session.Stop();
        if (run.StopRequested()) {
            return kInterruptedExitStatus;
        }
        err << "firmhand-cli: nothing upgraded\n";
        return 2;
    }
    request.packagePath = options.package;
    request.user =
        options.userGiven ? options.user : session.Settings().GetString(settings::kUsername);
    request.password = options.passwordGiven ? options.password
                                             : session.Settings().GetString(settings::kPassword);
    request.confirmDuplicates = [&](const std::vector<std::string>& macs) {
        return AskToContinue(macs, options.yes, err);
    };
    const BatchStartResult started = session.StartBatch(request);
    if (started != BatchStartResult::Started && run.StopRequested()) {
        err << "firmhand-cli: interrupted\n";  // at the question about slave addresses
        return kInterruptedExitStatus;
    }
    if (started != BatchStartResult::Started) {
        if (const int id = BatchStartMessageId(started)) {
            err << LoadString(id) << "\n";
        }
        return 2;
    }

    const auto batchStart = Clock::now();
    CBatchTracker batch(InitialOutcomes(request.devices));
    CProgressView view(out, context.terminal);
    const auto onMessage = [&](CWindowMessage& message) {
        const double seconds = std::chrono::duration<double>(Clock::now() - batchStart).count();
        if (const auto changed = batch.Apply(message, seconds)) {
            CameraOutcome& o = batch.Outcomes()[*changed];
            if (o.startedAt.empty()) {
                o.startedAt = IsoUtcNow();
            }
            if (o.code >= 0 && o.endedAt.empty()) {
                o.endedAt = IsoUtcNow();
            }
            view.Update(batch.Outcomes(), *changed);
            events.Update(batch.Outcomes(), *changed);
        }
    };
    bool cancelled = false;
    while (!batch.Over()) {
        run.PumpUntil([&] { return batch.Over() || (!cancelled && run.StopRequested()); }, 1000,
                      onMessage);
        if (!cancelled && run.StopRequested()) {
            cancelled = true;
            err << "firmhand-cli: interrupted, cancelling the upgrade"
                   " (interrupt again to quit at once)\n";
            // Results already posted count as finished before the cancel.
            run.Drain(onMessage);
            batch.MarkCancelled();
            session.CancelAll();
        }
    }
    view.Finish(batch.Outcomes());
    if (!cancelled) {
        run.PumpUntil(
            [&] { return NewVersionsListed(session, batch.Outcomes()) || run.StopRequested(); },
            kNewVersionWaitMs);
    }
    for (CameraOutcome& o : batch.Outcomes()) {
        if (!o.startedAt.empty() && o.endedAt.empty()) {
            o.endedAt = IsoUtcNow();  // cancelled
        }
        // Only an upgraded camera came back with a version of its own.
        const DeviceInfoPtr record = session.FindDevice(o.mac);
        if (o.code == UPGRADE_OK && record) {
            o.newVersion = DeviceVersionText(*record);
        }
    }
    session.Stop();
    events.BatchEnd(batch.Outcomes());

    out << "\n";
    PrintOutcomeTable(batch.Outcomes(), out, view.Columns());
    out.flush();
    if (!options.report.empty() &&
        !WriteOutcomeReport(batch.Outcomes(), options.package, options.report)) {
        err << "firmhand-cli: the report " << options.report << " could not be written\n";
    }
    if (cancelled || run.StopRequested()) {
        return kInterruptedExitStatus;
    }
    for (const CameraOutcome& o : batch.Outcomes()) {
        if (o.code != UPGRADE_OK) {
            return 1;
        }
    }
    return 0;
}
