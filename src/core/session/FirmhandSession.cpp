#include "session/FirmhandSession.h"

#include "app/Logger.h"
#include "app/Settings.h"
#include "discovery/LanProbeSearch.h"
#include "discovery/NetInterfaces.h"
#include "discovery/SearchIntake.h"
#include "http/AiVersionQuery.h"
#include "model/DeviceText.h"
#include "model/RunsFolder.h"
#include "net/SWL_LinkTimer.h"
#include "net/SWL_Socket.h"
#include "netops/Ipv4.h"
#include "platform/Paths.h"
#include "session/AwaitedCameraProbe.h"
#include "session/InventoryRecorder.h"
#include "session/MessageEvents.h"
#include "upgrade/UpgradeEngine.h"

FH_LOG_SOURCE("FirmhandSession");

// Where every part of the session posts (search, engine, analytics query,
// inventory, web page thread): the session learns each search report
// (device table, the jobs' records) first, then each message goes on to
// the front-end as the event it stands for. Posted on the sender's thread,
// so each sender's order is kept.
class CSessionSink : public IMessageSink {
public:
    CSessionSink(CFirmhandSession* session, SessionEventSinkPtr frontEnd)
        : m_session(session), m_frontEnd(std::move(frontEnd)) {}

    bool PostMessage(CWindowMessage message) override {
        if (message.id == WM_DEVICE_NOTIFY) {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_session == nullptr || !m_session->OnSearchReport(message)) {
                return m_session != nullptr;
            }
        }
        std::optional<SessionEvent> event = EventOfMessage(std::move(message));
        return event && m_frontEnd && m_frontEnd->OnEvent(std::move(*event));
    }

    // After Detach no search report reaches the session or the front-end;
    // the batch's last results still do while the engine shuts down.
    void Detach() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_session = nullptr;
    }

private:
    std::mutex m_mutex;
    CFirmhandSession* m_session;
    SessionEventSinkPtr m_frontEnd;
};

namespace {

std::string JoinTargets(const std::string& configured, const std::vector<std::string>& extra) {
    std::string all = configured;
    for (const std::string& target : extra) {
        all += (all.empty() ? "" : ",") + target;
    }
    return all;
}

}  // namespace

CFirmhandSession::CFirmhandSession(SESSION_OPTIONS options, SessionEventSinkPtr sink)
    : m_options(std::move(options)),
      m_settings(m_options.settingOverrides),
      m_sink(std::make_shared<CSessionSink>(this, std::move(sink))) {
    ENGINE_OPTIONS engine;
    engine.settings = m_settings;
    engine.timings = m_options.timings;
    engine.reachability = m_options.reachability;
    m_linkTimer = std::make_unique<CSWL_LinkTimer>();
    engine.clientFactory = m_options.clientFactory ? m_options.clientFactory
                                                   : DefaultUpgradeClientFactory(*m_linkTimer);
    engine.cameraLockFolder = m_options.cameraLockFolder;
    engine.runsFolder = m_options.runsFolder;
    engine.journalWriteFails = m_options.journalWriteFails;
    // The session outlives its engine.
    engine.currentRecord = [this](const std::string& mac) { return m_devices.Find(mac); };
    MessageSinkPtr engineSink = m_sink;
    if (!m_options.inventoryPath.empty()) {
        m_inventory = std::make_shared<CInventoryRecorder>(
            m_options.inventoryPath, m_options.inventorySite, m_options.adapter, m_sink,
            [this](const std::string& mac) { return m_devices.Find(mac); });
        engineSink = CInventoryRecorder::RecordingSink(m_inventory, m_sink);
    }
    m_engine = std::make_unique<CUpgradeEngine>(engineSink, std::move(engine));
    m_aiQuery = std::make_unique<CAiVersionQuery>(m_sink);
}

CFirmhandSession::~CFirmhandSession() {
    Stop();
}

