#include "upgrade/UpgradeEngine.h"

#include <map>
#include <set>
#include <system_error>

#include "app/Logger.h"
#include "app/StringTable.h"
#include "upgrade/UpgradeProcedure.h"
#include "upgrade/UpgradeResult.h"

FH_LOG_SOURCE("UpgradeEngine");

// One batch: what its threads share. The coordinator and the workers hold
// it by shared pointer; the engine keeps it while the batch runs.
struct CUpgradeEngine::CBatchRun {
    std::vector<DeviceInfoPtr> devices;
    std::shared_ptr<CBatchContext> context;
    std::atomic<bool> cancelled{false};
    CPUB_Event cancelEvent{true, false};
};

int BatchStartMessageId(BatchStartResult result) {
    switch (result) {
        case BatchStartResult::AlreadyRunning:
            return IDS_UPGRADING_WAIT;
        case BatchStartResult::NoPackage:
            return IDS_SELECT_FILE;
        case BatchStartResult::NoDevice:
            return IDS_SELECT_DEVICE;
        case BatchStartResult::TooManyDevices:
            return IDS_MAX_32;
        case BatchStartResult::OpenFailed:
            return IDS_OPEN_FILE_FAILED;
        case BatchStartResult::PackageInvalid:
            return IDS_PACKAGE_ERROR;
        case BatchStartResult::ThreadFailed:
            return IDS_UPGRADE_FAILED;
        case BatchStartResult::Started:
        case BatchStartResult::DuplicatesDeclined:
            break;
    }
    return 0;
}

CUpgradeEngine::CUpgradeEngine(MessageSinkPtr sink, ENGINE_OPTIONS options)
    : m_sink(std::move(sink)), m_options(std::move(options)) {
    if (!m_options.clientFactory) {
        m_options.clientFactory = DefaultUpgradeClientFactory();
    }
}

