#include "upgrade/BatchCoordinator.h"

#include <algorithm>
#include <stop_token>
#include <system_error>
#include <utility>

#include "app/Logger.h"
#include "app/RememberedPassword.h"
#include "app/Settings.h"
#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "platform/Pub.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeProcedure.h"
#include "upgrade/UpgradeResult.h"

// The engine's source name: its log lines read as before the split.
FH_LOG_SOURCE("UpgradeEngine");

namespace {

// The credentials that worked are the ones offered next time.
void RememberTypedLogin(const CBatchContext& context, bool inSettingsFile) {
    settings::WriteUserString(settings::kUsername, context.user);
    settings::RememberPassword(context.password, inSettingsFile);
}

}  // namespace

CBatchCoordinator::CBatchCoordinator(
    std::shared_ptr<CBatchRun> run, MessageSinkPtr sink,
    std::shared_ptr<IReachability> reachability,
    std::function<DeviceInfoPtr(const std::string& mac)> currentRecord, EndedHandler ended)
    : m_run(std::move(run)),
      m_batch(*m_run),
      m_context(*m_batch.context),
      m_sink(std::move(sink)),
      m_reachability(std::move(reachability)),
      m_currentRecord(std::move(currentRecord)),
      m_ended(std::move(ended)) {}

void CBatchCoordinator::Run() {
    QueueCameras();
    OpenWait();
    ScheduleCameras();
    FinishBatch();
}

void CBatchCoordinator::Flush() {
    if (m_context.journal) {
        m_context.journal->Flush();
    }
    for (const auto& [code, mac] : m_held) {
        if (m_sink) {
            m_sink->PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, code, mac));
        }
    }
    m_held.clear();
}

void CBatchCoordinator::PostReachNotice() {
    if (!m_reachability || !m_sink) {
        return;
    }
    if (std::string notice = m_reachability->TakeNotice(); !notice.empty()) {
        m_sink->PostMessage(MakeTextMessage(WM_REACH_NOTICE, 0, std::move(notice)));
    }
}

// Skipped cameras and those a resumed run had finished end at once; the rest
// are queued, every one a job from now on (search reports keep their
// records current while they wait).
void CBatchCoordinator::QueueCameras() {
    CBatchRun& run = m_batch;
    if (m_context.journal) {
        m_context.journal->Hold();
    }
    // A model whose cameras the earlier run (of a resumed one) upgraded
    // needs that many canaries less.
    std::map<std::string, int> proven;
    if (run.plan.canary > 0 && run.plan.resumed) {
        for (const JOURNAL_CAMERA& camera : run.plan.resumed->cameras) {
            if (camera.Done() && camera.code == UpgradeResult::Ok) {
                ++proven[camera.model];
            }
        }
    }
    // No worker runs yet: the schedule is the coordinator's until the first starts.
    run.canaries.emplace(run.plan.canary, std::move(proven));
    for (const CameraPlan& plan : run.plan.cameras) {
        const std::string mac = plan.record->mac;
        const JOURNAL_CAMERA* before = run.plan.resumed ? run.plan.resumed->Find(mac) : nullptr;
        if (before && before->Done()) {
            run.NoteOutcome(mac, *before->code);
            Post(*before->code, mac);
            continue;
        }
        if (plan.skipCode) {
            if (m_context.journal) {
                m_context.journal->Result(mac, *plan.skipCode);
            }
            run.NoteOutcome(mac, *plan.skipCode);
            Post(*plan.skipCode, mac);
            continue;
        }
        EnqueueCamera(plan, before);
    }
    run.toUpgrade = static_cast<int>(m_queue.size());
    Flush();
}

// The cameras the batch waits for show as such; the time starts now.
void CBatchCoordinator::OpenWait() {
    CBatchRun& run = m_batch;
    std::vector<std::string> waiting;
    {
        // Found since the request was made: queued at the first look.
        std::lock_guard<std::mutex> lock(run.slotMutex);
        for (const std::string& mac : run.awaited.Macs()) {
            const DeviceInfoPtr found = m_currentRecord ? m_currentRecord(mac) : nullptr;
            if (!found || !run.awaited.Seen(*found)) {
                waiting.push_back(mac);
            }
        }
        run.awaited.Open(run.plan.waitSeconds, run.plan.waitText, CAwaitedCameras::Clock::now());
    }
    for (const std::string& mac : waiting) {
        Post(UpgradeProgress::WaitingToBeFound, mac);
    }
    if (!waiting.empty()) {
        LOG_INFO("CUpgradeEngine::RunBatch", "waiting %d s for %d cameras, mac: %s",
                 run.plan.waitSeconds, static_cast<int>(waiting.size()), waiting.front().c_str());
    }
    Flush();
}

