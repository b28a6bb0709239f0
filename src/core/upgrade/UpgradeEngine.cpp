#include "upgrade/UpgradeEngine.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stop_token>
#include <system_error>
#include <utility>

#include "app/Logger.h"
#include "app/RememberedPassword.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "model/RunsFolder.h"
#include "model/WaitDuration.h"
#include "platform/Paths.h"
#include "upgrade/AwaitedCameras.h"
#include "upgrade/CameraLock.h"
#include "upgrade/CanarySchedule.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeProcedure.h"
#include "upgrade/UpgradeResult.h"

FH_LOG_SOURCE("UpgradeEngine");

// One batch: what its threads share. The coordinator and the workers hold
// it by shared pointer; the engine keeps it while the batch runs.
struct CUpgradeEngine::CBatchRun {
    std::vector<CameraPlan> plans;  // in list order
    std::shared_ptr<CBatchContext> context;
    std::string journalPath;
    UpgradePackagePtr defaultPackage;
    // A resumed run: what each camera had reached, and its journal, taken
    // over (locked) before it was read.
    std::optional<RunSummary> resumed;
    std::unique_ptr<CRunJournal> resumedJournal;
    // A job's creation and a search report for its camera come one after
    // the other, so no report falls between the record a job starts from
    // and the job table.
    std::mutex reportsMutex;
    FailureLimit maxFailures;
    int canary = 0;  // canaries per model; 0: off
    int parallel = 32;
    int prepared = 0;  // the coordinator's
    std::atomic<bool> cancelled{false};
    // Requested by CancelAll: ends the coordinator's reachability step (its
    // probes, the helper's reply, the wait for the added address).
    std::stop_source stop;

    // Guards the members below; the coordinator waits on `slotFreed` for a
    // worker to end (or the batch to be cancelled).
    std::mutex slotMutex;
    std::condition_variable slotFreed;
    int inFlight = 0;
    int failed = 0;
    int toUpgrade = 0;
    // No further camera starts while set (PauseBatch); running ones finish.
    bool paused = false;
    // Which queued camera may start, each model's canaries first; set up
    // by the coordinator before its first worker starts.
    std::optional<CCanarySchedule> canaries;
    std::vector<std::string> endedMacs;  // workers to join
    // A camera took the typed credentials: the coordinator writes them to
    // the user settings file (once a batch; `typedRemembered` keeps it once).
    bool rememberTyped = false;
    bool typedRemembered = false;
    bool rememberInSettingsFile = false;  // set before the workers start
    // The final result of each camera so far.
    std::map<std::string, int> outcomes;
    // Cameras the batch waits for the search to find, and what one found
    // late is planned with (the same as the others).
    CAwaitedCameras awaited;
    int waitSeconds = 0;
    std::string waitText;
    std::vector<ROLLOUT_PACKAGE> loaded;
    std::vector<CREDENTIAL_ENTRY> entries;
    bool force = false;

    void NoteOutcome(const std::string& mac, int code) {
        std::lock_guard<std::mutex> lock(slotMutex);
        outcomes[mac] = code;
    }

    // From a worker: every camera that takes the typed credentials says so,
    // only the first one wakes the coordinator.
    void TypedLoginAccepted() {
        std::lock_guard<std::mutex> lock(slotMutex);
        if (!typedRemembered) {
            typedRemembered = true;
            rememberTyped = true;
            slotFreed.notify_all();
        }
    }
};

namespace {

// What a camera that may be flashing is verified against: the version it
// showed when its interrupted transfer started (else the one before the
// run), at every address the journal and the request know.
DeviceInfoPtr MayBeFlashingFrom(const JOURNAL_CAMERA& before, const DeviceInfoPtr& requested) {
    if (!before.hasVersionAtStart && before.softwareVer.empty()) {
        return requested;
    }
    DeviceInfoPtr record = RecordFromJournal(before);
    if (before.hasVersionAtStart) {
        CopyField(record->softwareVer, before.softwareVerAtStart);
        record->build = before.buildAtStart;
    }
    return record;
}

// Where a resumed camera's upgrade path goes on: after the last step the
// earlier run verified, or where its version says (the later of the two).
// The step the earlier run was on may be flashing unless the camera showed
// since that it came back from it.
struct ResumedStep {
    size_t first = 0;
    bool mayBeFlashing = true;
};

ResumedStep ResumedPathStep(const CameraPlan& plan, const JOURNAL_CAMERA* before) {
    ResumedStep resumed{plan.firstStep, true};
    if (before == nullptr || before->steps.empty() || plan.path.size() < 2) {
        return resumed;
    }
    const JOURNAL_STEP& last = before->steps.back();
    const auto on = std::find_if(plan.path.begin(), plan.path.end(), [&](const auto& package) {
        return package->Path() == last.package;
    });
    if (on == plan.path.end()) {
        return resumed;  // another path now: its version decides alone
    }
    const auto index = static_cast<size_t>(on - plan.path.begin());
    const size_t next = last.code == UPGRADE_OK ? index + 1 : index;
    if (next > plan.firstStep) {
        resumed.first = std::min(next, plan.path.size() - 1);
    }
    resumed.mayBeFlashing = resumed.first == index;
    return resumed;
}

// A camera a resumed run waited for and never found is waited for again,
// unless this search has found it meanwhile.
bool IsAwaitedAgain(const std::optional<RunSummary>& resumed, int waitSeconds,
                    const DEVICE_S_INFO& record,
                    const std::function<DeviceInfoPtr(const std::string&)>& currentRecord) {
    if (!resumed || waitSeconds <= 0) {
        return false;
    }
    const JOURNAL_CAMERA* before = resumed->Find(record.mac);
    if (before == nullptr || !before->awaited || before->Done()) {
        return false;
    }
    return !currentRecord || !currentRecord(record.mac);
}

// The credentials that worked are the ones offered next time.
void RememberTypedLogin(const CBatchContext& context, bool inSettingsFile) {
    settings::WriteUserString(settings::kUsername, context.user);
    settings::RememberPassword(context.password, inSettingsFile);
}

}  // namespace

