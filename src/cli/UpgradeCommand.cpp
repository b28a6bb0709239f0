#include "UpgradeCommand.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <utility>

#include "BatchTracker.h"
#include "CliSystem.h"
#include "CommandSession.h"
#include "InputCheck.h"
#include "OutcomeHistory.h"
#include "PackageFacts.h"
#include "PackageModels.h"
#include "PasswordSource.h"
#include "ProgressJson.h"
#include "ProgressView.h"
#include "ResumeCommand.h"
#include "SignalWatch.h"
#include "TargetChoice.h"
#include "TerminalKeys.h"
#include "TerminalSize.h"
#include "TextTable.h"
#include "UpgradeReport.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/DeviceText.h"
#include "model/HtmlReport.h"
#include "model/MacAddress.h"
#include "model/OutcomeReport.h"
#include "model/SafeText.h"
#include "model/UtcTime.h"
#include "session/SessionNetwork.h"
#include "session/SessionTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the table may lag behind an upgraded camera's return: its
// record is stored just after the camera's job learned of it.
constexpr int kNewVersionWaitMs = 2000;

// "1 camera", "2 cameras".
std::string CameraCount(size_t count) {
    return std::to_string(count) + (count == 1 ? " camera" : " cameras");
}

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
        err << "  " << VisibleText(mac) << "\n";
    }
    return AskYes("Continue?", yes, err);
}

// What is about to be flashed, so that a wrong choice is seen in time.
void ShowChosen(const std::vector<DeviceInfoPtr>& devices, const BatchRequest& request,
                std::ostream& out) {
    std::map<std::string, int> models;
    for (const DeviceInfoPtr& r : devices) {
        ++models[r->productModel];
    }
    out << CameraCount(devices.size()) << " chosen (";
    const char* separator = "";
    for (const auto& [model, count] : models) {
        out << separator << count << " " << VisibleText(model);
        separator = ", ";
    }
    out << "):\n";
    CTextTable table({LoadString(IDS_COL_MAC), LoadString(IDS_COL_IP), "Name", "Model", "Version"});
    for (const DeviceInfoPtr& r : devices) {
        table.AddRow({r->mac, r->ip, r->devName, r->productModel, DeviceVersionText(*r)});
    }
    table.Print(out);
    if (!request.awaitedMacs.empty()) {
        out << "Waiting up to " << request.waitText << " for "
            << CameraCount(request.awaitedMacs.size()) << " not found yet:";
        // Four MACs a line, indented: whole on a terminal of 80 columns.
        for (size_t i = 0; i < request.awaitedMacs.size(); ++i) {
            out << (i % 4 == 0 ? "\n  " : "  ") << VisibleText(request.awaitedMacs[i]);
        }
        out << "\n";
    }
    out.flush();
}

std::vector<DeviceInfoPtr> OnlyMacs(const std::vector<DeviceInfoPtr>& devices,
                                    const std::vector<std::string>& macs) {
    std::vector<DeviceInfoPtr> kept;
    for (const DeviceInfoPtr& record : devices) {
        if (std::any_of(macs.begin(), macs.end(),
                        [&](const std::string& mac) { return SameMac(mac, record->mac); })) {
            kept.push_back(record);
        }
    }
    return kept;
}

// A retry's cameras that the search did not find: named, so that an
// offline camera is not dropped without a word.
bool ListUnfoundReportCameras(const std::vector<DeviceInfoPtr>& found, const RolloutInput& rollout,
                              std::ostream& err) {
    std::vector<const ReportCamera*> unfound;
    for (const ReportCamera& row : rollout.retryCameras) {
        const bool seen = std::any_of(found.begin(), found.end(), [&](const DeviceInfoPtr& r) {
            return SameMac(row.mac, r->mac);
        });
        if (!seen) {
            unfound.push_back(&row);
        }
    }
    if (unfound.empty()) {
        return false;
    }
    err << "firmhand-cli: " << CameraCount(unfound.size()) << " of " << rollout.retryFailed
        << " not found by the search:\n";
    for (const ReportCamera* row : unfound) {
        err << "  " << row->mac << (row->ip.empty() ? "" : "  " + row->ip) << "\n";
    }
    return true;
}

