// The attempt loop of one job, its wait for upgrade mode, and the decision
// after the camera came back.
#include <algorithm>
#include <cstring>
#include <utility>
#include <variant>
#include <vector>

#include "app/Logger.h"
#include "app/Settings.h"
#include "app/WindowMessages.h"
#include "net/ProbeTcpPort.h"
#include "upgrade/CameraLock.h"
#include "upgrade/DeviceWaits.h"
#include "upgrade/LoginModeSignal.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeProcedure.h"
#include "upgrade/UpgradeResult.h"
#include "upgrade/UpgradeTimings.h"

FH_LOG_SOURCE("FirmhandDlg");

namespace {

constexpr const char* kJobFunc = "CFirmhandDlg::upgradeDevice";

void PostResult(const CBatchContext& context, UpgradeResult result, const std::string& mac) {
    if (context.sink) {
        context.sink->PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, NumberOf(result), mac));
    }
}

void PostState(const CBatchContext& context, UpgradeProgress state, const std::string& mac) {
    if (context.sink) {
        context.sink->PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, NumberOf(state), mac));
    }
}

// The final result an attempt ended with; "Upgrade failed" for a state or
// a login-mode signal, which are no result to show.
UpgradeResult FinalResultOf(const AttemptResult& r) {
    const UpgradeResult* result = std::get_if<UpgradeResult>(&r);
    return result != nullptr ? *result : UpgradeResult::Failed;
}

// The address of this attempt: the fixed one from the settings, else the
// slave address when it answers, else the main address.
std::string ChooseAddress(const CBatchContext& context, const DEVICE_S_INFO& record,
                          uint16_t port) {
    const std::string fixed = context.settings.GetString(settings::kUpgradeDeviceIp);
    if (!fixed.empty()) {
        return fixed;
    }
    if (record.ip2[0] != '\0' && ProbeTcpPort(record.ip2, port, context.timings.addressProbeMs)) {
        return record.ip2;
    }
    return record.ip;
}

// True when the camera that came back counts as upgraded.
bool IsUpgraded(const DEVICE_S_INFO& oldRecord, const DEVICE_S_INFO& newRecord,
                const std::string& packageFileName) {
    if (std::memcmp(oldRecord.softwareVer, newRecord.softwareVer, sizeof(oldRecord.softwareVer)) !=
            0 ||
        oldRecord.build != newRecord.build) {
        return true;
    }
    if (newRecord.softwareVer[0] != '\0' &&
        packageFileName.find(newRecord.softwareVer) != std::string::npos) {
        return true;
    }
    return packageFileName.find(std::to_string(newRecord.build)) != std::string::npos;
}

// After the last block: wait for the camera to flash, reboot and come back.
UpgradeResult CompleteUpgrade(const CBatchContext& context, const UpgradeInfoPtr& job,
                              const DeviceInfoPtr& oldRecord, const std::string& mac,
                              const std::string& ip, uint16_t port, const AttemptResult& r) {
    waitDeviceOffline(context, job, mac, ip, port, oldRecord);
    PostState(context, UpgradeProgress::WaitComplete, mac);
    const int w = waitDeviceReboot(context, job, oldRecord);
    if (w == REBOOT_VERSION_CHANGED) {
        return UpgradeResult::Ok;
    }
    if (w == REBOOT_CANCELLED) {
        return UpgradeResult::Failed;
    }
    const DeviceInfoPtr current = job->Device();
    if (!current) {
        LOG_ERROR(kJobFunc, "invalid device info, mac: %s", mac.c_str());
        return FinalResultOf(r);
    }
    LOG_INFO(kJobFunc, "mac: %s, oldVersion: %s.%d, currentVersion: %s.%d", mac.c_str(),
             oldRecord->softwareVer, oldRecord->build, current->softwareVer, current->build);
    // A camera never found again has not shown any version: that is a
    // time-out, whatever the package's file name says.
    if (w == REBOOT_TIMEOUT) {
        return UpgradeResult::Timeout;
    }
    if (IsUpgraded(*oldRecord, *current, context.package->FileName())) {
        return UpgradeResult::Ok;
    }
    if (r == AttemptResult{UpgradeProgress::WaitComplete} || w == REBOOT_SAME_VERSION) {
        return UpgradeResult::VersionUnchanged;
    }
    return FinalResultOf(r);
}

