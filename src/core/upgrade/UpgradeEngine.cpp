#include "upgrade/UpgradeEngine.h"

#include <map>
#include <system_error>
#include <thread>

#include "app/Logger.h"
#include "app/StringTable.h"
#include "upgrade/UpgradeProcedure.h"
#include "upgrade/UpgradeResult.h"
#include "upgrade/UpgradeTimings.h"

FH_LOG_SOURCE("FirmhandDlg");

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
        case BatchStartResult::Started:
        case BatchStartResult::DuplicatesDeclined:
            break;
    }
    return 0;
}

CUpgradeEngine::CUpgradeEngine(MessageSinkPtr sink, UpgradeClientFactory factory)
    : m_sink(std::move(sink)), m_factory(std::move(factory)) {}

CUpgradeEngine::~CUpgradeEngine() {
    CancelAll();
}

void CUpgradeEngine::SetReachability(std::shared_ptr<IReachability> reachability) {
    m_reachability = std::move(reachability);
}

BatchStartResult CUpgradeEngine::StartBatch(const BatchRequest& request) {
    if (m_upgrading) {
        return BatchStartResult::AlreadyRunning;
    }
    if (request.packagePath.empty()) {
        return BatchStartResult::NoPackage;
    }
    m_jobs->cancelAllJobs();

    // Slave address text -> MACs of the rows that carry it.
    std::map<std::string, std::vector<std::string>> slaveAddresses;
    const UpgradeTimings timings = GetUpgradeTimings();
    for (const DeviceInfoPtr& record : request.devices) {
        if (!record) {
            continue;
        }
        uint32_t deviceAddress = 0;
        uint32_t addedAddress = 0;
        if (m_reachability &&
            m_reachability->MakeDeviceReachable(*record, deviceAddress, addedAddress, true)) {
            WaitForLocalAddress(*m_reachability, addedAddress,
                                static_cast<int>(timings.localAddressPolls), 100);
        }
        auto job = std::make_shared<UpgradeInfo>(std::make_shared<DEVICE_S_INFO>(*record));
        job->owner = this;
        m_jobs->addJob(job);
        slaveAddresses[record->ip2].push_back(record->mac);
    }

    const size_t count = m_jobs->jobCount();
    if (count == 0) {
        return BatchStartResult::NoDevice;
    }
    if (count > kMaxBatchDevices) {
        return BatchStartResult::TooManyDevices;
    }
    std::vector<std::string> duplicateMacs;
    for (const auto& [address, macs] : slaveAddresses) {
        if (macs.size() > 1) {
            duplicateMacs.insert(duplicateMacs.end(), macs.begin(), macs.end());
        }
    }
    if (!duplicateMacs.empty() && request.confirmDuplicates &&
        !request.confirmDuplicates(duplicateMacs)) {
        return BatchStartResult::DuplicatesDeclined;
    }

    m_package.reset();
    LOG_INFO("CFirmhandDlg::OnBnClickedButtonUpdate",
             "upgrade package, file: %s, selectedCount: %d", request.packagePath.c_str(),
             static_cast<int>(count));
    auto package = std::make_shared<CUpgradePackage>();
    if (!package->Load(request.packagePath)) {
        return BatchStartResult::OpenFailed;
    }
    m_package = package;

    auto context = std::make_shared<CBatchContext>();
    context->package = m_package;
    context->user = request.user;
    context->password = request.password;
    context->sink = m_sink;
    context->jobs = m_jobs;
    context->clientFactory = m_factory;
    context->runningWorkers = m_runningWorkers;

    m_upgrading = true;
    m_finalResults.clear();
    // A worker that cannot start ends its job and every later one with
    // result 1, so the batch still ends.
    bool startFailed = false;
    m_jobs->forEachJob([&](const UpgradeInfoPtr& job) {
        if (!startFailed && StartWorker(context, job)) {
            return true;
        }
        startFailed = true;
        job->finished.store(true);
        if (const DeviceInfoPtr record = job->Device(); record && m_sink) {
            m_sink->PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, UPGRADE_FAILED, record->mac));
        }
        return true;
    });
    return BatchStartResult::Started;
}

bool CUpgradeEngine::StartWorker(const BatchContextPtr& context, const UpgradeInfoPtr& job) {
    context->runningWorkers->fetch_add(1);
    try {
        // Workers end by themselves; they hold what they use by shared pointer.
        std::thread([context, job] {
            if (job->owner != nullptr) {
                upgradeDevice(context, job);
            }
            context->runningWorkers->fetch_sub(1);
        }).detach();
        return true;
    } catch (const std::system_error& error) {
        context->runningWorkers->fetch_sub(1);
        LOG_ERROR("CFirmhandDlg::StartUpgradeThread", "_beginthread failed %d",
                  error.code().value());
        return false;
    }
}

void CUpgradeEngine::OnSearchReport(int notifyKind, const DEVICE_S_INFO& record) {
    m_jobs->OnSearchReport(notifyKind, record);
}

bool CUpgradeEngine::OnUpgradeResult(int code, const std::string& mac) {
    if (!m_upgrading) {
        return false;
    }
    if (!IsIntermediateResult(code)) {
        m_finalResults.insert(mac);
    }
    bool allReported = true;
    m_jobs->forEachJob([&](const UpgradeInfoPtr& job) {
        const DeviceInfoPtr record = job->Device();
        allReported = job->finished.load() && record && m_finalResults.count(record->mac) > 0;
        return allReported;
    });
    if (!allReported) {
        return false;
    }
    m_upgrading = false;
    m_finalResults.clear();
    m_jobs->cancelAllJobs();
    return true;
}

bool CUpgradeEngine::HasJob(const std::string& mac) const {
    return m_jobs->findJob(mac) != nullptr;
}

void CUpgradeEngine::CancelAll() {
    m_jobs->cancelAllJobs();
}

bool CUpgradeEngine::WaitForWorkers(int timeoutMs) const {
    const uint32_t start = PUB_GetTickCount();
    while (m_runningWorkers->load() > 0) {
        if (timeoutMs >= 0 && PUB_TicksSince(start) > static_cast<uint32_t>(timeoutMs)) {
            return false;
        }
        PUB_Sleep(5);
    }
    return true;
}