// The dry run's plan: each camera's package or why it is skipped, and the
// credentials that would be tried first (their source, never a password).
void PrintPlan(const std::vector<CameraPlan>& plans, std::ostream& out) {
    CTextTable table({LoadString(IDS_COL_MAC), LoadString(IDS_COL_IP), "Model", "Version", "Plan",
                      "Credentials"});
    for (const CameraPlan& plan : plans) {
        const DEVICE_S_INFO& r = *plan.record;
        std::string what = plan.package    ? plan.package->FileName()
                           : plan.skipCode ? ResultCodeToText(*plan.skipCode)
                                           : std::string();
        if (plan.package && plan.path.size() > 1) {
            // An upgrade path: the steps it would take, in order.
            what.clear();
            for (size_t step = plan.firstStep; step < plan.path.size(); ++step) {
                what += (what.empty() ? "" : " -> ") + plan.path[step]->FileName();
            }
        }
        std::string credentials = "-";
        if (!plan.credentials.empty()) {
            credentials.clear();
            for (const CameraCredential& c : plan.credentials) {
                credentials += (credentials.empty() ? "" : ", ") + c.source + " (" + c.user + ")";
            }
        }
        if (plan.downgrade) {
            what += " (downgrade)";
        }
        table.AddRow({r.mac, r.ip, r.productModel, DeviceVersionText(r), what, credentials});
    }
    table.Print(out);
    if (const size_t downgrades = DowngradedCameras(plans).size(); downgrades > 0) {
        out << DowngradesText(downgrades) << "\n";
    }
    out << CameraCount(plans.size()) << " planned; nothing started (--dry-run)\n";
    out.flush();
}

// Cameras whose package is older than what they run, said before the
// question: a wrong file is seen before a whole site goes back. The rest
// of a long list is left to --dry-run.
constexpr size_t kDowngradesListed = 10;

void ShowDowngrades(CFirmhandSession& session, const BatchRequest& request, std::ostream& out,
                    size_t columns) {
    std::vector<CameraPlan> plans;
    if (session.DryRun(request, plans) != BatchStartResult::Started) {
        return;  // the start says why
    }
    const std::vector<const CameraPlan*> downgraded = DowngradedCameras(plans);
    if (downgraded.empty()) {
        return;
    }
    out << DowngradesText(downgraded.size()) << ":\n";
    for (size_t i = 0; i < downgraded.size() && i < kDowngradesListed; ++i) {
        const CameraPlan& plan = *downgraded[i];
        const DEVICE_S_INFO& r = *plan.record;
        const std::string name = VisibleText(FieldString(r.devName));
        const std::string camera = "  " + (name.empty() ? "" : name + " ") + "(" +
                                   VisibleText(FieldString(r.mac)) + ") runs " +
                                   VisibleText(DeviceVersionText(r)) + ",";
        const std::string package = "newer than " + VisibleText(plan.package->FileName());
        // The package on a line of its own where one line would not fit.
        const bool fits =
            columns == 0 || DisplayWidth(camera) + 1 + DisplayWidth(package) <= columns;
        out << camera << (fits ? " " : "\n    ") << package << "\n";
    }
    if (downgraded.size() > kDowngradesListed) {
        out << "  and " << downgraded.size() - kDowngradesListed
            << " more (--dry-run lists each)\n";
    }
    out.flush();
}

bool WantsHtmlReport(const UpgradeOptions& options) {
    return std::any_of(options.reports.begin(), options.reports.end(), [](const std::string& path) {
        return ReportFormatOfPath(path) == ReportFormat::Html;
    });
}

// True when a camera to be upgraded has no line of the credentials file:
// only the typed password can log in to it. A plan that cannot be made
// says nothing, so the password is asked for.
bool NeedsTypedPassword(CFirmhandSession& session, const BatchRequest& request) {
    if (!request.awaitedMacs.empty()) {
        return true;  // no plan yet for a camera not found
    }
    std::vector<CameraPlan> plans;
    if (session.DryRun(request, plans) != BatchStartResult::Started) {
        return true;
    }
    return std::any_of(plans.begin(), plans.end(), [](const CameraPlan& plan) {
        return plan.package && plan.credentials.size() <= 1;
    });
}

