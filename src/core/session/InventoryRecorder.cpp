#include "session/InventoryRecorder.h"

#include <chrono>
#include <filesystem>
#include <utility>

#include "app/Logger.h"
#include "device/Digest.h"
#include "inventory/Inventory.h"
#include "inventory/InventoryText.h"
#include "model/DeviceText.h"
#include "netops/Adapters.h"
#include "netops/Ipv4.h"
#include "session/InventorySite.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradePackage.h"
#include "upgrade/UpgradeResult.h"

FH_LOG_SOURCE("InventoryRecorder");

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A step's versions with their builds, as "4.0.2(230118)": an upgrade
// may change only the build.
std::string StepVersion(const std::string& version, int32_t build) {
    if (version.empty() || build == 0) {
        return version;
    }
    return version + "(" + std::to_string(build) + ")";
}

CAMERA_SIGHTING SightingOf(const DEVICE_S_INFO& record) {
    CAMERA_SIGHTING s;
    s.mac = FieldString(record.mac);
    s.name = FieldString(record.devName);
    s.model = FieldString(record.productModel);
    s.ip = FieldString(record.ip);
    s.ip2 = FieldString(record.ip2);
    s.version = FieldString(record.softwareVer);
    s.build = record.build;
    s.seenAt = NowMs();
    return s;
}

class CRecordingSink : public IMessageSink {
public:
    CRecordingSink(std::shared_ptr<CInventoryRecorder> recorder, MessageSinkPtr frontEnd)
        : m_recorder(std::move(recorder)), m_frontEnd(std::move(frontEnd)) {}

    bool PostMessage(CWindowMessage message) override {
        if (message.id == WM_UPGRADE_RESULT) {
            if (const auto result = UpgradeResultOfNumber(message.wParam)) {
                m_recorder->OnJobResult(message.Text(), *result);
            }
        }
        return m_frontEnd && m_frontEnd->PostMessage(std::move(message));
    }

private:
    std::shared_ptr<CInventoryRecorder> m_recorder;
    MessageSinkPtr m_frontEnd;
};

}  // namespace

MessageSinkPtr CInventoryRecorder::RecordingSink(std::shared_ptr<CInventoryRecorder> recorder,
                                                 MessageSinkPtr frontEnd) {
    return std::make_shared<CRecordingSink>(std::move(recorder), std::move(frontEnd));
}

CInventoryRecorder::CInventoryRecorder(
    const std::string& path, std::string site, const std::string& adapter, MessageSinkPtr frontEnd,
    std::function<DeviceInfoPtr(const std::string& mac)> currentRecord)
    : m_frontEnd(std::move(frontEnd)),
      m_currentRecord(std::move(currentRecord)),
      m_site(std::move(site)) {
    // Read even with a site: the window may clear its Site later.
    std::vector<ADAPTER_INFO> adapters;
    GetAdapterList(adapters);
    for (const ADAPTER_INFO& info : adapters) {
        for (const IP_ADDR_ENTRY& entry : info.IpAddressList) {
            const uint32_t address = reach::Ipv4ToHost(entry.address);
            const uint32_t mask = reach::Ipv4ToHost(entry.mask);
            m_subnets.emplace_back(address, mask);
        }
    }
    m_adapterSubnet = AdapterSubnet(adapters, adapter);
    std::string error;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_inventory = CInventory::Open(path, InventoryAccess::Write, error);
    if (!m_inventory) {
        GiveUpLocked(error);
    }
}

CInventoryRecorder::~CInventoryRecorder() = default;

std::string CInventoryRecorder::SiteOf(const std::string& ip, const std::string& mask) const {
    if (!m_site.empty()) {
        return m_site;
    }
    if (!m_adapterSubnet.empty()) {
        return m_adapterSubnet;
    }
    uint32_t address = 0;
    if (!reach::ParseIpv4(ip, address)) {
        return "unknown";
    }
    address = reach::Ipv4ToHost(address);
    for (const auto& [local, localMask] : m_subnets) {
        if (localMask != 0 && (local & localMask) == (address & localMask)) {
            return inventory::SubnetText(local, localMask);
        }
    }
    uint32_t cameraMask = 0;
    if (reach::ParseIpv4(mask, cameraMask) && reach::MaskPrefixLength(cameraMask) > 0) {
        return inventory::SubnetText(address, reach::Ipv4ToHost(cameraMask));
    }
    return inventory::SubnetText(address, 0xFFFFFFFFu);
}

void CInventoryRecorder::GiveUpLocked(const std::string& problem) {
    m_inventory.reset();
    if (!m_problem.empty()) {
        return;
    }
    m_problem = problem + "; left as it is, this run is not recorded in it";
    LOG_WARN("CInventoryRecorder", "%s", m_problem.c_str());
    if (m_frontEnd) {
        m_frontEnd->PostMessage(MakeTextMessage(WM_INVENTORY_NOTICE, 0, m_problem));
    }
}

void CInventoryRecorder::SetSite(std::string site) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_site = std::move(site);
}

std::string CInventoryRecorder::Problem() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_problem;
}