bool CFirmhandSession::Start() {
    if (m_started) {
        LOG_WARN("CFirmhandSession::Start", "already started");
        return false;
    }
    m_started = true;
    if (SWL_Init() == 0) {
        m_socketsStarted = true;
    } else {
        LOG_ERROR("CFirmhandSession::Start", "SWL_Init failed");
    }
    if (m_options.reachability) {
        m_options.reachability->AddLinkLocalRoute();
    }
    const std::string targets =
        JoinTargets(m_settings.GetString(settings::kSearchTargets), m_options.searchTargets);
    m_intake = std::make_unique<CSearchIntake>(m_sink);
    CLanProbeSearch& search = m_intake->Search();
    search.SetNetworkAdapter(m_options.adapter.c_str());
    search.SetSearchTargets(targets.c_str());
    search.SetRoundIntervalMs(m_options.searchRoundIntervalMs);
    ProbeAwaitedCameras(search, m_engine.get());
    // This run's targets count as a network to search, as the setting's do
    // (they may be on the loopback network, the only one up).
    const bool hasTargets = targets.find_first_not_of(" \t,") != std::string::npos;
    if (!m_intake->Start([hasTargets] { return hasTargets || IsNetworkAlive(); }, kNetworkPollMs)) {
        LOG_ERROR("CFirmhandSession::Start", "device search not started");
        m_intake.reset();
        return false;
    }
    LOG_INFO("CFirmhandSession::Start", "search started, adapter: '%s', targets: '%s'",
             m_options.adapter.c_str(), targets.c_str());
    return true;
}

void CFirmhandSession::Stop() {
    if (m_stopped) {
        return;
    }
    m_stopped = true;
    // Every waiting worker wakes now and ends at its next step; so does the
    // web page thread's wait for an added address.
    m_stop.request_stop();
    m_engine->CancelAll();
    m_aiQuery->Cancel();
    // No report reaches the session or the front-end any more; then the
    // search thread ends.
    m_sink->Detach();
    if (m_intake) {
        m_intake->Stop();
        m_intake.reset();
    }
    // Joins the batch's threads; the engine stays to answer for the batch.
    m_engine->Shutdown();
    m_aiQuery.reset();
    JoinWebPageThread();
    if (m_socketsStarted) {
        SWL_Quit();
        m_socketsStarted = false;
    }
    if (m_started) {
        LOG_INFO("CFirmhandSession::Stop", "session stopped");
    }
}

bool CFirmhandSession::OnSearchReport(CWindowMessage& message) {
    if (message.wParam == DEVICE_NOTIFY_GONE) {
        const std::string& mac = message.Text();
        // A camera that reboots during its upgrade stays listed.
        if (m_engine->HasJob(mac)) {
            LOG_INFO("CFirmhandSession::OnSearchReport", "kept while upgrading, mac: %s",
                     mac.c_str());
            return false;
        }
        m_devices.Remove(mac);
        return true;
    }
    const auto* record = std::get_if<std::unique_ptr<DEVICE_S_INFO>>(&message.payload);
    if (record == nullptr || !*record) {
        return true;
    }
    // The table first: a job that ends on this record finds it listed.
    m_devices.Update(**record);
    if (m_inventory) {
        m_inventory->OnDeviceFound(**record);
    }
    m_engine->OnSearchReport(message.wParam, **record);
    return true;
}

BatchStartResult CFirmhandSession::DryRun(const BatchRequest& request,
                                          std::vector<CameraPlan>& plans) {
    return m_engine->DryRun(request, plans);
}

std::string CFirmhandSession::RunJournalPath() const {
    return m_engine->RunJournalPath();
}

std::string CFirmhandSession::RefusalDetail() const {
    return m_engine->RefusalDetail();
}

BatchState CFirmhandSession::BatchStateNow() const {
    return m_engine->State();
}

std::vector<BatchOutcome> CFirmhandSession::LastBatchOutcomes() const {
    return m_engine->LastOutcomes();
}

bool CFirmhandSession::IsUpgrading() const {
    return m_engine->IsUpgrading();
}

bool CFirmhandSession::HasJob(const std::string& mac) const {
    return m_engine->HasJob(mac);
}

BatchCallResult CFirmhandSession::CancelAll() {
    return m_engine->CancelAll();
}

BatchCallResult CFirmhandSession::PauseBatch(bool pause) {
    return m_engine->PauseBatch(pause);
}

bool CFirmhandSession::IsBatchPaused() const {
    return m_engine->IsPaused();
}

bool CFirmhandSession::WaitForBatchEnd(int timeoutMs) {
    return m_engine->WaitForBatchEnd(timeoutMs);
}

UpgradePackagePtr CFirmhandSession::Package() const {
    return m_engine->Package();
}