// The version an upgraded camera was verified with: its record as the
// result comes in, when the record already shows the change.
void TakeVerifiedVersion(const CFirmhandSession& session, CameraOutcome& o) {
    const DeviceInfoPtr record = session.FindDevice(o.mac);
    if (record && DeviceVersionText(*record) != o.oldVersion) {
        o.newVersion = DeviceVersionText(*record);
    }
}

// True when every upgraded camera's listed record shows its new version.
bool NewVersionsListed(const CFirmhandSession& session,
                       const std::vector<CameraOutcome>& outcomes) {
    for (const CameraOutcome& o : outcomes) {
        if (o.code != UpgradeResult::Ok || !o.newVersion.empty()) {
            continue;
        }
        const DeviceInfoPtr record = session.FindDevice(o.mac);
        if (!record || DeviceVersionText(*record) == o.oldVersion) {
            return false;
        }
    }
    return true;
}

// The MACs of `macs` that no camera of `found` has, each once.
std::vector<std::string> NotFound(const std::vector<DeviceInfoPtr>& found,
                                  const std::vector<std::string>& macs) {
    std::vector<std::string> missing;
    for (const std::string& mac : macs) {
        const auto same = [&](const auto& other) { return SameMac(mac, other); };
        const bool seen = std::any_of(found.begin(), found.end(),
                                      [&](const DeviceInfoPtr& r) { return same(r->mac); });
        if (!seen && std::none_of(missing.begin(), missing.end(), same)) {
            missing.push_back(mac);
        }
    }
    return missing;
}

// The run --resume continues waits for cameras not found yet.
bool ResumedRunWaits(const CFirmhandSession& session) {
    const std::optional<RunSummary> run = session.UnfinishedRun();
    return run && !run->running && run->waitSeconds > 0;
}

// A resumed run's open cameras that this search has not found. One that
// may be flashing is not among them: its job waits for it and verifies it.
std::vector<std::string> AwaitedOfRun(const CFirmhandSession& session, const RunSummary& run) {
    std::vector<std::string> awaited;
    for (const JOURNAL_CAMERA& camera : run.cameras) {
        if (!camera.Done() && !camera.MayBeFlashing() && !session.FindDevice(camera.mac)) {
            awaited.push_back(camera.mac);
        }
    }
    return awaited;
}

// One upgrade command's run, from the cameras found to the exit status.
struct UpgradeRun {
    const UpgradeOptions& options;
    const CliContext& context;
    CCommandSession& run;
    CFirmhandSession& session;
    std::ostream& out;
    std::ostream& err;
    BatchRequest request;
    std::optional<RunSummary> resumed;
    bool unfoundRetry = false;  // a camera of the retried report was not found
    // The waiting time for cameras not found yet, as given or as the
    // resumed run has it ("" without).
    std::string waitText;
};

// --resume: the last unfinished run's cameras, when there is such a run.
// Nothing, or the exit status when the command ends here.
std::optional<int> TakeUnfinishedRun(UpgradeRun& u) {
    std::string problem;
    u.resumed = u.session.UnfinishedRun(&problem);
    if (u.resumed && u.resumed->running) {
        // Its cameras are being upgraded right now; a second driver
        // would only race it.
        u.session.Stop();
        u.err << "firmhand-cli: run " << u.resumed->id
              << " is going on in another process; it is not resumed\n";
        return 2;
    }
    if (u.resumed) {
        u.out << "Resuming run " << u.resumed->id << ": " << CameraCount(u.resumed->cameras.size())
              << ", " << u.resumed->cameras.size() - u.resumed->Open() << " finished before\n";
        u.request.resumeRun = u.resumed->path;
        u.request.devices = u.session.ResumeDevices(*u.resumed);
        if (u.options.waitSeconds > 0) {
            u.request.awaitedMacs = AwaitedOfRun(u.session, *u.resumed);
            const std::vector<std::string>& awaited = u.request.awaitedMacs;
            std::erase_if(u.request.devices, [&](const DeviceInfoPtr& r) {
                return std::any_of(awaited.begin(), awaited.end(),
                                   [&](const std::string& mac) { return SameMac(mac, r->mac); });
            });
        }
        if (u.options.waitSeconds > 0 || u.resumed->waitSeconds > 0) {
            u.waitText = u.options.waitSeconds > 0 ? u.options.waitForMissing : u.resumed->waitText;
        }
    } else if (!problem.empty()) {
        u.err << "firmhand-cli: the last run is unreadable (" << problem
              << "); starting a new run\n";
    } else {
        u.err << "firmhand-cli: no unfinished run to resume; starting a new run\n";
    }
    return std::nullopt;
}