CUpgradeEngine::~CUpgradeEngine() {
    CancelAll();
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

BatchStartResult CUpgradeEngine::StartBatch(const BatchRequest& request) {
    m_refusalDetail.clear();
    if (m_upgrading.load()) {
        return BatchStartResult::AlreadyRunning;
    }
    if (request.packagePath.empty()) {
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
    if (devices.empty()) {
        return BatchStartResult::NoDevice;
    }
    if (devices.size() > kMaxBatchDevices) {
        return BatchStartResult::TooManyDevices;
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

    LOG_INFO("CFirmhandDlg::OnBnClickedButtonUpdate",
             "upgrade package, file: %s, selectedCount: %d", request.packagePath.c_str(),
             static_cast<int>(devices.size()));
    auto package = std::make_shared<CUpgradePackage>();
    if (!package->Load(request.packagePath, &m_refusalDetail)) {
        LOG_ERROR("CUpgradeEngine::StartBatch", "package not read, %s", m_refusalDetail.c_str());
        return BatchStartResult::OpenFailed;
    }
    if (const std::string problem = package->Problem(); !problem.empty()) {
        m_refusalDetail = request.packagePath + ": " + problem;
        LOG_ERROR("CUpgradeEngine::StartBatch", "package refused, %s", m_refusalDetail.c_str());
        return BatchStartResult::PackageInvalid;
    }

    auto run = std::make_shared<CBatchRun>();
    run->devices = std::move(devices);
    run->context = std::make_shared<CBatchContext>();
    run->context->package = package;
    run->context->user = request.user;
    run->context->password = request.password;
    run->context->settings = m_options.settings;
    run->context->timings = m_options.timings;
    run->context->sink = m_sink;
    run->context->jobs = std::make_shared<CUpgradeJobTable>();
    run->context->clientFactory = m_options.clientFactory;
    run->context->cameraLockFolder = m_options.cameraLockFolder;

    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_coordinator.joinable()) {
        // The previous batch has posted its end; its thread is about to return.
        m_coordinator.join();
    }
    m_package = package;
    m_run = run;
    m_ended.Reset();
    m_upgrading.store(true);
    try {
        m_coordinator = std::thread([this, run] { RunBatch(run); });
    } catch (const std::system_error& error) {
        LOG_ERROR("CUpgradeEngine::StartBatch", "batch thread not started %d",
                  error.code().value());
        m_run.reset();
        m_upgrading.store(false);
        m_ended.Set();
        return BatchStartResult::ThreadFailed;
    }
    return BatchStartResult::Started;
}

void CUpgradeEngine::PostReachNotice() {
    if (!m_options.reachability || !m_sink) {
        return;
    }
    if (std::string notice = m_options.reachability->TakeNotice(); !notice.empty()) {
        m_sink->PostMessage(MakeTextMessage(WM_REACH_NOTICE, 0, std::move(notice)));
    }
}

void CUpgradeEngine::RunBatch(const std::shared_ptr<CBatchRun>& run) {
    CBatchContext& context = *run->context;
    int prepared = 0;
    for (const DeviceInfoPtr& record : run->devices) {
        if (run->cancelled.load()) {
            LOG_WARN("CUpgradeEngine::RunBatch", "batch cancelled, %d of %d cameras prepared",
                     prepared, static_cast<int>(run->devices.size()));
            break;
        }
        uint32_t deviceAddress = 0;
        uint32_t addedAddress = 0;
        if (m_options.reachability && m_options.reachability->MakeDeviceReachable(
                                          *record, deviceAddress, addedAddress, true)) {
            WaitForLocalAddress(*m_options.reachability, addedAddress,
                                static_cast<int>(context.timings.localAddressPolls), 100,
                                &run->cancelEvent);
        }
        PostReachNotice();
        context.jobs->addJob(std::make_shared<UpgradeInfo>(record));
        ++prepared;
        if (m_sink) {
            m_sink->PostMessage(MakeTextMessage(WM_BATCH_PREPARED, prepared, record->mac));
        }
    }

    std::vector<std::thread> workers;
    if (!run->cancelled.load()) {
        StartWorkers(run, workers);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    const int jobs = static_cast<int>(context.jobs->jobCount());
    context.jobs->cancelAllJobs();
    LOG_INFO("CUpgradeEngine::RunBatch", "batch ended, %d jobs", jobs);
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_run.reset();
    }
    m_upgrading.store(false);
    // Every worker posted its final result before it returned.
    if (m_sink) {
        m_sink->PostMessage(MakeTextMessage(WM_BATCH_END, jobs, std::string()));
    }
    m_ended.Set();
}

void CUpgradeEngine::StartWorkers(const std::shared_ptr<CBatchRun>& run,
                                  std::vector<std::thread>& workers) {
    const BatchContextPtr context = run->context;
    // A worker that cannot start ends its job and every later one with
    // result 1, so the batch still ends.
    bool startFailed = false;
    context->jobs->forEachJob([&](const UpgradeInfoPtr& job) {
        if (!startFailed) {
            try {
                workers.emplace_back([context, job] { upgradeDevice(context, job); });
                return true;
            } catch (const std::system_error& error) {
                LOG_ERROR("CUpgradeEngine::StartWorkers", "_beginthread failed %d",
                          error.code().value());
                startFailed = true;
            }
        }
        job->finished.store(true);
        if (const DeviceInfoPtr record = job->Device(); record && m_sink) {
            m_sink->PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, UPGRADE_FAILED, record->mac));
        }
        return true;
    });
}

std::shared_ptr<CUpgradeEngine::CBatchRun> CUpgradeEngine::CurrentRun() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_run;
}

void CUpgradeEngine::OnSearchReport(int notifyKind, const DEVICE_S_INFO& record) {
    if (const auto run = CurrentRun()) {
        run->context->jobs->OnSearchReport(notifyKind, record);
    }
}

bool CUpgradeEngine::HasJob(const std::string& mac) const {
    const auto run = CurrentRun();
    return run && run->context->jobs->findJob(mac) != nullptr;
}

UpgradePackagePtr CUpgradeEngine::Package() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_package;
}

void CUpgradeEngine::CancelAll() {
    const auto run = CurrentRun();
    if (!run) {
        return;
    }
    run->cancelled.store(true);
    run->cancelEvent.Set();
    // Jobs stay in the table until the batch ends, so that every worker is
    // still found and woken here.
    run->context->jobs->forEachJob([](const UpgradeInfoPtr& job) {
        job->Cancel();
        return true;
    });
}

bool CUpgradeEngine::WaitForBatchEnd(int timeoutMs) {
    if (!m_ended.Wait(timeoutMs)) {
        return false;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_coordinator.joinable() && !m_upgrading.load()) {
        m_coordinator.join();
    }
    return true;
}