int BatchStartMessageId(BatchStartResult result) {
    switch (result) {
        case BatchStartResult::AlreadyRunning:
            return IDS_UPGRADING_WAIT;
        case BatchStartResult::NoPackage:
            return IDS_SELECT_FILE;
        case BatchStartResult::NoDevice:
            return IDS_SELECT_DEVICE;
        case BatchStartResult::OpenFailed:
            return IDS_OPEN_FILE_FAILED;
        case BatchStartResult::PackageInvalid:
            return IDS_PACKAGE_ERROR;
        case BatchStartResult::ThreadFailed:
            return IDS_UPGRADE_FAILED;
        case BatchStartResult::CredentialsInvalid:
            return IDS_CREDENTIALS_REFUSED;
        case BatchStartResult::RunUnreadable:
            return IDS_RUN_UNREADABLE;
        case BatchStartResult::RunInUse:
            return IDS_RUN_IN_USE;
        case BatchStartResult::LockFolderRefused:
            return IDS_LOCK_FOLDER_REFUSED;
        case BatchStartResult::Started:
        case BatchStartResult::DuplicatesDeclined:
            break;
    }
    return 0;
}

CUpgradeEngine::CUpgradeEngine(MessageSinkPtr sink, ENGINE_OPTIONS options)
    : m_sink(std::move(sink)), m_options(std::move(options)) {}

CUpgradeEngine::~CUpgradeEngine() {
    Shutdown();
}

const char* BatchStateName(BatchState state) {
    switch (state) {
        case BatchState::Idle:
            return "idle";
        case BatchState::Starting:
            return "starting";
        case BatchState::Running:
            return "running";
        case BatchState::Cancelling:
            return "cancelling";
        case BatchState::Ended:
            return "ended";
    }
    return "unknown";
}

void CUpgradeEngine::Shutdown() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_shutDown = true;
    }
    // A start still deciding (on another thread, or below on this one in
    // its question) finds the flag and starts nothing; a batch that runs
    // is cancelled and joined.
    CancelAll();
    JoinCoordinator();
}

void CUpgradeEngine::JoinCoordinator() {
    std::thread coordinator;
    {
        // The coordinator takes the lock once more before it ends.
        std::lock_guard<std::mutex> guard(m_mutex);
        coordinator = std::move(m_coordinator);
    }
    if (coordinator.joinable()) {
        coordinator.join();
    }
}

BatchStartResult CUpgradeEngine::Prepare(const BatchRequest& request, CBatchRun& run,
                                         std::vector<BatchPackage>& packages) {
    packages = request.packages;
    if (packages.empty() && !request.packagePath.empty()) {
        packages.push_back({"", request.packagePath});
    }
    if (packages.empty()) {
        return BatchStartResult::NoPackage;
    }
    // One job per MAC, as the job table keys them; the first record wins.
    std::vector<DeviceInfoPtr> devices;
    std::set<std::string> macs;
    for (const DeviceInfoPtr& record : request.devices) {
        if (record && macs.insert(record->mac).second) {
            devices.push_back(std::make_shared<DEVICE_S_INFO>(*record));
        }
    }
    if (request.waitSeconds > 0) {
        run.waitSeconds = std::min(request.waitSeconds, kMaxWaitSeconds);
        run.waitText = request.waitText;
        for (const std::string& mac : request.awaitedMacs) {
            const bool listed = std::any_of(devices.begin(), devices.end(), [&](const auto& r) {
                return SameMac(FieldString(r->mac), mac);
            });
            if (!listed && CMacAddress::Parse(mac)) {
                run.awaited.Add(mac);
            }
        }
    }
    if (devices.empty() && !run.awaited.Waiting()) {
        return BatchStartResult::NoDevice;
    }
    std::map<std::string, std::vector<std::string>> slaveAddresses;
    for (const DeviceInfoPtr& record : devices) {
        // Cameras without a second address share nothing.
        if (record->ip2[0] != '\0') {
            slaveAddresses[record->ip2].push_back(record->mac);
        }
    }
    std::vector<std::string> duplicateMacs;
    for (const auto& [address, sharing] : slaveAddresses) {
        if (sharing.size() > 1) {
            duplicateMacs.insert(duplicateMacs.end(), sharing.begin(), sharing.end());
        }
    }
    if (!duplicateMacs.empty() && request.confirmDuplicates &&
        !request.confirmDuplicates(duplicateMacs)) {
        return BatchStartResult::DuplicatesDeclined;
    }
    for (const BatchPackage& package : packages) {
        LOG_INFO("CFirmhandDlg::OnBnClickedButtonUpdate",
                 "upgrade package, file: %s, selectedCount: %d", package.path.c_str(),
                 static_cast<int>(devices.size()));
    }
    const BatchStartResult planned = PlanBatch(request, packages, devices, run);
    if (planned != BatchStartResult::Started) {
        LOG_ERROR("CUpgradeEngine::StartBatch", "batch refused, %s", m_refusalDetail.c_str());
    }
    return planned;
}