// The cameras to upgrade: the resumed run's, or those the options choose
// among the found ones. Nothing, or the exit status when the command ends.
std::optional<int> ChooseRequestCameras(UpgradeRun& u) {
    const UpgradeOptions& options = u.options;
    if (options.resume) {
        if (const std::optional<int> status = TakeUnfinishedRun(u)) {
            return status;
        }
    }
    if (u.resumed) {
        return std::nullopt;
    }
    bool missing = false;
    const std::vector<DeviceInfoPtr> found =
        options.onlyTargets ? CamerasAtTargets(u.session.Devices(), options.targets)
                            : u.session.Devices();
    CameraChoice choice = options.cameras;
    if (options.waitSeconds > 0) {
        // Named cameras the search has not found are waited for, not missing.
        u.waitText = options.waitForMissing;
        u.request.awaitedMacs = NotFound(found, choice.macs);
        std::erase_if(choice.macs,
                      [&](const std::string& mac) { return NotFound(found, {mac}).size() == 1; });
    }
    u.request.devices = ChooseCameras(found, choice, u.err, &missing);
    if (!options.rollout.retryMacs.empty()) {
        u.request.devices = OnlyMacs(u.request.devices, options.rollout.retryMacs);
        if (options.waitSeconds > 0) {
            for (const std::string& mac : NotFound(found, options.rollout.retryMacs)) {
                u.request.awaitedMacs.push_back(mac);
            }
        } else {
            u.unfoundRetry = ListUnfoundReportCameras(u.session.Devices(), options.rollout, u.err);
        }
    }
    if (missing || (u.request.devices.empty() && u.request.awaitedMacs.empty())) {
        u.session.Stop();
        u.err << "firmhand-cli: nothing upgraded; run \"firmhand-cli scan\" to list the "
                 "cameras\n";
        return kNoCameraExitStatus;
    }
    return std::nullopt;
}

// The packages, the rollout's options and the credentials of the request;
// false (said on `err`) when a package does not fit the chosen cameras.
bool FillRequest(UpgradeRun& u) {
    const UpgradeOptions& options = u.options;
    BatchRequest& request = u.request;
    request.packages = options.rollout.parsedPackages;
    if (request.packages.empty()) {
        request.packages = PackagesOfReport(options.rollout.retryCameras, request.devices);
    }
    // A camera not found yet may be of any model.
    if (const std::string problem = MatchPackageModels(request.packages, request.devices);
        !problem.empty() && request.awaitedMacs.empty()) {
        u.session.Stop();
        u.err << "firmhand-cli: " << problem << "\n";
        return false;
    }
    request.credentialsFile = options.rollout.credentials;
    request.force = options.force;
    request.maxFailures = options.rollout.failureLimit;
    request.canary = options.rollout.canaryCount;
    request.user =
        options.userGiven ? options.user : u.session.Settings().GetString(settings::kUsername);
    request.password = options.passwordGiven ? options.password
                                             : u.session.Settings().GetString(settings::kPassword);
    // Only a password typed here is remembered; one from a file, the
    // environment or the command line stays where it came from.
    request.rememberLogin = options.passwordTyped;
    request.rememberInSettingsFile = options.remember;
    request.waitSeconds = options.waitSeconds;
    request.waitText = options.waitForMissing;
    return true;
}