bool VersionDiffers(const DEVICE_S_INFO& a, const DEVICE_S_INFO& b) {
    return std::memcmp(a.softwareVer, b.softwareVer, sizeof(a.softwareVer)) != 0 ||
           a.build != b.build;
}

// Every address the camera may answer at: the fixed one of the settings,
// and the main and slave addresses of its current and journaled records.
std::vector<std::string> ReachedAddresses(const CBatchContext& context, const DeviceInfoPtr& seen,
                                          const DEVICE_S_INFO& journaled) {
    std::vector<std::string> addresses;
    const auto add = [&addresses](const std::string& address) {
        if (!address.empty() &&
            std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
            addresses.push_back(address);
        }
    };
    add(context.settings.GetString(settings::kUpgradeDeviceIp));
    if (seen) {
        add(seen->ip2);
        add(seen->ip);
    }
    add(journaled.ip2);
    add(journaled.ip);
    return addresses;
}

// A resumed run's camera whose last block may have reached it, followed as
// a running job follows a camera after its last block: the offline wait,
// the reboot wait, then the version rule against `oldRecord`, the version
// it showed when the interrupted transfer started. True when the job ends
// here with `result`: upgraded (also when it came back before this run
// found it), gone and not back, cancelled. False only when, after both
// waits, it was seen again with its old version and the package's file
// name does not name it, or it answered all along and never restarted:
// that last block never took, and it may be sent the package again.
bool VerifyResumedCamera(const CBatchContext& context, const UpgradeInfoPtr& job,
                         const DeviceInfoPtr& oldRecord, UpgradeResult& result) {
    const std::string mac = oldRecord->mac;
    const DeviceInfoPtr seen = job->Device();
    LOG_INFO(kJobFunc, "verify resumed device, mac: %s, oldVersion: %s.%d", mac.c_str(),
             oldRecord->softwareVer, oldRecord->build);
    if (seen && VersionDiffers(*oldRecord, *seen)) {
        result = UpgradeResult::Ok;
        return true;
    }
    const auto port = static_cast<uint16_t>(seen ? seen->dataPort : oldRecord->dataPort);
    const std::vector<std::string> addresses = ReachedAddresses(context, seen, *oldRecord);
    const bool wentOffline = waitDeviceOffline(context, job, mac, addresses, port, oldRecord);
    if (job->cancelled.load()) {
        result = UpgradeResult::Cancelled;
        return true;
    }
    // A camera that stayed reachable goes on to the reboot wait too.
    PostState(context, UpgradeProgress::WaitComplete, mac);
    const int w = waitDeviceReboot(context, job, oldRecord);
    if (w == REBOOT_VERSION_CHANGED) {
        result = UpgradeResult::Ok;
        return true;
    }
    if (w == REBOOT_CANCELLED) {
        result = UpgradeResult::Cancelled;
        return true;
    }
    const DeviceInfoPtr current = job->Device();
    if (w != REBOOT_SAME_VERSION || !current) {
        // Reachable through both waits, far longer than a flash lasts, and
        // still answering: it never restarted, so that last block never
        // reached it.
        const bool answers = std::any_of(addresses.begin(), addresses.end(), [&](const auto& ip) {
            return ProbeTcpPort(ip, port, context.timings.addressProbeMs);
        });
        if (!wentOffline && current && answers && !job->cancelled.load()) {
            LOG_WARN(kJobFunc, "resumed device never restarted, upgrade again, mac: %s",
                     mac.c_str());
            return false;
        }
        // Gone and not back: it may still be flashing.
        result = UpgradeResult::Timeout;
        return true;
    }
    if (IsUpgraded(*oldRecord, *current, context.package->FileName())) {
        result = UpgradeResult::Ok;
        return true;
    }
    LOG_WARN(kJobFunc, "resumed device shows its old version, upgrade again, mac: %s", mac.c_str());
    return false;
}

}  // namespace