BatchStartResult CUpgradeEngine::DryRun(const BatchRequest& request,
                                        std::vector<CameraPlan>& plans) {
    m_refusalDetail.clear();
    CBatchRun run;
    run.context = std::make_shared<CBatchContext>();
    std::vector<BatchPackage> packages;
    const BatchStartResult result = Prepare(request, run, packages);
    plans = std::move(run.plans);
    return result;
}

BatchStartResult CUpgradeEngine::StartBatch(const BatchRequest& request) {
    m_refusalDetail.clear();
    BatchState before = BatchState::Idle;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_shutDown) {
            return BatchStartResult::ThreadFailed;
        }
        if (m_state != BatchState::Idle && m_state != BatchState::Ended) {
            LOG_WARN("CUpgradeEngine::StartBatch", "batch %s, start refused",
                     BatchStateName(m_state));
            return BatchStartResult::AlreadyRunning;
        }
        before = m_state;
        m_state = BatchState::Starting;
    }
    // Every way out before the coordinator runs leaves the state as it was.
    const BatchStartResult started = StartRun(request);
    if (started != BatchStartResult::Started) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_state = before;
        }
        m_stateChanged.notify_all();
    }
    return started;
}

BatchStartResult CUpgradeEngine::StartRun(const BatchRequest& request) {
    if (!m_options.clientFactory) {
        LOG_ERROR("CUpgradeEngine::StartBatch", "batch refused, no camera client");
        return BatchStartResult::ThreadFailed;
    }
    auto run = std::make_shared<CBatchRun>();
    run->context = std::make_shared<CBatchContext>();
    if (!request.resumeRun.empty()) {
        // Ours before it is read: no other process can drive it meanwhile.
        bool busy = false;
        run->resumedJournal = CRunJournal::Resume(request.resumeRun, m_refusalDetail, busy);
        if (!run->resumedJournal) {
            LOG_ERROR("CUpgradeEngine::StartBatch", "batch refused, %s", m_refusalDetail.c_str());
            return busy ? BatchStartResult::RunInUse : BatchStartResult::RunUnreadable;
        }
    }
    std::vector<BatchPackage> packages;
    if (const BatchStartResult prepared = Prepare(request, *run, packages);
        prepared != BatchStartResult::Started) {
        return prepared;
    }
    // Without a safe folder no camera could be locked: refused as a whole.
    if (!PrepareCameraLockFolder(m_options.cameraLockFolder, m_refusalDetail)) {
        LOG_ERROR("CUpgradeEngine::StartBatch", "batch refused, %s", m_refusalDetail.c_str());
        return BatchStartResult::LockFolderRefused;
    }
    run->context->user = request.user;
    run->context->password = request.password;
    run->context->settings = m_options.settings;
    run->context->timings = m_options.timings;
    run->context->sink = m_sink;
    run->context->jobs = std::make_shared<CUpgradeJobTable>();
    run->context->clientFactory = m_options.clientFactory;
    run->context->cameraLockFolder = m_options.cameraLockFolder;
    // The run outlives its workers, the only callers.
    if (request.rememberLogin) {
        run->context->typedLoginAccepted = [raw = run.get()] { raw->TypedLoginAccepted(); };
    }
    run->rememberInSettingsFile = request.rememberInSettingsFile;
    run->maxFailures = request.maxFailures;
    // A resumed run keeps its rule unless the request sets one.
    run->canary =
        std::clamp(request.canary > 0 ? request.canary : (run->resumed ? run->resumed->canary : 0),
                   0, kMaxCanary);
    run->parallel = std::clamp(m_options.settings.GetInt(settings::kMaxParallelUpgrades),
                               kMinParallelUpgrades, kMaxParallelUpgrades);
    {
        // Shut down while it decided (a stop from within its question): no
        // journal is begun for a batch that will not run.
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_shutDown) {
            return BatchStartResult::ThreadFailed;
        }
    }
    OpenJournal(packages, *run);

    // The previous batch has posted its end; its thread is about to return.
    JoinCoordinator();
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_shutDown) {
        return BatchStartResult::ThreadFailed;
    }
    if (m_state == BatchState::Cancelling) {
        // Cancelled while it started: it runs to its end at once, every
        // camera "Cancelled".
        run->cancelled.store(true);
        run->stop.request_stop();
    }
    m_run = run;
    m_package = run->defaultPackage;
    m_journalPath = run->journalPath;
    try {
        m_coordinator = std::thread([this, run] { RunBatch(run); });
    } catch (const std::system_error& error) {
        LOG_ERROR("CUpgradeEngine::StartBatch", "batch thread not started %d",
                  error.code().value());
        m_run.reset();
        return BatchStartResult::ThreadFailed;
    }
    if (m_state == BatchState::Starting) {
        m_state = BatchState::Running;
    }
    m_stateChanged.notify_all();
    return BatchStartResult::Started;
}