// Asks to go on (and for the password, when the cameras need one) and
// starts the batch. Nothing once it runs, else the exit status.
std::optional<int> ConfirmAndStart(UpgradeRun& u) {
    const UpgradeOptions& options = u.options;
    BatchRequest& request = u.request;
    // The list goes where the question goes, so that it is seen before the
    // answer even when the output is redirected.
    ShowChosen(request.devices, request, options.yes ? u.out : u.err);
    const std::optional<TerminalSize> terminal =
        options.yes ? StdoutTerminalSize() : StderrTerminalSize();
    ShowDowngrades(u.session, request, options.yes ? u.out : u.err,
                   terminal ? static_cast<size_t>(terminal->columns) : 0);
    const size_t count = request.devices.size() + request.awaitedMacs.size();
    if (!AskYes("Upgrade " + CameraCount(count) + "?", options.yes, u.err)) {
        u.session.Stop();
        if (u.run.StopRequested()) {
            return kInterruptedExitStatus;
        }
        u.err << "firmhand-cli: nothing upgraded\n";
        return 2;
    }
    if (!options.passwordGiven && !(options.yes && !request.password.empty()) &&
        NeedsTypedPassword(u.session, request)) {
        bool given = false;
        bool typed = false;
        std::string password;
        AskDevicePassword(!request.password.empty(), password, given, typed);
        if (u.run.StopRequested()) {
            u.session.Stop();
            return kInterruptedExitStatus;
        }
        if (given) {
            request.password = password;
            request.rememberLogin = typed;
        }
    }
    std::ostream& err = u.err;
    request.confirmDuplicates = [&options, &err](const std::vector<std::string>& macs) {
        return AskToContinue(macs, options.yes, err);
    };
    const BatchStartResult started = u.session.StartBatch(request);
    if (started != BatchStartResult::Started && u.run.StopRequested()) {
        u.err << "firmhand-cli: interrupted\n";  // at the question about slave addresses
        return kInterruptedExitStatus;
    }
    if (started != BatchStartResult::Started) {
        return RefuseBatch(started, u.session, u.err);
    }
    return std::nullopt;
}

// SIGUSR1, or "p" typed on the terminal: the batch's pause is to flip.
class CPauseRequests {
public:
    bool Pending() {
        if (!m_key) {
            m_key = m_keys.Next();
        }
        return CSignalWatch::PauseToggles() != m_toggles || m_key.has_value();
    }
    // True when the requests since the last call flip the pause (two
    // signals cancel out).
    bool TakeToggle() {
        bool toggle = false;
        if (const int toggles = CSignalWatch::PauseToggles(); toggles != m_toggles) {
            toggle = (toggles - m_toggles) % 2 != 0;
            m_toggles = toggles;
        }
        if (const std::optional<char> typed = std::exchange(m_key, std::nullopt);
            typed == 'p' || typed == 'P') {
            toggle = !toggle;
        }
        return toggle;
    }
    // How a paused run goes on, for the status line: a key is only read
    // from a terminal.
    std::string GoOnHint() const {
        return m_keys.Active() ? " (p or SIGUSR1: go on)" : " (SIGUSR1: go on)";
    }

private:
    CTerminalKeys m_keys;
    int m_toggles = CSignalWatch::PauseToggles();
    std::optional<char> m_key;
};

// A camera the batch waits for: its waiting time, and once the search
// found it, what the search says of it.
void NoteAwaited(const UpgradeRun& u, CameraOutcome& o, bool waitingToBeFound) {
    if (waitingToBeFound) {
        o.awaitedFor = u.waitText;
        if (o.ip.empty()) {
            o.oldVersion.clear();  // not known before the search finds it
        }
        return;
    }
    if (o.awaitedFor.empty() || !o.ip.empty()) {
        return;
    }
    if (const DeviceInfoPtr record = u.session.FindDevice(o.mac)) {
        const CameraOutcome found = OutcomeBefore(*record, u.request.packages);
        o.ip = found.ip;
        o.name = found.name;
        o.oldVersion = found.oldVersion;
        o.package = found.package;
    }
}