namespace {

// One upgrade per camera on this machine, whichever process runs it. Null
// with `refusal` set when the camera is taken or cannot be locked.
std::unique_ptr<platform::CFileLock> LockJobCamera(const CBatchContext& context,
                                                   const UpgradeInfoPtr& job,
                                                   std::optional<UpgradeResult>& refusal) {
    refusal.reset();
    const DeviceInfoPtr record = job->Device();
    if (!record) {
        return nullptr;
    }
    bool busy = false;
    std::string problem;
    auto lock = LockCamera(record->mac, busy, problem, context.cameraLockFolder);
    if (busy) {
        LOG_WARN(kJobFunc, "upgraded elsewhere right now, mac: %s", record->mac);
        refusal = UpgradeResult::Elsewhere;
    } else if (!lock) {
        refusal = UpgradeResult::LockRefused;
    }
    return lock;
}

// The journal's first line of the job, and for a camera that may be
// flashing its verification. True when that ends the job with `result`.
bool StartOrVerify(const CBatchContext& context, const UpgradeInfoPtr& job,
                   const DEVICE_S_INFO& first, const DeviceInfoPtr& mayBeFlashingFrom,
                   UpgradeResult& result) {
    if (context.journal) {
        if (mayBeFlashingFrom) {
            context.journal->Step(first.mac, "verifying");
        } else {
            context.journal->Started(first);
        }
    }
    if (!mayBeFlashingFrom) {
        return false;
    }
    if (VerifyResumedCamera(context, job, mayBeFlashingFrom, result)) {
        return true;
    }
    // It showed its old version after the waits: the earlier last block
    // never took. A new transfer starts, and its own lines follow.
    if (context.journal) {
        if (const DeviceInfoPtr now = job->Device()) {
            context.journal->Started(*now);
        }
    }
    return false;
}

// The attempts of one job: each attempt's result goes to its own handler,
// which says whether another attempt follows.
class CJobAttempts {
public:
    CJobAttempts(const BatchContextPtr& context, const UpgradeInfoPtr& job, std::string mac)
        : m_context(context),
          m_job(job),
          m_mac(std::move(mac)),
          m_credentials(job->credentials),
          m_deviceEvent(std::make_shared<CPUB_Event>(false, false)) {
        // The credentials to try: entries of the credentials file, then the
        // typed ones; a refused login moves on to the next without using up
        // an attempt.
        if (m_credentials.empty()) {
            m_credentials.push_back({context->user, context->password, "typed"});
        }
        job->SetDeviceEvent(m_deviceEvent);
    }

    UpgradeResult Run();
    int TryCount() const { return m_tryCount; }

private:
    enum class Next { Attempt, Stop };

    Next Attempt();
    Next OnResult(const AttemptResult& r, const DeviceInfoPtr& record, const std::string& ip,
                  uint16_t port);
    Next OnWaitUpgradeMode();
    // The address of the attempt; a new one starts its attempts afresh.
    std::string AttemptAddress(const DEVICE_S_INFO& record, uint16_t port);
    Next Cancelled() {
        LOG_WARN(kJobFunc, "upgrade canceled, mac: %s", m_mac.c_str());
        m_result = UpgradeResult::Failed;
        return Next::Stop;
    }

