#include "AutoTestCommand.h"

#include <filesystem>
#include <optional>
#include <ostream>

#include "BatchTracker.h"
#include "CommandSession.h"
#include "PasswordSource.h"
#include "SignalWatch.h"
#include "app/IniFile.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "model/SafeText.h"
#include "session/AutoUpgradeCycle.h"
#include "session/SessionTypes.h"

namespace {

// The settings' test, with what the command line gives instead.
AUTO_UPGRADE_CONFIG TestConfig(const AutoTestOptions& options, const CSettingsView& settings) {
    AUTO_UPGRADE_CONFIG config = AutoUpgradeSettings(settings);
    for (const auto& [given, field] :
         {std::pair{&options.mac, &config.mac}, std::pair{&options.package1, &config.package1},
          std::pair{&options.package2, &config.package2},
          std::pair{&options.build1, &config.buildNo1},
          std::pair{&options.build2, &config.buildNo2}}) {
        if (!given->empty()) {
            *field = *given;
        }
    }
    if (!options.delayMs.empty()) {
        config.delayMs = ParseLeadingInt(options.delayMs);
    }
    return config;
}

// The test's camera and run, shared by its rounds.
struct AutoTestRun {
    CCommandSession& run;
    CAutoUpgradeCycle& cycle;
    std::string user;
    std::string password;
    std::ostream& out;
    std::ostream& err;
};

// A search report of the test's camera (found or changed).
bool ReportsCamera(const SessionEvent& event, const CAutoUpgradeCycle& cycle) {
    DeviceRecordPtr record;
    if (const auto* found = std::get_if<DeviceFoundEvent>(&event)) {
        record = found->record;
    } else if (const auto* changed = std::get_if<DeviceChangedEvent>(&event)) {
        record = changed->record;
    }
    return record && cycle.IsCamera(FieldText(record->mac));
}

// One batch of the camera with `package`, followed to its end, with its
// final `code`; false when it was refused (said on `err`) or interrupted.
bool UpgradeOnce(AutoTestRun& t, const DeviceInfoPtr& record, const std::string& package,
                 int& status, std::optional<UpgradeResult>& code) {
    CFirmhandSession& session = t.run.Session();
    BatchRequest request;
    request.devices = {record};
    request.packagePath = package;
    request.user = t.user;
    request.password = t.password;
    const BatchStartResult started = session.StartBatch(request);
    if (started != BatchStartResult::Started) {
        status = RefuseBatch(started, session, t.err);
        return false;
    }
    t.cycle.OnBatchStarted(true);
    CBatchTracker batch(InitialOutcomes(request.devices, {{"", package}}));
    const auto onEvent = [&batch](const SessionEvent& event) { batch.Apply(event, 0); };
    bool cancelled = false;
    while (!batch.Over()) {
        t.run.PumpUntil([&] { return batch.Over() || (!cancelled && t.run.StopRequested()); }, 1000,
                        onEvent);
        if (!cancelled && t.run.StopRequested()) {
            cancelled = true;
            t.err << "firmhand-cli: interrupted, cancelling the upgrade\n";
            session.CancelAll();
        }
    }
    if (cancelled) {
        status = kInterruptedExitStatus;
        return false;
    }
    code = batch.Outcomes().front().code;
    return true;
}

// Waits for the camera's next search report after a batch that held it, up
// to `ms`. True when it came.
bool AwaitReturn(AutoTestRun& t, int ms) {
    bool back = false;
    t.run.PumpUntil(
        [&] { return back || t.run.StopRequested(); }, ms,
        [&](const SessionEvent& event) { back = back || ReportsCamera(event, t.cycle); });
    return back;
}

// "Round 2 of 3: two.bin: Upgraded successfully! (build 202)", with what
// went wrong, if anything, in the brackets.
void PrintRound(AutoTestRun& t, int round, int rounds, const std::string& package,
                std::optional<UpgradeResult> code, const DEVICE_S_INFO* camera, bool ok) {
    t.out << "Round " << round << " of " << rounds << ": "
          << VisibleText(std::filesystem::path(package).filename().string()) << ": "
          << (code ? ResultCodeToText(*code) : std::string());
    if (camera != nullptr) {
        t.out << " (build " << camera->build;
        if (const std::optional<int> expected = t.cycle.ExpectedBuild(package);
            expected && *expected != camera->build) {
            t.out << ", expected " << *expected;
        }
    } else {
        t.out << " (the camera did not come back";
    }
    t.out << (ok ? ")" : "; failed)") << "\n";
}

}  // namespace

int RunAutoTest(const AutoTestOptions& options, const CliContext& context, std::ostream& out,
                std::ostream& err) {
    CCommandSession run(CommandSessionOptions(context, options.targets, options.adapter),
                        context.stopRequested);
    CFirmhandSession& session = run.Session();
    CAutoUpgradeCycle cycle(TestConfig(options, session.Settings()));
    if (cycle.NextPackage("").empty()) {
        err << "firmhand-cli auto-test: no package: give --package1 (and --package2) or set "
               "UpgradePackage1\n";
        return 2;
    }
    if (cycle.Config().mac.empty()) {
        err << "firmhand-cli auto-test: no camera: give --mac or set AutoUpgradeDeviceMac\n";
        return 2;
    }
    if (const std::optional<int> status = run.StartAndSearch(options.seconds, err)) {
        return *status;
    }
    if (!session.FindDevice(cycle.Config().mac)) {
        err << "firmhand-cli auto-test: camera " << VisibleText(cycle.Config().mac)
            << " not found\n";
        return kNoCameraExitStatus;
    }
    AutoTestRun t{
        run,
        cycle,
        options.userGiven ? options.user : session.Settings().GetString(settings::kUsername),
        options.passwordGiven ? options.password
                              : session.Settings().GetString(settings::kPassword),
        out,
        err};
    // The camera's restart may take as long as a batch waits for it.
    const int returnMs = session.Settings().GetInt(settings::kWaitRebootTimeout) * 1000;
    bool allOk = true;
    int passed = 0;
    std::string last;
    for (int round = 1; round <= options.rounds; ++round) {
        const std::string package = cycle.NextPackage(last);
        int status = 0;
        std::optional<UpgradeResult> code;
        if (!UpgradeOnce(t, session.FindDevice(cycle.Config().mac), package, status, code)) {
            return status;
        }
        last = package;
        const bool back = cycle.OnBatchEnded(code) || AwaitReturn(t, returnMs);
        if (run.StopRequested()) {
            err << "firmhand-cli: interrupted\n";
            return kInterruptedExitStatus;
        }
        cycle.CameraBack();
        const DeviceInfoPtr camera = back ? session.FindDevice(cycle.Config().mac) : nullptr;
        const bool ok = (code == UpgradeResult::Ok || code == UpgradeResult::AlreadyCurrent) &&
                        camera && cycle.FailedPackage(package, camera->build).empty();
        PrintRound(t, round, options.rounds, package, code, camera.get(), ok);
        allOk = allOk && ok;
        passed += ok ? 1 : 0;
        if (!camera) {
            break;  // nothing to upgrade next
        }
        if (round < options.rounds) {
            run.PumpUntil([&] { return run.StopRequested(); }, cycle.StartDelayMs());
        }
    }
    out << "auto-test: " << passed << " of " << options.rounds << " rounds as expected\n";
    return allOk && passed == options.rounds ? 0 : 1;
}