// Follows the batch until it is over, drawing each change; the first stop
// request cancels it, a pause request pauses it or lets it go on. True when
// it was cancelled.
bool FollowBatch(UpgradeRun& u, CBatchTracker& batch, CProgressView& view, CProgressEvents& events,
                 Clock::time_point batchStart) {
    CPauseRequests requests;
    const auto onMessage = [&](const SessionEvent& event) {
        if (const auto* pause = std::get_if<BatchPausedEvent>(&event)) {
            view.SetStatus(batch.Outcomes(), pause->paused
                                                 ? LoadString(IDS_PAUSED) + requests.GoOnHint()
                                                 : std::string());
            events.Paused(pause->paused);
            return;
        }
        const auto* reach = std::get_if<ReachNoticeEvent>(&event);
        const auto* inventory = std::get_if<InventoryNoticeEvent>(&event);
        if (reach != nullptr || inventory != nullptr) {
            view.Erase();
            u.err << "firmhand-cli: " << VisibleText(reach ? reach->text : inventory->text) << "\n";
            return;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - batchStart).count();
        if (const auto changed = batch.Apply(event, seconds)) {
            CameraOutcome& o = batch.Outcomes()[*changed];
            if (const auto* state = std::get_if<CameraStateEvent>(&event)) {
                NoteAwaited(u, o, state->state == UpgradeProgress::WaitingToBeFound);
            } else if (std::holds_alternative<CameraResultEvent>(event)) {
                NoteAwaited(u, o, false);
            }
            StampOutcomeTimes(o, std::chrono::system_clock::now());
            if (o.code == UpgradeResult::Ok && o.newVersion.empty()) {
                TakeVerifiedVersion(u.session, o);
            }
            view.Update(batch.Outcomes(), *changed);
            events.Update(batch.Outcomes(), *changed);
        }
    };
    bool cancelled = false;
    while (!batch.Over()) {
        u.run.PumpUntil(
            [&] {
                return batch.Over() || (!cancelled && u.run.StopRequested()) ||
                       view.ResizePending() || requests.Pending();
            },
            1000, onMessage);
        if (requests.TakeToggle() && !cancelled && !batch.Over()) {
            // Refused only once the batch ends or is cancelled: nothing to do.
            u.session.PauseBatch(!u.session.IsBatchPaused());
        }
        // An installing camera's time counts on between its messages; a
        // resized terminal is drawn on at once.
        if (batch.Tick(std::chrono::duration<double>(Clock::now() - batchStart).count()) ||
            view.ResizePending()) {
            view.Update(batch.Outcomes(), batch.Outcomes().size());
        }
        if (!cancelled && u.run.StopRequested()) {
            cancelled = true;
            view.Erase();
            u.err << "firmhand-cli: interrupted, cancelling the upgrade"
                     " (interrupt again to quit at once)\n";
            // Results already posted count as finished before the cancel.
            u.run.Drain(onMessage);
            batch.MarkCancelled();
            u.session.CancelAll();
        }
    }
    return cancelled;
}

// The last words on each camera once the batch is over: end times of the
// cancelled ones, the versions the table learned late.
void CloseOutcomes(UpgradeRun& u, std::vector<CameraOutcome>& outcomes, bool cancelled) {
    if (!cancelled) {
        u.run.PumpUntil(
            [&] { return NewVersionsListed(u.session, outcomes) || u.run.StopRequested(); },
            kNewVersionWaitMs);
    }
    for (CameraOutcome& o : outcomes) {
        if (!o.startedAt.empty() && o.endedAt.empty()) {
            EndOutcomeNow(o);  // cancelled
        }
        // Only an upgraded camera came back with a version of its own; one
        // whose record lagged behind its result is read now.
        const DeviceInfoPtr record = u.session.FindDevice(o.mac);
        if (o.code == UpgradeResult::Ok && o.newVersion.empty() && record) {
            o.newVersion = DeviceVersionText(*record);
        }
    }
    if (u.resumed) {
        CloseEarlierRun(outcomes, *u.resumed);
    }
}