BatchStartResult CUpgradeEngine::PlanBatch(const BatchRequest& request,
                                           const std::vector<BatchPackage>& packages,
                                           const std::vector<DeviceInfoPtr>& devices,
                                           CBatchRun& run) {
    std::vector<ROLLOUT_PACKAGE> loaded;
    bool openFailed = false;
    if (!LoadRolloutPackages(packages, loaded, m_refusalDetail, openFailed)) {
        return openFailed ? BatchStartResult::OpenFailed : BatchStartResult::PackageInvalid;
    }
    // A camera still awaited may be of any model.
    const bool anyModel = request.waitSeconds > 0 || !request.resumeRun.empty();
    for (const BatchPackage& package : packages) {
        const bool known =
            package.model.empty() || anyModel ||
            std::any_of(devices.begin(), devices.end(), [&](const DeviceInfoPtr& record) {
                return FieldString(record->productModel) == package.model;
            });
        if (!known) {
            m_refusalDetail =
                "no chosen camera is of model " + package.model + " (" + package.path + ")";
            return BatchStartResult::PackageInvalid;
        }
    }
    std::vector<CREDENTIAL_ENTRY> entries;
    if (!request.credentialsFile.empty() &&
        !LoadCredentialsFile(request.credentialsFile, entries, m_refusalDetail)) {
        return BatchStartResult::CredentialsInvalid;
    }
    if (!request.resumeRun.empty()) {
        RunSummary summary;
        if (!ReadRunJournal(request.resumeRun, summary, m_refusalDetail)) {
            return BatchStartResult::RunUnreadable;
        }
        run.resumed = std::move(summary);
        if (run.waitSeconds == 0 && run.resumed->waitSeconds > 0) {
            run.waitSeconds = run.resumed->waitSeconds;
            run.waitText = run.resumed->waitText;
        }
    }
    run.loaded = loaded;
    run.entries = entries;
    run.force = request.force;
    for (const DeviceInfoPtr& record : devices) {
        if (IsAwaitedAgain(run.resumed, run.waitSeconds, *record, m_options.currentRecord)) {
            run.awaited.Add(record->mac);
            continue;
        }
        run.plans.push_back(
            PlanCamera(record, loaded, request.force, entries, request.user, request.password));
    }
    run.defaultPackage = LoadedPackageForModel(loaded, "");
    if (!run.defaultPackage) {
        run.defaultPackage = loaded.front().package;
    }
    return BatchStartResult::Started;
}

void CUpgradeEngine::OpenJournal(const std::vector<BatchPackage>& packages, CBatchRun& run) {
    std::string error;
    std::unique_ptr<CRunJournal> journal;
    if (run.resumed) {
        // Kept when this line fails: every later line is checked again, and
        // a camera's last block never leaves unrecorded.
        journal = std::move(run.resumedJournal);
        journal->Resumed();
    } else {
        const std::string folder = RunsFolderOf(m_options.runsFolder, platform::LocalStateFolder());
        journal = CRunJournal::Create(folder, packages, error);
    }
    if (!journal) {
        // The upgrade matters more than its record; it runs without one.
        LOG_ERROR("CUpgradeEngine::StartBatch", "no run journal, %s", error.c_str());
        return;
    }
    if (m_options.journalWriteFails) {
        journal->SetWriteFault(m_options.journalWriteFails);
    }
    journal->Hold();
    if (run.canary > 0) {
        journal->Canary(run.canary);
    }
    for (const CameraPlan& plan : run.plans) {
        const JOURNAL_CAMERA* before = run.resumed ? run.resumed->Find(plan.record->mac) : nullptr;
        if (before == nullptr || before->awaited) {
            journal->Camera(*plan.record, plan.package ? plan.package->Path() : std::string());
        }
    }
    if (run.awaited.Waiting()) {
        for (const std::string& mac : run.awaited.Macs()) {
            if (!run.resumed || run.resumed->Find(mac) == nullptr) {
                journal->Awaited(mac);
            }
        }
        journal->Wait(run.waitSeconds, run.waitText);
    }
    journal->Flush();
    LOG_INFO("CUpgradeEngine::StartBatch", "run journal %s", journal->Path().c_str());
    run.journalPath = journal->Path();
    run.context->journal = std::move(journal);
}

void CUpgradeEngine::PostReachNotice() {
    if (!m_options.reachability || !m_sink) {
        return;
    }
    if (std::string notice = m_options.reachability->TakeNotice(); !notice.empty()) {
        m_sink->PostMessage(MakeTextMessage(WM_REACH_NOTICE, 0, std::move(notice)));
    }
}

struct CUpgradeEngine::CCoordination {
    CCoordination(std::shared_ptr<CBatchRun> batch, MessageSinkPtr messages)
        : run(std::move(batch)), context(*run->context), sink(std::move(messages)) {}