void CBatchCoordinator::EnqueueCamera(const CameraPlan& plan, const JOURNAL_CAMERA* before) {
    CBatchRun& run = m_batch;
    const std::string mac = plan.record->mac;
    std::shared_ptr<UpgradeInfo> job;
    {
        // A camera may have come back from a reboot since the request
        // was made, and the search reports that only once: the job
        // starts from the newest record.
        std::lock_guard<std::mutex> lock(run.reportsMutex);
        DeviceInfoPtr newest = m_currentRecord ? m_currentRecord(mac) : nullptr;
        job = std::make_shared<UpgradeInfo>(newest ? newest : plan.record);
        job->package = plan.package;
        job->credentials = plan.credentials;
        const ResumedStart start = ResumedStartOf(plan, before);
        if (plan.path.size() > 1) {
            job->path = plan.path;
            job->firstStep = start.firstStep;
        }
        job->mayBeFlashingFrom = start.mayBeFlashingFrom;
        m_context.jobs->addJob(job);
    }
    bool waits = false;
    {
        // Workers may run already (a camera found late): their ends change
        // the schedule under this lock.
        std::lock_guard<std::mutex> lock(run.slotMutex);
        waits = run.canaries->Queue(mac, FieldString(plan.record->productModel));
    }
    if (m_context.journal) {
        m_context.journal->Step(mac, "queued");
    }
    Post(waits ? UpgradeProgress::CanaryWait : UpgradeProgress::Queued, mac);
    m_pending.push_back(m_queue.size());
    m_queue.push_back(job);
    m_macs.push_back(mac);
}

void CBatchCoordinator::TakeAwaitedNews() {
    CBatchRun& run = m_batch;
    std::vector<DeviceInfoPtr> seen;
    std::vector<std::string> expired;
    {
        std::lock_guard<std::mutex> lock(run.slotMutex);
        seen = run.awaited.TakeSeen();
        expired = run.awaited.TakeExpired(CAwaitedCameras::Clock::now());
    }
    if (m_context.journal) {
        m_context.journal->Hold();
    }
    for (const DeviceInfoPtr& record : seen) {
        // Planned by the rules every camera of the batch was.
        const CameraPlan plan = run.plan.PlanFound(record);
        LOG_INFO("CUpgradeEngine::RunBatch", "awaited camera found, mac: %s", record->mac);
        if (m_context.journal) {
            m_context.journal->Camera(*record, plan.package ? plan.package->Path() : std::string());
        }
        if (plan.skipCode) {
            if (m_context.journal) {
                m_context.journal->Result(record->mac, *plan.skipCode);
            }
            run.NoteOutcome(record->mac, *plan.skipCode);
            Post(*plan.skipCode, record->mac);
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(run.slotMutex);
            ++run.toUpgrade;
        }
        EnqueueCamera(plan, run.plan.resumed ? run.plan.resumed->Find(record->mac) : nullptr);
    }
    Flush();
    if (!expired.empty()) {
        LOG_WARN("CUpgradeEngine::RunBatch", "%d cameras not found within %s, mac: %s",
                 static_cast<int>(expired.size()), run.plan.waitText.c_str(),
                 expired.front().c_str());
        EndAwaited(expired, UpgradeResult::NotFoundInTime);
    }
}

void CBatchCoordinator::EndAwaited(const std::vector<std::string>& macs, UpgradeResult code) {
    if (m_context.journal) {
        m_context.journal->Hold();
    }
    for (const std::string& mac : macs) {
        if (m_context.journal) {
            m_context.journal->Result(mac, code);
        }
        m_batch.NoteOutcome(mac, code);
        Post(code, mac);
    }
    Flush();
}

bool CBatchCoordinator::WaitForWorkers(const std::function<bool()>& ready) {
    CBatchRun& run = m_batch;
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
        RememberTypedLogin(m_context, run.plan.rememberInSettingsFile);
    }
    for (const std::string& mac : ended) {
        if (auto it = m_workers.find(mac); it != m_workers.end()) {
            it->second.join();
            m_workers.erase(it);
        }
    }
    return isReady;
}

void CBatchCoordinator::EndUnstarted(const std::vector<size_t>& indexes, UpgradeResult code) {
    if (m_context.journal) {
        m_context.journal->Hold();
    }
    for (size_t i : indexes) {
        m_queue[i]->finished.store(true);
        if (m_context.journal) {
            m_context.journal->Result(m_macs[i], code);
        }
        m_batch.NoteOutcome(m_macs[i], code);
        Post(code, m_macs[i]);
    }
    Flush();
}