// The table, the journal's path and the reports, then the exit status.
int PrintResults(UpgradeRun& u, const std::vector<CameraOutcome>& outcomes,
                 const ReportHeader& header, const std::string& journal, size_t columns,
                 bool cancelled) {
    u.out << "\n";
    PrintOutcomeTable(outcomes, u.out, columns);
    u.out.flush();
    if (!journal.empty()) {
        u.out << "Run journal: " << journal << "\n";
    }
    for (const std::string& report : u.options.reports) {
        if (!WriteReport(outcomes, journal, header, report)) {
            u.err << "firmhand-cli: the report " << report << " could not be written\n";
        } else {
            u.out << "Report written: " << report << "\n";
        }
    }
    if (cancelled || u.run.StopRequested()) {
        if (!journal.empty()) {
            u.err << "firmhand-cli: the run was interrupted; continue it with:\n  "
                  << ResumeCommandLine(u.options.commandLine) << "\n";
        }
        return kInterruptedExitStatus;
    }
    for (const CameraOutcome& o : outcomes) {
        if (o.code != UpgradeResult::Ok && o.code != UpgradeResult::AlreadyCurrent) {
            return 1;
        }
    }
    return u.unfoundRetry ? 1 : 0;
}

// Runs the started batch to its end and reports it.
int RunBatch(UpgradeRun& u, CProgressEvents& events) {
    const UpgradeOptions& options = u.options;
    // The files as the cameras got them, before anyone can change them.
    ReportHeader header{options.site, options.customer, options.technician, {}};
    if (WantsHtmlReport(options)) {
        header.packages = DescribePackages(
            !u.request.packages.empty() || !u.resumed ? u.request.packages : u.resumed->packages);
    }
    const auto batchStart = Clock::now();
    std::vector<DeviceInfoPtr> cameras = u.request.devices;
    for (const std::string& mac : u.request.awaitedMacs) {
        DeviceInfoPtr record = MakeEmptyDeviceInfo();
        CopyField(record->mac, mac);
        record->build = -1;  // no version known
        cameras.push_back(std::move(record));
    }
    CBatchTracker batch(InitialOutcomes(cameras, u.request.packages));
    if (u.resumed) {
        TakeEarlierRun(batch.Outcomes(), *u.resumed);
    }
    CProgressView view(u.out, u.context.terminal);
    const bool cancelled = FollowBatch(u, batch, view, events, batchStart);
    view.Finish(batch.Outcomes());
    CloseOutcomes(u, batch.Outcomes(), cancelled);
    // The journal is named by the engine, which the stop releases.
    const std::string journal = u.session.RunJournalPath();
    u.session.Stop();
    events.BatchEnd(batch.Outcomes());
    return PrintResults(u, batch.Outcomes(), header, journal, view.Columns(), cancelled);
}

}  // namespace

int RunUpgrade(const UpgradeOptions& options, const CliContext& context, std::ostream& out,
               std::ostream& err) {
    SESSION_OPTIONS sessionOptions =
        CommandSessionOptions(context, options.targets, options.adapter);
    if (options.reachability) {
        sessionOptions.reachability = MakeReachability();
    }
    CCommandSession run(std::move(sessionOptions), context.stopRequested);
    CFirmhandSession& session = run.Session();
    if (const std::optional<int> status = run.StartAndSearch(options.seconds, err)) {
        return *status;
    }
    CProgressEvents events(context.events);
    events.Scan(session.Devices());

    // Cameras named but not found may still come while the batch waits.
    if (session.Devices().empty() && options.waitSeconds == 0 &&
        !(options.resume && ResumedRunWaits(session))) {
        session.Stop();
        err << "firmhand-cli: " << run.NothingFoundText(options.seconds) << "\n";
        return kNoCameraExitStatus;
    }
    UpgradeRun u{options, context, run, session, out, err, {}, {}, false, {}};
    if (const std::optional<int> status = ChooseRequestCameras(u)) {
        return *status;
    }
    if (!FillRequest(u)) {
        return 2;
    }
    if (options.dryRun) {
        std::vector<CameraPlan> plans;
        const BatchStartResult planned = session.DryRun(u.request, plans);
        session.Stop();
        if (planned != BatchStartResult::Started) {
            return RefuseBatch(planned, session, err);
        }
        PrintPlan(plans, out);
        if (!u.request.awaitedMacs.empty()) {
            out << CameraCount(u.request.awaitedMacs.size())
                << " not found yet would be waited for up to " << u.request.waitText << "\n";
        }
        return 0;
    }
    if (const std::optional<int> status = ConfirmAndStart(u)) {
        return *status;
    }
    return RunBatch(u, events);
}
