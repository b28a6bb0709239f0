// What a front-end hands a batch and gets back: the request, why a start
// was refused, the batch's state and the final result of each camera. Apart
// from the engine, so that the session's header carries only these.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/DeviceSInfo.h"
#include "upgrade/RolloutPlan.h"

// Why a batch did not start, each with the message the front-end shows.
enum class BatchStartResult {
    Started,
    AlreadyRunning,      // 1005 "Upgrading, Please wait...."
    NoPackage,           // 1026 "Please select the upgrade file!"
    NoDevice,            // 1027 "Please select at least one device!"
    DuplicatesDeclined,  // the technician did not confirm 1071
    OpenFailed,          // 1018 "Failed to open the file!"
    PackageInvalid,      // 1019 "Upgrade package error!": wrong for every camera,
                         // a path that cannot be ordered, or a model no chosen
                         // camera has
    ThreadFailed,        // 1021: the batch's thread could not be started
    CredentialsInvalid,  // 1081: the credentials file is refused
    RunUnreadable,       // 1082: the run to resume cannot be read
    RunInUse,            // 1084: another process drives the run to resume
    LockFolderRefused,   // 1086: the camera locks' folder is not safe to use
};

// The string id of the message box for a refusal; 0 for Started and
// DuplicatesDeclined.
int BatchStartMessageId(BatchStartResult result);

// Bounds of the "MaxParallelUpgrades" setting.
constexpr int kMinParallelUpgrades = 1;
constexpr int kMaxParallelUpgrades = 64;

struct BatchRequest {
    // Records of the checked rows, in list order; any number.
    std::vector<DeviceInfoPtr> devices;
    // One package for every camera; ignored when `packages` is not empty.
    std::string packagePath;
    // Packages by model ("" for every camera without its own); several of
    // one model are its upgrade path, in the order of their versions.
    std::vector<BatchPackage> packages;
    std::string user;
    std::string password;
    // The password was typed by the technician (not read from a file, the
    // environment or a setting): it is remembered once a camera takes it,
    // in the keyring, or without one in the owner-only user settings file
    // when `rememberInSettingsFile` (the technician agreed).
    bool rememberLogin = false;
    bool rememberInSettingsFile = false;
    // "MATCH USER PASSWORD" lines tried before the typed credentials; "" none.
    std::string credentialsFile;
    // Upgrades cameras that already run the package's version.
    bool force = false;
    // No further camera starts once the failed ones pass it.
    FailureLimit maxFailures;
    // The first `canary` cameras of each model are upgraded and verified
    // before any other camera of that model starts; when one of them fails,
    // the others of its model are not started. 0: off (a resumed run then
    // keeps the count its journal has).
    int canary = 0;
    // The journal of an unfinished run to continue; "" starts a new run.
    std::string resumeRun;
    // Cameras named by MAC that the search has not found: with a waiting
    // time, each is part of the batch ("Waiting to be found") and is
    // planned and queued as soon as a search report shows it; those never
    // seen end "Not found within" the time when it is over. A resumed run
    // waits again for its cameras never found, the full time (its own, or
    // this one when given).
    std::vector<std::string> awaitedMacs;
    int waitSeconds = 0;   // 0: no waiting (awaitedMacs are ignored)
    std::string waitText;  // the time as the technician gave it ("10m")
    // Asked on the caller's thread when slave addresses repeat, with the
    // MACs of the cameras that share one; true continues. Without it the
    // batch continues.
    std::function<bool(const std::vector<std::string>& duplicateMacs)> confirmDuplicates;
};

// A batch's way: Idle (none yet) -> Starting (StartBatch decides) ->
// Running -> Cancelling (CancelAll) -> Ended (every final result posted);
// a refused start goes back to where it came from, a cancel may also come
// while Starting, and Ended starts again like Idle.
enum class BatchState { Idle, Starting, Running, Cancelling, Ended };

const char* BatchStateName(BatchState state);

// wParam of WM_BATCH_PAUSED.
enum BatchPauseKind : int {
    BATCH_GOES_ON = 0,
    BATCH_PAUSED = 1,
};

// The answer of a call that only some states allow.
enum class BatchCallResult {
    Done,
    WrongState,  // nothing done: the batch is not in a state that allows it
};

// The final result of one camera of a batch.
struct BatchOutcome {
    std::string mac;
    UpgradeResult code = UpgradeResult::Ok;
};