std::string CFirmhandSession::RunsFolder() const {
    return RunsFolderOf(m_options.runsFolder, platform::LocalStateFolder());
}

std::optional<RunSummary> CFirmhandSession::UnfinishedRun(std::string* problem) const {
    for (RunListing& listing : ListRuns(RunsFolder())) {
        if (!listing.problem.empty()) {
            // The newest run cannot be read: it cannot be resumed either.
            if (problem != nullptr) {
                *problem = listing.problem;
            }
            return std::nullopt;
        }
        if (!listing.run.Finished()) {
            return std::move(listing.run);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<DeviceInfoPtr> CFirmhandSession::ResumeDevices(const RunSummary& run) const {
    std::vector<DeviceInfoPtr> devices;
    for (const JOURNAL_CAMERA& camera : run.cameras) {
        DeviceInfoPtr record = m_devices.Find(camera.mac);
        devices.push_back(record ? record : RecordFromJournal(camera));
    }
    return devices;
}

BatchStartResult CFirmhandSession::StartBatch(const BatchRequest& request) {
    if (m_stopped) {
        return BatchStartResult::ThreadFailed;  // the engine would refuse too
    }
    if (m_inventory) {
        m_inventory->OnBatchStarting();
    }
    const BatchStartResult result = m_engine->StartBatch(request);
    if (m_inventory && result == BatchStartResult::Started) {
        m_inventory->OnBatchStarted(m_engine->RunJournalPath());
    }
    return result;
}

std::string CFirmhandSession::InventoryProblem() const {
    return m_inventory ? m_inventory->Problem() : "";
}

void CFirmhandSession::SetInventorySite(const std::string& site) {
    if (m_inventory) {
        m_inventory->SetSite(site);
    }
}

bool CFirmhandSession::QueryAiVersions(std::vector<AiQuery> queries) {
    if (m_stopped) {
        return false;
    }
    const bool basicAllowed = m_settings.GetBool(settings::kAllowHttpBasicAuth);
    for (AiQuery& query : queries) {
        query.allowBasicAuth = basicAllowed;
    }
    return m_aiQuery->Start(std::move(queries));
}

bool CFirmhandSession::IsAiQueryRunning() const {
    return m_aiQuery && m_aiQuery->Running();
}

bool CFirmhandSession::RequestWebPage(const DEVICE_S_INFO& record) {
    if (m_stopped || m_webPageBusy.exchange(true)) {
        return false;
    }
    JoinWebPageThread();
    const auto copy = std::make_shared<DEVICE_S_INFO>(record);
    try {
        m_webPageThread = std::thread([this, copy] {
            std::string address = FieldString(copy->ip);
            if (m_options.reachability) {
                // The camera may need a local address in its subnet first;
                // the address to use may then be its second one.
                uint32_t deviceAddress = 0;
                uint32_t addedAddress = 0;
                const std::stop_token stop = m_stop.get_token();
                if (m_options.reachability->MakeDeviceReachable(*copy, deviceAddress, addedAddress,
                                                                true, stop)) {
                    WaitForLocalAddress(*m_options.reachability, addedAddress,
                                        static_cast<int>(m_options.timings.localAddressPolls), 100,
                                        stop);
                }
                if (deviceAddress != 0) {
                    address = reach::Ipv4ToText(deviceAddress);
                }
                if (std::string notice = m_options.reachability->TakeNotice(); !notice.empty()) {
                    m_sink->PostMessage(MakeTextMessage(WM_REACH_NOTICE, 0, std::move(notice)));
                }
            }
            m_sink->PostMessage(
                MakeTextMessage(WM_WEB_PAGE_READY, 0, DeviceWebUrl(address, copy->httpPort)));
            m_webPageBusy.store(false);
        });
    } catch (const std::system_error& error) {
        LOG_ERROR("CFirmhandSession::RequestWebPage", "thread not started %d",
                  error.code().value());
        m_webPageBusy.store(false);
        return false;
    }
    return true;
}

void CFirmhandSession::JoinWebPageThread() {
    if (m_webPageThread.joinable()) {
        m_webPageThread.join();
    }
}

bool CFirmhandSession::SearchNow() {
    return m_intake && m_intake->Search().SearchNow() == 0;
}

int CFirmhandSession::SearchReplyPort() const {
    return m_intake ? m_intake->Search().GetReplyPort() : 0;
}