    // Posted once their journal lines are on the disk: the lines of many
    // cameras go out together, with one sync.
    void Post(int code, const std::string& mac) { held.emplace_back(code, mac); }
    void Flush() {
        if (context.journal) {
            context.journal->Flush();
        }
        for (const auto& [code, mac] : held) {
            if (sink) {
                sink->PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, code, mac));
            }
        }
        held.clear();
    }

    std::shared_ptr<CBatchRun> run;
    CBatchContext& context;
    MessageSinkPtr sink;
    std::vector<std::pair<int, std::string>> held;
    std::vector<UpgradeInfoPtr> queue;  // the cameras to upgrade
    std::vector<std::string> macs;      // of `queue`
    std::vector<size_t> pending;        // indexes of `queue` not started
    std::map<std::string, std::thread> workers;
    bool stopped = false;  // by the failure limit
};

void CUpgradeEngine::RunBatch(const std::shared_ptr<CBatchRun>& run) {
    CCoordination c(run, m_sink);
    QueueCameras(c);
    OpenWait(c);
    ScheduleCameras(c);
    FinishBatch(c);
}

// Skipped cameras and those a resumed run had finished end at once; the rest
// are queued, every one a job from now on (search reports keep their
// records current while they wait).
void CUpgradeEngine::QueueCameras(CCoordination& c) {
    CBatchRun& run = *c.run;
    if (c.context.journal) {
        c.context.journal->Hold();
    }
    // A model whose cameras the earlier run (of a resumed one) upgraded
    // needs that many canaries less.
    std::map<std::string, int> proven;
    if (run.canary > 0 && run.resumed) {
        for (const JOURNAL_CAMERA& camera : run.resumed->cameras) {
            if (camera.Done() && camera.code == UPGRADE_OK) {
                ++proven[camera.model];
            }
        }
    }
    // No worker runs yet: the schedule is the coordinator's until the first starts.
    run.canaries.emplace(run.canary, std::move(proven));
    for (const CameraPlan& plan : run.plans) {
        const std::string mac = plan.record->mac;
        const JOURNAL_CAMERA* before = run.resumed ? run.resumed->Find(mac) : nullptr;
        if (before && before->Done()) {
            run.NoteOutcome(mac, before->code);
            c.Post(before->code, mac);
            continue;
        }
        if (plan.skipCode != 0) {
            if (c.context.journal) {
                c.context.journal->Result(mac, plan.skipCode);
            }
            run.NoteOutcome(mac, plan.skipCode);
            c.Post(plan.skipCode, mac);
            continue;
        }
        EnqueueCamera(c, plan, before);
    }
    run.toUpgrade = static_cast<int>(c.queue.size());
    c.Flush();
}

// The cameras the batch waits for show as such; the time starts now.
void CUpgradeEngine::OpenWait(CCoordination& c) {
    CBatchRun& run = *c.run;
    std::vector<std::string> waiting;
    {
        // Found since the request was made: queued at the first look.
        std::lock_guard<std::mutex> lock(run.slotMutex);
        for (const std::string& mac : run.awaited.Macs()) {
            const DeviceInfoPtr found =
                m_options.currentRecord ? m_options.currentRecord(mac) : nullptr;
            if (!found || !run.awaited.Seen(*found)) {
                waiting.push_back(mac);
            }
        }
        run.awaited.Open(run.waitSeconds, run.waitText, CAwaitedCameras::Clock::now());
    }
    for (const std::string& mac : waiting) {
        c.Post(UPGRADE_WAITING_TO_BE_FOUND, mac);
    }
    if (!waiting.empty()) {
        LOG_INFO("CUpgradeEngine::RunBatch", "waiting %d s for %d cameras, mac: %s",
                 run.waitSeconds, static_cast<int>(waiting.size()), waiting.front().c_str());
    }
    c.Flush();
}

void CUpgradeEngine::EnqueueCamera(CCoordination& c, const CameraPlan& plan,
                                   const JOURNAL_CAMERA* before) {
    CBatchRun& run = *c.run;
    const std::string mac = plan.record->mac;
    std::shared_ptr<UpgradeInfo> job;
    {
        // A camera may have come back from a reboot since the request
        // was made, and the search reports that only once: the job
        // starts from the newest record.
        std::lock_guard<std::mutex> lock(run.reportsMutex);
        DeviceInfoPtr newest = m_options.currentRecord ? m_options.currentRecord(mac) : nullptr;
        job = std::make_shared<UpgradeInfo>(newest ? newest : plan.record);
        job->package = plan.package;
        job->credentials = plan.credentials;
        const ResumedStep resumedStep = ResumedPathStep(plan, before);
        if (plan.path.size() > 1) {
            job->path = plan.path;
            job->firstStep = resumedStep.first;
        }
        if (before && before->MayBeFlashing() && resumedStep.mayBeFlashing) {
            // Verified against the version the camera had before that
            // run, not against what this run happened to find.
            job->mayBeFlashingFrom = MayBeFlashingFrom(*before, plan.record);
        }
        c.context.jobs->addJob(job);
    }
    bool waits = false;
    {
        // Workers may run already (a camera found late): their ends change
        // the schedule under this lock.
        std::lock_guard<std::mutex> lock(run.slotMutex);
        waits = run.canaries->Queue(mac, FieldString(plan.record->productModel));
    }
    if (c.context.journal) {
        c.context.journal->Step(mac, "queued");
    }
    c.Post(waits ? UPGRADE_CANARY_WAIT : UPGRADE_QUEUED, mac);
    c.pending.push_back(c.queue.size());
    c.queue.push_back(job);
    c.macs.push_back(mac);
}