void CBatchCoordinator::ScheduleCameras() {
    CBatchRun& run = m_batch;
    const auto awaiting = [&] {
        std::lock_guard<std::mutex> lock(run.slotMutex);
        return run.awaited.Waiting() || run.awaited.HasNews(CAwaitedCameras::Clock::now());
    };
    while (!m_pending.empty() || awaiting()) {
        // Decided under slotMutex, as the workers' ends change it.
        CCanarySchedule::Step step;
        bool news = false;
        const auto decide = [&] {
            news = run.awaited.HasNews(CAwaitedCameras::Clock::now());
            step = run.canaries->Next(m_pending, !run.paused && run.inFlight < run.plan.parallel);
            return news || step.Any() || run.cancelled.load();
        };
        if (!WaitForWorkers(decide)) {
            continue;
        }
        if (news && !run.cancelled.load()) {
            TakeAwaitedNews();
            continue;
        }
        if (!step.heldBack.empty()) {
            LOG_WARN("CUpgradeEngine::RunBatch", "canary failed, %d cameras not started, mac: %s",
                     static_cast<int>(step.heldBack.size()), m_macs[step.heldBack.front()].c_str());
            EndUnstarted(step.heldBack, UpgradeResult::CanaryFailed);
            std::erase_if(m_pending, [&](size_t i) {
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
                Post(UpgradeProgress::Queued, m_macs[i]);
            }
            Flush();
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(run.slotMutex);
            m_stopped = run.plan.maxFailures.IsPassed(run.failed, run.toUpgrade);
        }
        if (run.cancelled.load() || m_stopped || !step.start) {
            break;
        }
        StartCamera(m_queue[*step.start]);
        std::erase(m_pending, *step.start);
    }
}

void CBatchCoordinator::FinishBatch() {
    CBatchRun& run = m_batch;
    if (!m_pending.empty()) {
        const UpgradeResult code =
            run.cancelled.load() ? UpgradeResult::Cancelled : UpgradeResult::NotStarted;
        LOG_WARN("CUpgradeEngine::RunBatch", "%s, %d failed, %d cameras not started",
                 m_stopped ? "rollout stopped" : "batch cancelled", run.failed,
                 static_cast<int>(m_pending.size()));
        EndUnstarted(m_pending, code);
    }
    std::vector<std::string> awaited;
    {
        std::lock_guard<std::mutex> lock(run.slotMutex);
        awaited = run.awaited.TakeAll();
    }
    if (!awaited.empty()) {
        // Never found, never started: taken up again by a resumed run.
        EndAwaited(awaited,
                   run.cancelled.load() ? UpgradeResult::Cancelled : UpgradeResult::NotStarted);
    }
    while (!WaitForWorkers([&] { return run.inFlight == 0; })) {
    }
    for (auto& [mac, worker] : m_workers) {
        worker.join();
    }
    const int cameras = static_cast<int>(run.plan.cameras.size() + run.awaited.Macs().size());
    m_context.jobs->cancelAllJobs();
    // A cancelled run, one stopped by the failure limit and one whose
    // canary failed stay open: a later run may resume their cameras that
    // were not started.
    if (m_context.journal && !run.cancelled.load() && !m_stopped && !run.canaries->AnyFailed()) {
        m_context.journal->End();
    }
    // Every worker is joined: the run's lock goes before the batch's end is
    // posted, so that a resume started on that message finds it free.
    m_context.journal.reset();
    LOG_INFO("CUpgradeEngine::RunBatch", "batch ended, %d cameras, %d failed", cameras, run.failed);
    m_ended(Outcomes());
    // The workers' buffers and links are gone by now.
    PUB_ReleaseFreeMemory();
    // Every worker posted its final result before it returned.
    if (m_sink) {
        m_sink->PostMessage(MakeTextMessage(WM_BATCH_END, cameras, std::string()));
    }
}

void CBatchCoordinator::StartCamera(const UpgradeInfoPtr& job) {
    const std::shared_ptr<CBatchRun>& run = m_run;
    const DeviceInfoPtr record = job->Device();
    const std::string mac = record->mac;
    uint32_t deviceAddress = 0;
    uint32_t addedAddress = 0;
    const std::stop_token stop = run->stop.get_token();
    // Cancelled here, the job still starts: it is cancelled too and ends
    // "Cancelled" at once, with its result posted like any other.
    if (m_reachability &&
        m_reachability->MakeDeviceReachable(*record, deviceAddress, addedAddress, true, stop)) {
        WaitForLocalAddress(*m_reachability, addedAddress,
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
        m_workers.emplace(mac, std::thread([run, jobContext, job, mac] {
                              EndCamera(*run, mac, upgradeDevice(jobContext, job));
                          }));
    } catch (const std::system_error& error) {
        LOG_ERROR("CUpgradeEngine::StartCamera", "_beginthread failed %d", error.code().value());
        job->finished.store(true);
        {
            std::lock_guard<std::mutex> lock(run->slotMutex);
            run->canaries->Ended(mac, UpgradeResult::Failed);
        }
        if (run->context->journal) {
            run->context->journal->Result(mac, UpgradeResult::Failed);
        }
        run->NoteOutcome(mac, UpgradeResult::Failed);
        if (m_sink) {
            m_sink->PostMessage(
                MakeTextMessage(WM_UPGRADE_RESULT, NumberOf(UpgradeResult::Failed), mac));
        }
        EndCamera(*run, std::string(), UpgradeResult::Failed);
    }
}

void CBatchCoordinator::EndCamera(CBatchRun& run, const std::string& mac, UpgradeResult code) {
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

std::vector<BatchOutcome> CBatchCoordinator::Outcomes() const {
    CBatchRun& run = m_batch;
    std::vector<BatchOutcome> outcomes;
    {
        std::lock_guard<std::mutex> lock(run.slotMutex);
        for (const CameraPlan& plan : run.plan.cameras) {
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
    return outcomes;
}
