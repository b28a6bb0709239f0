// The batch upgrade run: checks the technician's choice, builds one job per
// checked camera, reads the package once, and starts one worker per job.
// Every method runs on the front-end's thread (the window thread, or the
// CLI's main loop); workers reach the front-end only through the sink.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/MessageSink.h"
#include "reach/Reachability.h"
#include "upgrade/UpgradeContext.h"

// Why a batch did not start, each with the message the front-end shows.
enum class BatchStartResult {
    Started,
    AlreadyRunning,      // 1005 "Upgrading, Please wait...."
    NoPackage,           // 1026 "Please select the upgrade file!"
    NoDevice,            // 1027 "Please select at least one device!"
    TooManyDevices,      // 1047 "Batch update supports maximum 32 pieces ..."
    DuplicatesDeclined,  // the technician did not confirm 1071
    OpenFailed,          // 1018 "Failed to open the file!"
};

// The string id of the message box for a refusal; 0 for Started and
// DuplicatesDeclined.
int BatchStartMessageId(BatchStartResult result);

constexpr size_t kMaxBatchDevices = 32;

struct BatchRequest {
    // Records of the checked rows, in list order.
    std::vector<DeviceInfoPtr> devices;
    std::string packagePath;
    std::string user;
    std::string password;
    // Asked when slave addresses repeat, with the MACs of the rows that share
    // one; true continues. Without it the batch continues.
    std::function<bool(const std::vector<std::string>& duplicateMacs)> confirmDuplicates;
};

class CUpgradeEngine {
public:
    explicit CUpgradeEngine(MessageSinkPtr sink,
                            UpgradeClientFactory factory = DefaultUpgradeClientFactory());
    ~CUpgradeEngine();
    CUpgradeEngine(const CUpgradeEngine&) = delete;
    CUpgradeEngine& operator=(const CUpgradeEngine&) = delete;

    // Makes each checked camera reachable before its job is built (no
    // reachability: cameras are taken as they are).
    void SetReachability(std::shared_ptr<IReachability> reachability);

    BatchStartResult StartBatch(const BatchRequest& request);
    bool IsUpgrading() const { return m_upgrading; }

    // The front-end calls this from its handler of WM_DEVICE_NOTIFY.
    void OnSearchReport(int notifyKind, const DEVICE_S_INFO& record);
    // The front-end calls this from its handler of WM_UPGRADE_RESULT, after
    // showing the text. True when that result ended the batch: every job is
    // finished and the front-end has handled every job's final result (a
    // worker marks its job finished just before it posts, so another
    // worker's final result may arrive first). The job table is then empty
    // and the controls may be unlocked.
    bool OnUpgradeResult(int code, const std::string& mac);

    bool HasJob(const std::string& mac) const;
    const CUpgradeJobTable& Jobs() const { return *m_jobs; }
    // The package of the last started batch (null before the first).
    UpgradePackagePtr Package() const { return m_package; }

    // Sets `cancelled` on every job and empties the table (window closing).
    void CancelAll();
    // Waits up to `timeoutMs` for every worker ever started to end.
    bool WaitForWorkers(int timeoutMs) const;
    int RunningWorkers() const { return m_runningWorkers->load(); }

private:
    bool StartWorker(const BatchContextPtr& context, const UpgradeInfoPtr& job);

    MessageSinkPtr m_sink;
    UpgradeClientFactory m_factory;
    std::shared_ptr<IReachability> m_reachability;
    std::shared_ptr<CUpgradeJobTable> m_jobs = std::make_shared<CUpgradeJobTable>();
    std::shared_ptr<std::atomic<int>> m_runningWorkers = std::make_shared<std::atomic<int>>(0);
    UpgradePackagePtr m_package;
    bool m_upgrading = false;
    // MACs whose final result the front-end has handled in this batch.
    std::set<std::string> m_finalResults;
};