void CUpgradeEngine::TakeAwaitedNews(CCoordination& c) {
    CBatchRun& run = *c.run;
    std::vector<DeviceInfoPtr> seen;
    std::vector<std::string> expired;
    {
        std::lock_guard<std::mutex> lock(run.slotMutex);
        seen = run.awaited.TakeSeen();
        expired = run.awaited.TakeExpired(CAwaitedCameras::Clock::now());
    }
    if (c.context.journal) {
        c.context.journal->Hold();
    }
    for (const DeviceInfoPtr& record : seen) {
        // Planned by the rules every camera of the batch was.
        const CameraPlan plan = PlanCamera(record, run.loaded, run.force, run.entries,
                                           run.context->user, run.context->password);
        LOG_INFO("CUpgradeEngine::RunBatch", "awaited camera found, mac: %s", record->mac);
        if (c.context.journal) {
            c.context.journal->Camera(*record, plan.package ? plan.package->Path() : std::string());
        }
        if (plan.skipCode != 0) {
            if (c.context.journal) {
                c.context.journal->Result(record->mac, plan.skipCode);
            }
            run.NoteOutcome(record->mac, plan.skipCode);
            c.Post(plan.skipCode, record->mac);
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(run.slotMutex);
            ++run.toUpgrade;
        }
        EnqueueCamera(c, plan, run.resumed ? run.resumed->Find(record->mac) : nullptr);
    }
    c.Flush();
    if (!expired.empty()) {
        LOG_WARN("CUpgradeEngine::RunBatch", "%d cameras not found within %s, mac: %s",
                 static_cast<int>(expired.size()), run.waitText.c_str(), expired.front().c_str());
        EndAwaited(c, expired, UPGRADE_NOT_FOUND_IN_TIME);
    }
}

void CUpgradeEngine::EndAwaited(CCoordination& c, const std::vector<std::string>& macs, int code) {
    if (c.context.journal) {
        c.context.journal->Hold();
    }
    for (const std::string& mac : macs) {
        if (c.context.journal) {
            c.context.journal->Result(mac, code);
        }
        c.run->NoteOutcome(mac, code);
        c.Post(code, mac);
    }
    c.Flush();
}

bool CUpgradeEngine::WaitForWorkers(CCoordination& c, const std::function<bool()>& ready) {
    CBatchRun& run = *c.run;
    std::vector<std::string> ended;
    bool remember = false;
    bool isReady = false;
    {
        std::unique_lock<std::mutex> lock(run.slotMutex);
        const auto woken = [&] { return run.rememberTyped || ready(); };
        if (run.awaited.Waiting()) {
            // The end of the waiting time is news too.
            run.slotFreed.wait_until(lock, run.awaited.Deadline(), woken);
        } else {
            run.slotFreed.wait(lock, woken);
        }
        ended.swap(run.endedMacs);
        remember = std::exchange(run.rememberTyped, false);
        isReady = ready();
    }
    if (remember) {
        RememberTypedLogin(c.context, run.rememberInSettingsFile);
    }
    for (const std::string& mac : ended) {
        if (auto it = c.workers.find(mac); it != c.workers.end()) {
            it->second.join();
            c.workers.erase(it);
        }
    }
    return isReady;
}

void CUpgradeEngine::EndUnstarted(CCoordination& c, const std::vector<size_t>& indexes, int code) {
    if (c.context.journal) {
        c.context.journal->Hold();
    }
    for (size_t i : indexes) {
        c.queue[i]->finished.store(true);
        if (c.context.journal) {
            c.context.journal->Result(c.macs[i], code);
        }
        c.run->NoteOutcome(c.macs[i], code);
        c.Post(code, c.macs[i]);
    }
    c.Flush();
}

void CUpgradeEngine::ScheduleCameras(CCoordination& c) {
    CBatchRun& run = *c.run;
    const auto awaiting = [&] {
        std::lock_guard<std::mutex> lock(run.slotMutex);
        return run.awaited.Waiting() || run.awaited.HasNews(CAwaitedCameras::Clock::now());
    };
    while (!c.pending.empty() || awaiting()) {
        // Decided under slotMutex, as the workers' ends change it.
        CCanarySchedule::Step step;
        bool news = false;
        const auto decide = [&] {
            news = run.awaited.HasNews(CAwaitedCameras::Clock::now());
            step = run.canaries->Next(c.pending, !run.paused && run.inFlight < run.parallel);
            return news || step.Any() || run.cancelled.load();
        };
        if (!WaitForWorkers(c, decide)) {
            continue;
        }
        if (news && !run.cancelled.load()) {
            TakeAwaitedNews(c);
            continue;
        }
        if (!step.heldBack.empty()) {
            LOG_WARN("CUpgradeEngine::RunBatch", "canary failed, %d cameras not started, mac: %s",
                     static_cast<int>(step.heldBack.size()), c.macs[step.heldBack.front()].c_str());
            EndUnstarted(c, step.heldBack, UPGRADE_CANARY_FAILED);
            std::erase_if(c.pending, [&](size_t i) {
                return std::find(step.heldBack.begin(), step.heldBack.end(), i) !=
                       step.heldBack.end();
            });
            continue;
        }
        if (!step.released.empty()) {
            {
                std::lock_guard<std::mutex> lock(run.slotMutex);
                run.canaries->MarkReleased(step.released);
            }
            for (size_t i : step.released) {
                c.Post(UPGRADE_QUEUED, c.macs[i]);
            }
            c.Flush();
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(run.slotMutex);
            c.stopped = run.maxFailures.IsPassed(run.failed, run.toUpgrade);
        }
        if (run.cancelled.load() || c.stopped || !step.start) {
            break;
        }
        StartCamera(c.run, c.queue[*step.start], c.workers);
        std::erase(c.pending, *step.start);
    }
}