    const BatchContextPtr& m_context;
    const UpgradeInfoPtr& m_job;
    const std::string m_mac;
    std::vector<CameraCredential> m_credentials;
    std::shared_ptr<CPUB_Event> m_deviceEvent;
    size_t m_credential = 0;
    int m_tryCount = 0;
    int m_singleCount = 0;
    std::string m_lastIp;
    bool m_upgradeMode = false;
    uint32_t m_progress = 0;
    UpgradeResult m_result = UpgradeResult::Failed;
};

UpgradeResult CJobAttempts::Run() {
    const int tryMaxCount = m_context->settings.GetInt(settings::kTryUpgradeMaxCount);
    const int tryMaxCountSingle = m_context->settings.GetInt(settings::kTryUpgradeMaxCountSingle);
    while (m_tryCount < tryMaxCount && m_singleCount < tryMaxCountSingle) {
        ++m_tryCount;
        ++m_singleCount;
        if (Attempt() == Next::Stop) {
            break;
        }
    }
    return m_result;
}

std::string CJobAttempts::AttemptAddress(const DEVICE_S_INFO& record, uint16_t port) {
    const std::string ip = ChooseAddress(*m_context, record, port);
    if (m_lastIp.empty()) {
        m_lastIp = ip;
    }
    if (m_lastIp != ip) {
        LOG_WARN(kJobFunc,
                 "%d(%d) times upgrade device, ip changed reset tryCount, mac: %s, lastIp: "
                 "%s, currentIp: %s",
                 m_singleCount, m_tryCount, m_mac.c_str(), m_lastIp.c_str(), ip.c_str());
        m_singleCount = 1;
        m_lastIp = ip;
    }
    return ip;
}

CJobAttempts::Next CJobAttempts::Attempt() {
    if (m_singleCount > 1) {
        m_job->PauseUnlessCancelled(m_context->timings.retryPauseMs);
    }
    if (m_job->cancelled.load()) {
        return Cancelled();
    }
    const DeviceInfoPtr record = m_job->Device();
    if (!record) {
        LOG_ERROR(kJobFunc, "invalid device info, mac: %s", m_mac.c_str());
        return Next::Stop;
    }
    const auto port = static_cast<uint16_t>(record->dataPort);
    const std::string ip = AttemptAddress(*record, port);
    LOG_INFO(kJobFunc,
             "%d(%d) times upgrade device, mac: %s, ip: %s, ip2: %s, currentIp: %s:%d, "
             "upgradeMode: %d",
             m_singleCount, m_tryCount, m_mac.c_str(), record->ip, record->ip2, ip.c_str(),
             static_cast<int>(port), m_upgradeMode ? 1 : 0);
    m_progress = 0;
    PostState(*m_context, UpgradeProgress::Starting, m_mac);

    ProgressReporter reporter = [this](uint32_t percent) {
        if (m_job->cancelled.load()) {
            return false;
        }
        m_progress = percent;
        if (m_context->sink) {
            m_context->sink->PostMessage(
                MakeTextMessage(WM_UPGRADE_PROGRESS, static_cast<int32_t>(percent) - 1, m_mac));
        }
        return true;
    };
    const bool login = record->deviceActivated != 1;
    const CameraCredential& attemptLogin = m_credentials[m_credential];
    UpgradeAttempt attempt;
    attempt.mac = m_mac;
    attempt.ip = ip;
    attempt.port = port;
    attempt.user = attemptLogin.user;
    attempt.password = attemptLogin.password;
    attempt.reporter = std::move(reporter);
    attempt.upgradeMode = m_upgradeMode;
    attempt.login = login;
    attempt.cancel = &m_job->cancelled;
    attempt.stop = m_job->StopToken();
    const AttemptResult r = upgradeDevice(*m_context, attempt);
    return OnResult(r, record, ip, port);
}

CJobAttempts::Next CJobAttempts::OnResult(const AttemptResult& r, const DeviceInfoPtr& record,
                                          const std::string& ip, uint16_t port) {
    if (m_job->cancelled.load()) {
        // A cancelled transfer is a failure, never a completed upgrade.
        m_result = UpgradeResult::Failed;
        return Next::Stop;
    }
    if (const UpgradeResult* result = std::get_if<UpgradeResult>(&r)) {
        switch (*result) {
            case UpgradeResult::PackageError:
            case UpgradeResult::NotSupported:
                m_result = *result;
                return Next::Stop;
            case UpgradeResult::BadCredentials:
                if (m_credential + 1 >= m_credentials.size()) {
                    break;
                }
                ++m_credential;
                LOG_WARN(kJobFunc, "login refused, next credentials (%s), mac: %s",
                         m_credentials[m_credential].source.c_str(), m_mac.c_str());
                --m_tryCount;
                --m_singleCount;
                m_result = *result;
                return Next::Attempt;
            default:
                break;
        }
    } else if (const LoginModeSignal* signal = std::get_if<LoginModeSignal>(&r)) {
        m_upgradeMode = *signal == LoginModeSignal::SetUpgradeMode;
        // Which mode to log in with next is no result to show: attempts
        // that run out on it end "Upgrade failed".
        m_result = UpgradeResult::Failed;
        return Next::Attempt;
    } else if (r == AttemptResult{UpgradeProgress::WaitUpgradeMode}) {
        return OnWaitUpgradeMode();
    }
    if (r == AttemptResult{UpgradeProgress::WaitComplete} || m_progress == UPGRADE_BLOCK_COUNT) {
        m_result = CompleteUpgrade(*m_context, m_job, record, m_mac, ip, port, r);
        return Next::Stop;
    }
    m_result = FinalResultOf(r);
    return m_progress != 0 ? Next::Stop : Next::Attempt;
}

CJobAttempts::Next CJobAttempts::OnWaitUpgradeMode() {
    LOG_INFO(kJobFunc, "wait upgrade mode, mac: %s", m_mac.c_str());
    m_deviceEvent->Reset();
    m_job->waitingForDevice.store(true);
    PostState(*m_context, UpgradeProgress::WaitUpgradeMode, m_mac);
    // Checked after the reset: a cancellation's wake-up is never lost.
    const int timeoutS = m_context->settings.GetInt(settings::kWaitUpgradeModeTimeout);
    const bool signalled = m_job->cancelled.load() || m_deviceEvent->Wait(timeoutS * 1000);
    m_job->waitingForDevice.store(false);
    if (m_job->cancelled.load()) {
        return Cancelled();
    }
    if (!signalled) {
        LOG_WARN(kJobFunc, "device reboot timeout, mac: %s", m_mac.c_str());
        m_result = UpgradeResult::Timeout;
        return Next::Stop;
    }
    LOG_INFO(kJobFunc, "device reboot, mac: %s", m_mac.c_str());
    m_upgradeMode = true;
    m_job->PauseUnlessCancelled(m_context->timings.upgradeModePauseMs);
    // The wait does not change the result: attempts that run out now end
    // with the result from before it.
    return Next::Attempt;
}

// The job's result as reported: "Cancelled" for a cancelled camera that
// did not end upgraded.
UpgradeResult FinalJobResult(const UpgradeInfoPtr& job, UpgradeResult result, int tryCount,
                             const std::string& mac) {
    if (result == UpgradeResult::Ok) {
        LOG_INFO(kJobFunc, "%d times upgrade succeed, mac: %s", tryCount, mac.c_str());
    } else {
        LOG_WARN(kJobFunc, "%d times upgrade failed %d, mac: %s", tryCount, NumberOf(result),
                 mac.c_str());
    }
    if (job->cancelled.load() && result != UpgradeResult::Ok) {
        result = UpgradeResult::Cancelled;
    }
    return result;
}

// One package's upgrade of the job's camera (one step of a path): the
// journal's first line or the verification of a camera that may be
// flashing, then the attempts. Returns the step's final result.
UpgradeResult RunStep(const BatchContextPtr& context, const UpgradeInfoPtr& job,
                      const DEVICE_S_INFO& from, const DeviceInfoPtr& mayBeFlashingFrom) {
    const std::string mac = from.mac;
    CJobAttempts attempts(context, job, mac);
    UpgradeResult result = UpgradeResult::Failed;
    if (StartOrVerify(*context, job, from, mayBeFlashingFrom, result)) {
        job->SetDeviceEvent(nullptr);
        return result;
    }
    const UpgradeResult attempted = attempts.Run();
    result = FinalJobResult(job, attempted, attempts.TryCount(), mac);
    job->SetDeviceEvent(nullptr);
    return result;
}

// A path's step begins: its line in the journal, and the row shows which
// step it is.
void BeginPathStep(const CBatchContext& context, const std::string& mac, size_t step,
                   size_t steps) {
    LOG_INFO(kJobFunc, "upgrade step %d of %d, mac: %s, package: %s", static_cast<int>(step + 1),
             static_cast<int>(steps), mac.c_str(), context.package->FileName().c_str());
    if (context.journal) {
        context.journal->PathStep(mac, static_cast<int>(step + 1), static_cast<int>(steps),
                                  context.package->Path());
    }
    if (context.sink) {
        context.sink->PostMessage(MakeTextMessage(
            WM_UPGRADE_STEP, PathStepWord(static_cast<int>(step + 1), static_cast<int>(steps)),
            mac));
    }
}

UpgradeResult RunJob(const BatchContextPtr& context, const UpgradeInfoPtr& job) {
    std::optional<UpgradeResult> refusal;
    const auto cameraLock = LockJobCamera(*context, job, refusal);
    if (refusal) {
        return *refusal;
    }
    waitDeviceIp2Change(*context, job);

    const DeviceInfoPtr first = job->Device();
    if (!first) {
        LOG_ERROR(kJobFunc, "invalid device info");
        return UpgradeResult::Failed;
    }
    const std::string mac = first->mac;
    LOG_INFO(kJobFunc,
             "upgrade device, mac: %s, product: %s, mes: %d, tryMaxCount: %d, "
             "upgradeModeTimeout: %ds",
             mac.c_str(), first->productModel, 0,
             context->settings.GetInt(settings::kTryUpgradeMaxCount),
             context->settings.GetInt(settings::kWaitUpgradeModeTimeout));

    // Without a path the package is the one step.
    const std::vector<UpgradePackagePtr> path =
        job->path.empty() ? std::vector<UpgradePackagePtr>{context->package} : job->path;
    DeviceInfoPtr mayBeFlashingFrom = job->mayBeFlashingFrom;
    for (size_t step = std::min(job->firstStep, path.size() - 1);; ++step) {
        auto stepContext = std::make_shared<CBatchContext>(*context);
        stepContext->package = path[step];
        const DeviceInfoPtr from = step == job->firstStep ? first : job->Device();
        if (!from) {
            LOG_ERROR(kJobFunc, "invalid device info, mac: %s", mac.c_str());
            return UpgradeResult::Failed;
        }
        if (path.size() > 1) {
            BeginPathStep(*stepContext, mac, step, path.size());
        }
        const UpgradeResult result = RunStep(stepContext, job, *from, mayBeFlashingFrom);
        if (result != UpgradeResult::Ok || step + 1 >= path.size()) {
            return result;
        }
        // Only the step it was on when the earlier run stopped may be flashing.
        mayBeFlashingFrom = nullptr;
        if (const DeviceInfoPtr now = job->Device(); now && context->journal) {
            context->journal->Passed(*now);
        }
        LOG_INFO(kJobFunc, "upgrade step %d of %d verified, mac: %s", static_cast<int>(step + 1),
                 static_cast<int>(path.size()), mac.c_str());
    }
}

}  // namespace

UpgradeResult upgradeDevice(const BatchContextPtr& context, const UpgradeInfoPtr& job) {
    if (!job) {
        LOG_ERROR(kJobFunc, "invalid upgrade info");
        return UpgradeResult::Failed;
    }
    job->finished.store(false);
    const UpgradeResult result = RunJob(context, job);
    if (const DeviceInfoPtr record = job->Device()) {
        if (context->journal) {
            context->journal->Result(record->mac, result);
        }
        job->finished.store(true);
        PostResult(*context, result, record->mac);
    } else {
        job->finished.store(true);
    }
    return result;
}
