#include "upgrade/UpgradeEngine.h"

#include <functional>
#include <system_error>
#include <utility>

#include "app/Logger.h"
#include "model/RunsFolder.h"
#include "platform/Paths.h"
#include "upgrade/BatchCoordinator.h"
#include "upgrade/BatchRun.h"
#include "upgrade/RunJournal.h"

FH_LOG_SOURCE("UpgradeEngine");

CUpgradeEngine::CUpgradeEngine(MessageSinkPtr sink, ENGINE_OPTIONS options)
    : m_sink(std::move(sink)),
      m_options(std::move(options)),
      m_planner({m_options.settings, m_options.cameraLockFolder, m_options.currentRecord}) {}

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

BatchStartResult CUpgradeEngine::DryRun(const BatchRequest& request,
                                        std::vector<CameraPlan>& plans) {
    BatchPlan plan = m_planner.PlanDryRun(request);
    m_refusalDetail = std::move(plan.refusalDetail);
    plans = std::move(plan.cameras);
    return plan.result;
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
    BatchPlan plan = m_planner.PlanStart(request);
    m_refusalDetail = plan.refusalDetail;
    if (plan.result != BatchStartResult::Started) {
        return plan.result;
    }
    {
        // Shut down while it decided (a stop from within its question): no
        // journal is begun for a batch that will not run.
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_shutDown) {
            return BatchStartResult::ThreadFailed;
        }
    }
    auto context = std::make_shared<CBatchContext>();
    context->user = request.user;
    context->password = request.password;
    context->settings = m_options.settings;
    context->timings = m_options.timings;
    context->sink = m_sink;
    context->jobs = std::make_shared<CUpgradeJobTable>();
    context->clientFactory = m_options.clientFactory;
    context->cameraLockFolder = m_options.cameraLockFolder;
    context->journal = OpenJournal(plan);
    auto run = std::make_shared<CBatchRun>(std::move(plan), std::move(context));
    if (run->context->journal) {
        run->journalPath = run->context->journal->Path();
    }
    // The run outlives its workers, the only callers.
    if (request.rememberLogin) {
        run->context->typedLoginAccepted = [raw = run.get()] { raw->TypedLoginAccepted(); };
    }
    return Launch(run);
}

BatchStartResult CUpgradeEngine::Launch(const std::shared_ptr<CBatchRun>& run) {
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
    m_package = run->plan.defaultPackage;
    m_journalPath = run->journalPath;
    try {
        m_coordinator = std::thread([this, run] {
            CBatchCoordinator(
                run, m_sink, m_options.reachability, m_options.currentRecord,
                [this](std::vector<BatchOutcome> outcomes) { EndRun(std::move(outcomes)); })
                .Run();
        });
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

std::shared_ptr<CRunJournal> CUpgradeEngine::OpenJournal(BatchPlan& plan) const {
    std::string error;
    std::unique_ptr<CRunJournal> journal;
    if (plan.resumed) {
        // Kept when this line fails: every later line is checked again, and
        // a camera's last block never leaves unrecorded.
        journal = std::move(plan.resumedJournal);
        journal->Resumed();
    } else {
        const std::string folder = RunsFolderOf(m_options.runsFolder, platform::LocalStateFolder());
        journal = CRunJournal::Create(folder, plan.packages, error);
    }
    if (!journal) {
        // The upgrade matters more than its record; it runs without one.
        LOG_ERROR("CUpgradeEngine::StartBatch", "no run journal, %s", error.c_str());
        return nullptr;
    }
    if (m_options.journalWriteFails) {
        journal->SetWriteFault(m_options.journalWriteFails);
    }
    journal->Hold();
    if (plan.canary > 0) {
        journal->Canary(plan.canary);
    }
    for (size_t i : plan.journalCameras) {
        const CameraPlan& camera = plan.cameras[i];
        journal->Camera(*camera.record, camera.package ? camera.package->Path() : std::string());
    }
    if (plan.awaited.Waiting()) {
        for (const std::string& mac : plan.journalAwaited) {
            journal->Awaited(mac);
        }
        journal->Wait(plan.waitSeconds, plan.waitText);
    }
    journal->Flush();
    LOG_INFO("CUpgradeEngine::StartBatch", "run journal %s", journal->Path().c_str());
    return journal;
}

void CUpgradeEngine::EndRun(std::vector<BatchOutcome> outcomes) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_run.reset();
        m_lastOutcomes = std::move(outcomes);
        m_state = BatchState::Ended;
    }
    m_stateChanged.notify_all();
}

std::shared_ptr<CBatchRun> CUpgradeEngine::CurrentRun() const {
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
