#include "upgrade/BatchPlanner.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "app/Logger.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "model/WaitDuration.h"
#include "upgrade/CameraLock.h"
#include "upgrade/UpgradeResult.h"

// The engine's source name: its log lines read as before the split.
FH_LOG_SOURCE("UpgradeEngine");

namespace {

// What a camera that may be flashing is verified against: the version it
// showed when its interrupted transfer started (else the one before the
// run), at every address the journal and the request know.
DeviceInfoPtr PlannedFlashingFrom(const JOURNAL_CAMERA& before, const DeviceInfoPtr& requested) {
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
struct ResumedPathStep {
    size_t first = 0;
    bool mayBeFlashing = true;
};

ResumedPathStep ResumedPathStepOf(const CameraPlan& plan, const JOURNAL_CAMERA* before) {
    ResumedPathStep resumed{plan.firstStep, true};
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
    const size_t next = last.code == UpgradeResult::Ok ? index + 1 : index;
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

// Cameras with one slave address among them, when any share one.
std::vector<std::string> SharedSlaveAddressMacs(const std::vector<DeviceInfoPtr>& devices) {
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
    return duplicateMacs;
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

CameraPlan BatchPlan::PlanFound(const DeviceInfoPtr& record) const {
    return PlanCamera(record, loaded, force, credentials, user, password);
}

ResumedStart ResumedStartOf(const CameraPlan& plan, const JOURNAL_CAMERA* before) {
    const ResumedPathStep step = ResumedPathStepOf(plan, before);
    ResumedStart start{step.first, nullptr};
    if (before && before->MayBeFlashing() && step.mayBeFlashing) {
        // Verified against the version the camera had before that run,
        // not against what this run happened to find.
        start.mayBeFlashingFrom = PlannedFlashingFrom(*before, plan.record);
    }
    return start;
}

CBatchPlanner::CBatchPlanner(PLANNER_OPTIONS options) : m_options(std::move(options)) {}

BatchPlan CBatchPlanner::PlanStart(const BatchRequest& request) const {
    BatchPlan plan;
    if (!request.resumeRun.empty()) {
        // Ours before it is read: no other process can drive it meanwhile.
        bool busy = false;
        plan.resumedJournal = CRunJournal::Resume(request.resumeRun, plan.refusalDetail, busy);
        if (!plan.resumedJournal) {
            LOG_ERROR("CUpgradeEngine::StartBatch", "batch refused, %s",
                      plan.refusalDetail.c_str());
            plan.result = busy ? BatchStartResult::RunInUse : BatchStartResult::RunUnreadable;
            return plan;
        }
    }
    plan.result = Prepare(request, plan, true);
    // Without a safe folder no camera could be locked: refused as a whole.
    if (plan.result == BatchStartResult::Started &&
        !PrepareCameraLockFolder(m_options.cameraLockFolder, plan.refusalDetail)) {
        LOG_ERROR("CUpgradeEngine::StartBatch", "batch refused, %s", plan.refusalDetail.c_str());
        plan.result = BatchStartResult::LockFolderRefused;
    }
    return plan;
}

BatchPlan CBatchPlanner::PlanDryRun(const BatchRequest& request) const {
    BatchPlan plan;
    plan.result = Prepare(request, plan, false);
    return plan;
}

BatchStartResult CBatchPlanner::Prepare(const BatchRequest& request, BatchPlan& plan,
                                        bool starting) const {
    plan.packages = request.packages;
    if (plan.packages.empty() && !request.packagePath.empty()) {
        plan.packages.push_back({"", request.packagePath});
    }
    if (plan.packages.empty()) {
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
        plan.waitSeconds = std::min(request.waitSeconds, kMaxWaitSeconds);
        plan.waitText = request.waitText;
        for (const std::string& mac : request.awaitedMacs) {
            const bool listed = std::any_of(devices.begin(), devices.end(), [&](const auto& r) {
                return SameMac(FieldString(r->mac), mac);
            });
            if (!listed && CMacAddress::Parse(mac)) {
                plan.awaited.Add(mac);
            }
        }
    }
    if (devices.empty() && !plan.awaited.Waiting()) {
        return BatchStartResult::NoDevice;
    }
    const std::vector<std::string> duplicateMacs = SharedSlaveAddressMacs(devices);
    if (!duplicateMacs.empty() && request.confirmDuplicates &&
        !request.confirmDuplicates(duplicateMacs)) {
        return BatchStartResult::DuplicatesDeclined;
    }
    if (starting) {
        for (const BatchPackage& package : plan.packages) {
            LOG_INFO("CFirmhandDlg::OnBnClickedButtonUpdate",
                     "upgrade package, file: %s, selectedCount: %d", package.path.c_str(),
                     static_cast<int>(devices.size()));
        }
    }
    const BatchStartResult planned = PlanBatch(request, devices, plan);
    if (planned != BatchStartResult::Started) {
        LOG_ERROR("CUpgradeEngine::StartBatch", "batch refused, %s", plan.refusalDetail.c_str());
        return planned;
    }
    PlanRun(request, plan);
    return planned;
}

BatchStartResult CBatchPlanner::PlanBatch(const BatchRequest& request,
                                          const std::vector<DeviceInfoPtr>& devices,
                                          BatchPlan& plan) const {
    bool openFailed = false;
    if (!LoadRolloutPackages(plan.packages, plan.loaded, plan.refusalDetail, openFailed)) {
        return openFailed ? BatchStartResult::OpenFailed : BatchStartResult::PackageInvalid;
    }
    // A camera still awaited may be of any model.
    const bool anyModel = request.waitSeconds > 0 || !request.resumeRun.empty();
    for (const BatchPackage& package : plan.packages) {
        const bool known =
            package.model.empty() || anyModel ||
            std::any_of(devices.begin(), devices.end(), [&](const DeviceInfoPtr& record) {
                return FieldString(record->productModel) == package.model;
            });
        if (!known) {
            plan.refusalDetail =
                "no chosen camera is of model " + package.model + " (" + package.path + ")";
            return BatchStartResult::PackageInvalid;
        }
    }
    if (!request.credentialsFile.empty() &&
        !LoadCredentialsFile(request.credentialsFile, plan.credentials, plan.refusalDetail)) {
        return BatchStartResult::CredentialsInvalid;
    }
    if (!request.resumeRun.empty()) {
        RunSummary summary;
        if (!ReadRunJournal(request.resumeRun, summary, plan.refusalDetail)) {
            return BatchStartResult::RunUnreadable;
        }
        plan.resumed = std::move(summary);
        if (plan.waitSeconds == 0 && plan.resumed->waitSeconds > 0) {
            plan.waitSeconds = plan.resumed->waitSeconds;
            plan.waitText = plan.resumed->waitText;
        }
    }
    plan.user = request.user;
    plan.password = request.password;
    plan.force = request.force;
    for (const DeviceInfoPtr& record : devices) {
        if (IsAwaitedAgain(plan.resumed, plan.waitSeconds, *record, m_options.currentRecord)) {
            plan.awaited.Add(record->mac);
            continue;
        }
        plan.cameras.push_back(plan.PlanFound(record));
    }
    plan.defaultPackage = LoadedPackageForModel(plan.loaded, "");
    if (!plan.defaultPackage) {
        plan.defaultPackage = plan.loaded.front().package;
    }
    return BatchStartResult::Started;
}

void CBatchPlanner::PlanRun(const BatchRequest& request, BatchPlan& plan) const {
    plan.maxFailures = request.maxFailures;
    // A resumed run keeps its rule unless the request sets one.
    plan.canary =
        std::clamp(request.canary > 0 ? request.canary : (plan.resumed ? plan.resumed->canary : 0),
                   0, kMaxCanary);
    plan.parallel = std::clamp(m_options.settings.GetInt(settings::kMaxParallelUpgrades),
                               kMinParallelUpgrades, kMaxParallelUpgrades);
    plan.rememberInSettingsFile = request.rememberInSettingsFile;
    // A resumed run's journal lists its cameras already, an awaited one by
    // its MAC until its record comes.
    for (size_t i = 0; i < plan.cameras.size(); ++i) {
        const JOURNAL_CAMERA* before =
            plan.resumed ? plan.resumed->Find(plan.cameras[i].record->mac) : nullptr;
        if (before == nullptr || before->awaited) {
            plan.journalCameras.push_back(i);
        }
    }
    if (plan.awaited.Waiting()) {
        for (const std::string& mac : plan.awaited.Macs()) {
            if (!plan.resumed || plan.resumed->Find(mac) == nullptr) {
                plan.journalAwaited.push_back(mac);
            }
        }
    }
}
