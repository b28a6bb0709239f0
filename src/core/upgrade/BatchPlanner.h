// What a batch decides before anything is contacted: every refusal of a
// start (no package, no camera, declined shared addresses, packages,
// paths, credentials, the run to resume, the camera locks' folder) and,
// otherwise, the plan: each camera's package or path and first step, its
// skip, its credentials, the cameras awaited, the resumed run's reading
// and what the run's journal lists first.
//
// Threads: none of its own; it runs on the thread of StartBatch or DryRun
// and posts nothing. Its only outside effects are those of a start: a run
// to resume is taken over, the camera locks' folder is made ready, and the
// request's question about shared addresses is asked.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/SettingsView.h"
#include "upgrade/AwaitedCameras.h"
#include "upgrade/BatchTypes.h"
#include "upgrade/RolloutPlan.h"
#include "upgrade/RunJournal.h"

// What the planner reads besides the request.
struct PLANNER_OPTIONS {
    CSettingsView settings;  // "MaxParallelUpgrades"
    // Made ready before a batch starts; "": the machine's.
    std::string cameraLockFolder;
    // The newest search record of a camera, or null.
    std::function<DeviceInfoPtr(const std::string& mac)> currentRecord;
};

// The plan of one batch: Started with everything its run needs, or the
// refusal with what exactly it refers to.
struct BatchPlan {
    BatchStartResult result = BatchStartResult::Started;
    std::string refusalDetail;  // the package's file and the reason, or ""

    // The packages as given (a lone `packagePath` as one for every camera),
    // each read once into `loaded`.
    std::vector<BatchPackage> packages;
    std::vector<ROLLOUT_PACKAGE> loaded;
    std::vector<CREDENTIAL_ENTRY> credentials;
    std::string user;
    std::string password;
    bool force = false;
    // Each listed camera in list order (one per MAC, the first record
    // wins), except those a resumed run waits for again.
    std::vector<CameraPlan> cameras;
    // For cameras without a package of their own model.
    UpgradePackagePtr defaultPackage;
    // The cameras to wait for, the waiting time not yet started.
    CAwaitedCameras awaited;
    int waitSeconds = 0;
    std::string waitText;

    // A resumed run: what each camera had reached, and (StartBatch only)
    // its journal, taken over before it was read.
    std::optional<RunSummary> resumed;
    std::unique_ptr<CRunJournal> resumedJournal;

    FailureLimit maxFailures;
    int canary = 0;  // per model, a resumed run's own unless the request sets one
    int parallel = kMaxParallelUpgrades;
    bool rememberInSettingsFile = false;

    // What the journal lists before any camera is queued: the cameras (by
    // index of `cameras`) and the awaited MACs it does not list yet.
    std::vector<size_t> journalCameras;
    std::vector<std::string> journalAwaited;

    // A camera found late, planned by the rules every camera of the batch was.
    CameraPlan PlanFound(const DeviceInfoPtr& record) const;
};

// Where a planned camera's job starts: the step of its path (after the
// last step a resumed run verified, or where its version says, the later
// of the two) and, when the earlier run may have left it flashing on that
// step, the record it is verified against first (else null).
struct ResumedStart {
    size_t firstStep = 0;
    DeviceInfoPtr mayBeFlashingFrom;
};
ResumedStart ResumedStartOf(const CameraPlan& plan, const JOURNAL_CAMERA* before);

class CBatchPlanner {
public:
    explicit CBatchPlanner(PLANNER_OPTIONS options);

    // StartBatch's decision: a run to resume is taken over (locked, a torn
    // last line cut; RunInUse when another process drives it) before it is
    // read, and the camera locks' folder is made ready once everything else
    // holds.
    BatchPlan PlanStart(const BatchRequest& request) const;
    // The same checks and plan, nothing taken over or made ready.
    BatchPlan PlanDryRun(const BatchRequest& request) const;

private:
    // The refusals and plan both share. `starting`: a batch is to start,
    // not only planned for a front-end's question; only then are its
    // packages logged.
    BatchStartResult Prepare(const BatchRequest& request, BatchPlan& plan, bool starting) const;
    // Reads the packages, the credentials and the run to resume; plans
    // each camera.
    BatchStartResult PlanBatch(const BatchRequest& request,
                               const std::vector<DeviceInfoPtr>& devices, BatchPlan& plan) const;
    // The run's rules (failure limit, canaries, slots) and its journal's
    // first lines.
    void PlanRun(const BatchRequest& request, BatchPlan& plan) const;

    PLANNER_OPTIONS m_options;
};