void CInventoryRecorder::OnDeviceFound(const DEVICE_S_INFO& record) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_inventory) {
        return;
    }
    std::string error;
    if (!m_inventory->RecordSightings(SiteOf(FieldString(record.ip), FieldString(record.mask)),
                                      {SightingOf(record)}, error)) {
        GiveUpLocked(error);
    }
}

void CInventoryRecorder::OnBatchStarting() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journalPath.clear();
    m_early.clear();
    m_batchKnown = false;
}

void CInventoryRecorder::OnBatchStarted(const std::string& journalPath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_journalPath = journalPath;
    m_batchKnown = true;
    m_sha256.clear();  // a package may have changed since the last batch
    RecordStepsLocked(std::exchange(m_early, {}));
}

void CInventoryRecorder::OnJobResult(const std::string& mac, UpgradeResult code) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_inventory) {
        return;
    }
    if (!m_batchKnown) {
        m_early.emplace_back(mac, code);
        return;
    }
    RecordStepsLocked({{mac, code}});
}

std::string CInventoryRecorder::PackageSha256Locked(const std::string& path) {
    const auto known = m_sha256.find(path);
    if (known != m_sha256.end()) {
        return known->second;
    }
    CUpgradePackage package;
    std::string sha256;
    if (package.Load(path)) {
        sha256 = DigestToHex(DigestSha256(package.Data().data(), package.Length()), false);
    }
    m_sha256[path] = sha256;
    return sha256;
}

void CInventoryRecorder::RecordStepsLocked(
    const std::vector<std::pair<std::string, UpgradeResult>>& results) {
    if (!m_inventory || results.empty()) {
        return;
    }
    // The journal has the run's side of each step; a result line that is
    // still held in memory (a cancel's) is taken from the message.
    RunSummary run;
    std::string error;
    if (!m_journalPath.empty() && !ReadRunJournal(m_journalPath, run, error)) {
        LOG_WARN("CInventoryRecorder", "journal not read, steps recorded without it: %s",
                 error.c_str());
    }
    const std::string journal = std::filesystem::path(m_journalPath).filename().string();
    std::map<std::string, std::vector<UPGRADE_STEP>> bySite;
    for (const auto& [mac, code] : results) {
        UPGRADE_STEP step;
        step.mac = mac;
        step.runId = !run.id.empty() ? run.id : !journal.empty() ? journal : "unjournaled";
        step.journal = journal;
        step.result = NumberOf(code);
        step.resultText = code == UpgradeResult::NotFoundInTime ? NotFoundWithinText(run.waitText)
                                                                : ResultCodeToText(code);
        std::string ip;
        std::string mask;
        if (const JOURNAL_CAMERA* camera = run.Find(mac)) {
            step.name = camera->name;
            step.model = camera->model;
            ip = camera->ip;
            step.ip = ip;
            step.fromVersion = StepVersion(camera->softwareVer, camera->build);
            step.attempts = camera->attempts;
            step.startedAt = camera->startedAt;
            step.endedAt = camera->endedAt;
            if (!camera->package.empty()) {
                step.packageName = std::filesystem::path(camera->package).filename().string();
                step.packageSha256 = PackageSha256Locked(camera->package);
            }
        }
        if (step.endedAt == 0) {
            step.endedAt = NowMs();
        }
        if (const DeviceInfoPtr current = m_currentRecord ? m_currentRecord(mac) : nullptr) {
            step.toVersion = StepVersion(FieldString(current->softwareVer), current->build);
            mask = FieldString(current->mask);
            if (ip.empty()) {
                ip = FieldString(current->ip);
            }
        }
        // A camera no search found this run has no address: it stays with
        // the site where it was seen last, unless the run names one.
        const std::string lastSite = ip.empty() && m_site.empty() && m_adapterSubnet.empty()
                                         ? m_inventory->LastSiteOf(mac)
                                         : std::string();
        std::vector<UPGRADE_STEP>& rows = bySite[!lastSite.empty() ? lastSite : SiteOf(ip, mask)];
        const JOURNAL_CAMERA* camera = run.Find(mac);
        if (camera == nullptr || camera->steps.empty()) {
            rows.push_back(std::move(step));
            continue;
        }
        // An upgrade path: each step its own row. The steps before the last
        // passed; the last one ends with the camera's result, where it is now.
        for (const JOURNAL_STEP& pathStep : camera->steps) {
            UPGRADE_STEP row = step;
            row.step = pathStep.number;
            row.fromVersion = StepVersion(pathStep.fromVersion, pathStep.fromBuild);
            if (&pathStep != &camera->steps.back()) {
                row.toVersion = StepVersion(pathStep.toVersion, pathStep.toBuild);
                row.result = NumberOf(pathStep.code);
                row.resultText = pathStep.code ? ResultCodeToText(*pathStep.code) : std::string();
            }
            row.attempts = pathStep.attempts;
            row.startedAt = pathStep.startedAt;
            row.endedAt = pathStep.endedAt != 0 ? pathStep.endedAt : step.endedAt;
            row.packageName = std::filesystem::path(pathStep.package).filename().string();
            row.packageSha256 = PackageSha256Locked(pathStep.package);
            rows.push_back(std::move(row));
        }
    }
    for (const auto& [site, steps] : bySite) {
        if (!m_inventory->RecordSteps(site, steps, error)) {
            GiveUpLocked(error);
            return;
        }
    }
}