void CUpgradeEngine::FinishBatch(CCoordination& c) {
    CBatchRun& run = *c.run;
    if (!c.pending.empty()) {
        const int code = run.cancelled.load() ? UPGRADE_CANCELLED : UPGRADE_NOT_STARTED;
        LOG_WARN("CUpgradeEngine::RunBatch", "%s, %d failed, %d cameras not started",
                 c.stopped ? "rollout stopped" : "batch cancelled", run.failed,
                 static_cast<int>(c.pending.size()));
        EndUnstarted(c, c.pending, code);
    }
    std::vector<std::string> awaited;
    {
        std::lock_guard<std::mutex> lock(run.slotMutex);
        awaited = run.awaited.TakeAll();
    }
    if (!awaited.empty()) {
        // Never found, never started: taken up again by a resumed run.
        EndAwaited(c, awaited, run.cancelled.load() ? UPGRADE_CANCELLED : UPGRADE_NOT_STARTED);
    }
    while (!WaitForWorkers(c, [&] { return run.inFlight == 0; })) {
    }
    for (auto& [mac, worker] : c.workers) {
        worker.join();
    }
    const int cameras = static_cast<int>(run.plans.size() + run.awaited.Macs().size());
    c.context.jobs->cancelAllJobs();
    // A cancelled run, one stopped by the failure limit and one whose
    // canary failed stay open: a later run may resume their cameras that
    // were not started.
    if (c.context.journal && !run.cancelled.load() && !c.stopped && !run.canaries->AnyFailed()) {
        c.context.journal->End();
    }
    // Every worker is joined: the run's lock goes before the batch's end is
    // posted, so that a resume started on that message finds it free.
    c.context.journal.reset();
    LOG_INFO("CUpgradeEngine::RunBatch", "batch ended, %d cameras, %d failed", cameras, run.failed);
    EndRun(run);
    // The workers' buffers and links are gone by now.
    PUB_ReleaseFreeMemory();
    // Every worker posted its final result before it returned.
    if (m_sink) {
        m_sink->PostMessage(MakeTextMessage(WM_BATCH_END, cameras, std::string()));
    }
}

void CUpgradeEngine::EndRun(CBatchRun& run) {
    std::vector<BatchOutcome> outcomes;
    {
        std::lock_guard<std::mutex> lock(run.slotMutex);
        for (const CameraPlan& plan : run.plans) {
            const auto it = run.outcomes.find(plan.record->mac);
            if (it != run.outcomes.end()) {
                outcomes.push_back({it->first, it->second});
            }
        }
        // Found late, a camera goes by the MAC text of its search report.
        for (const std::string& mac : run.awaited.Macs()) {
            const auto it =
                std::find_if(run.outcomes.begin(), run.outcomes.end(),
                             [&](const auto& outcome) { return SameMac(outcome.first, mac); });
            if (it != run.outcomes.end()) {
                outcomes.push_back({it->first, it->second});
            }
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_run.reset();
        m_lastOutcomes = std::move(outcomes);
        m_state = BatchState::Ended;
    }
    m_stateChanged.notify_all();
}

void CUpgradeEngine::StartCamera(const std::shared_ptr<CBatchRun>& run, const UpgradeInfoPtr& job,
                                 std::map<std::string, std::thread>& workers) {
    const DeviceInfoPtr record = job->Device();
    const std::string mac = record->mac;
    uint32_t deviceAddress = 0;
    uint32_t addedAddress = 0;
    const std::stop_token stop = run->stop.get_token();
    // Cancelled here, the job still starts: it is cancelled too and ends
    // "Cancelled" at once, with its result posted like any other.
    if (m_options.reachability && m_options.reachability->MakeDeviceReachable(
                                      *record, deviceAddress, addedAddress, true, stop)) {
        WaitForLocalAddress(*m_options.reachability, addedAddress,
                            static_cast<int>(run->context->timings.localAddressPolls), 100, stop);
    }
    PostReachNotice();
    if (m_sink) {
        m_sink->PostMessage(MakeTextMessage(WM_BATCH_PREPARED, ++run->prepared, mac));
    }
    // Each worker sees its camera's package; the data itself is shared.
    auto jobContext = std::make_shared<CBatchContext>(*run->context);
    jobContext->package = job->package;
    {
        std::lock_guard<std::mutex> lock(run->slotMutex);
        ++run->inFlight;
    }
    try {
        workers.emplace(mac, std::thread([this, run, jobContext, job, mac] {
                            EndCamera(*run, mac, upgradeDevice(jobContext, job));
                        }));
    } catch (const std::system_error& error) {
        LOG_ERROR("CUpgradeEngine::StartCamera", "_beginthread failed %d", error.code().value());
        job->finished.store(true);
        {
            std::lock_guard<std::mutex> lock(run->slotMutex);
            run->canaries->Ended(mac, UPGRADE_FAILED);
        }
        if (run->context->journal) {
            run->context->journal->Result(mac, UPGRADE_FAILED);
        }
        run->NoteOutcome(mac, UPGRADE_FAILED);
        if (m_sink) {
            m_sink->PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, UPGRADE_FAILED, mac));
        }
        EndCamera(*run, std::string(), UPGRADE_FAILED);
    }
}

