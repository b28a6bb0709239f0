// The work of a running batch's coordinator: it queues the planned cameras
// (skipped and finished ones end at once), posts the awaited ones as
// waiting and plans those the search finds, starts queued cameras as the
// schedule allows (canaries, pause, "MaxParallelUpgrades", the failure
// limit), each made reachable and run by a worker of its own, ends what
// never started and closes the run.
//
// Threads: one object per batch, made and run on the batch's coordinator
// thread (which the engine starts and joins). It starts every worker and
// joins each as soon as it ends, all of them before Run returns; a worker
// touches only the shared CBatchRun. Every wait here ends at a cancel
// (the run's `cancelled` flag and `slotFreed`, its stop source).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/MessageSink.h"
#include "reach/Reachability.h"
#include "upgrade/BatchRun.h"
#include "upgrade/BatchTypes.h"

struct JOURNAL_CAMERA;

class CBatchCoordinator {
public:
    // Told once every worker was joined, with each camera's final result
    // in the order of the request, just before WM_BATCH_END is posted.
    using EndedHandler = std::function<void(std::vector<BatchOutcome> outcomes)>;

    CBatchCoordinator(std::shared_ptr<CBatchRun> run, MessageSinkPtr sink,
                      std::shared_ptr<IReachability> reachability,
                      std::function<DeviceInfoPtr(const std::string& mac)> currentRecord,
                      EndedHandler ended);
    CBatchCoordinator(const CBatchCoordinator&) = delete;
    CBatchCoordinator& operator=(const CBatchCoordinator&) = delete;

    // The whole batch: queue, wait, schedule, finish.
    void Run();

private:
    void QueueCameras();
    // One planned camera becomes a job, journaled and posted as queued.
    void EnqueueCamera(const CameraPlan& plan, const JOURNAL_CAMERA* before);
    void ScheduleCameras();
    // Cameras the batch waits for: posted as waiting, the time started;
    // then the ones the search found are planned and queued, the ones
    // still waited for once the time is over end.
    void OpenWait();
    void TakeAwaitedNews();
    void EndAwaited(const std::vector<std::string>& macs, UpgradeResult code);
    // Waits until `ready` holds or the typed credentials are to be
    // remembered; writes them and joins the workers that ended meanwhile.
    // True when `ready` held.
    bool WaitForWorkers(const std::function<bool()>& ready);
    // Ends cameras that never start with `code`, their lines written first.
    void EndUnstarted(const std::vector<size_t>& indexes, UpgradeResult code);
    void FinishBatch();
    // The final result of each camera, in the order of the request (the
    // awaited ones last).
    std::vector<BatchOutcome> Outcomes() const;
    void StartCamera(const UpgradeInfoPtr& job);
    // A worker's end (any thread): its slot is free, its result counted.
    static void EndCamera(CBatchRun& run, const std::string& mac, UpgradeResult code);
    // Hands the reachability's notice, if any, to the sink.
    void PostReachNotice();

    // Posted once their journal lines are on the disk: the lines of many
    // cameras go out together, with one sync.
    void Post(UpgradeResult code, const std::string& mac) {
        m_held.emplace_back(NumberOf(code), mac);
    }
    void Post(UpgradeProgress state, const std::string& mac) {
        m_held.emplace_back(NumberOf(state), mac);
    }
    void Flush();

    std::shared_ptr<CBatchRun> m_run;
    CBatchRun& m_batch;  // *m_run
    CBatchContext& m_context;
    MessageSinkPtr m_sink;
    std::shared_ptr<IReachability> m_reachability;
    std::function<DeviceInfoPtr(const std::string& mac)> m_currentRecord;
    EndedHandler m_ended;

    std::vector<std::pair<int, std::string>> m_held;
    std::vector<UpgradeInfoPtr> m_queue;  // the cameras to upgrade
    std::vector<std::string> m_macs;      // of `m_queue`
    std::vector<size_t> m_pending;        // indexes of `m_queue` not started
    std::map<std::string, std::thread> m_workers;
    bool m_stopped = false;  // by the failure limit
};