void CUpgradeEngine::EndCamera(CBatchRun& run, const std::string& mac, int code) {
    std::lock_guard<std::mutex> lock(run.slotMutex);
    --run.inFlight;
    if (IsFailedResult(code)) {
        ++run.failed;
    }
    if (!mac.empty()) {
        run.endedMacs.push_back(mac);
        run.outcomes[mac] = code;
        run.canaries->Ended(mac, code);
    }
    run.slotFreed.notify_all();
}

std::shared_ptr<CUpgradeEngine::CBatchRun> CUpgradeEngine::CurrentRun() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_run;
}

void CUpgradeEngine::OnSearchReport(int notifyKind, const DEVICE_S_INFO& record) {
    const auto run = CurrentRun();
    if (!run) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(run->reportsMutex);
        run->context->jobs->OnSearchReport(notifyKind, record);
    }
    // A camera the batch waits for: the coordinator plans and queues it.
    std::lock_guard<std::mutex> lock(run->slotMutex);
    if (run->awaited.Waiting() && run->awaited.Seen(record)) {
        run->slotFreed.notify_all();
    }
}

bool CUpgradeEngine::HasJob(const std::string& mac) const {
    const auto run = CurrentRun();
    return run && run->context->jobs->findJob(mac) != nullptr;
}

std::vector<DeviceInfoPtr> CUpgradeEngine::AwaitedDevices() const {
    std::vector<DeviceInfoPtr> awaited;
    if (const auto run = CurrentRun()) {
        run->context->jobs->forEachJob([&awaited](const UpgradeInfoPtr& job) {
            if (job->waitingForDevice.load() && !job->finished.load()) {
                awaited.push_back(job->Device());
            }
            return true;
        });
    }
    return awaited;
}

UpgradePackagePtr CUpgradeEngine::Package() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_package;
}

std::string CUpgradeEngine::RunJournalPath() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_journalPath;
}

bool CUpgradeEngine::IsUpgrading() const {
    const BatchState state = State();
    return state == BatchState::Running || state == BatchState::Cancelling;
}

BatchState CUpgradeEngine::State() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_state;
}

std::vector<BatchOutcome> CUpgradeEngine::LastOutcomes() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lastOutcomes;
}

BatchCallResult CUpgradeEngine::CancelAll() {
    std::shared_ptr<CBatchRun> run;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_state != BatchState::Starting && m_state != BatchState::Running) {
            return BatchCallResult::WrongState;
        }
        LOG_INFO("CUpgradeEngine::CancelAll", "cancel of the %s batch", BatchStateName(m_state));
        m_state = BatchState::Cancelling;
        // While it starts there is no run yet: the start sees the state.
        run = m_run;
    }
    m_stateChanged.notify_all();
    if (!run) {
        return BatchCallResult::Done;
    }
    {
        std::lock_guard<std::mutex> guard(run->slotMutex);
        run->cancelled.store(true);
    }
    run->stop.request_stop();
    run->slotFreed.notify_all();
    // Jobs stay in the table until the batch ends, so that every worker is
    // still found and woken here.
    run->context->jobs->forEachJob([](const UpgradeInfoPtr& job) {
        job->Cancel();
        return true;
    });
    return BatchCallResult::Done;
}

BatchCallResult CUpgradeEngine::PauseBatch(bool pause) {
    std::shared_ptr<CBatchRun> run;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_state != BatchState::Running || !m_run) {
            LOG_WARN("CUpgradeEngine::PauseBatch", "batch %s, %s refused", BatchStateName(m_state),
                     pause ? "pause" : "go on");
            return BatchCallResult::WrongState;
        }
        run = m_run;
    }
    {
        // Posted under the lock, so that the messages come in the order
        // of the changes.
        std::lock_guard<std::mutex> lock(run->slotMutex);
        if (run->paused != pause) {
            run->paused = pause;
            LOG_INFO("CUpgradeEngine::PauseBatch", "batch %s", pause ? "paused" : "goes on");
            if (m_sink) {
                m_sink->PostMessage(MakeTextMessage(
                    WM_BATCH_PAUSED, pause ? BATCH_PAUSED : BATCH_GOES_ON, std::string()));
            }
        }
    }
    run->slotFreed.notify_all();
    return BatchCallResult::Done;
}

bool CUpgradeEngine::IsPaused() const {
    const auto run = CurrentRun();
    if (!run) {
        return false;
    }
    std::lock_guard<std::mutex> lock(run->slotMutex);
    return run->paused;
}

bool CUpgradeEngine::WaitForBatchEnd(int timeoutMs) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto ended = [this] {
            return m_state == BatchState::Idle || m_state == BatchState::Ended;
        };
        if (timeoutMs < 0) {
            m_stateChanged.wait(lock, ended);
        } else if (!m_stateChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended)) {
            return false;
        }
    }
    JoinCoordinator();
    return true;
}
