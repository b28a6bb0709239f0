#include "support/SessionHarness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "app/IniFile.h"
#include "app/Settings.h"
#include "upgrade/UpgradeResult.h"

namespace {

// Each harness of a process takes its own block of loopback addresses; the
// process id keeps parallel test processes apart.
std::atomic<int> g_nextBlock{0};

}  // namespace

SimCameraConfig LoopbackCamera(int block, int n) {
    const int process = static_cast<int>(getpid() % 200) + 20;
    SimCameraConfig config;
    char text[64];
    std::snprintf(text, sizeof(text), "02:00:%02X:%02X:00:%02X", process, block, n);
    config.mac = text;
    std::snprintf(text, sizeof(text), "127.%d.%d.%d", process, block, n + 1);
    config.ip = text;
    std::snprintf(text, sizeof(text), "127.%d.%d.%d", process, 100 + block, n + 1);
    config.ip2 = text;
    config.mask2 = "255.0.0.0";
    config.name = "Cam " + std::to_string(n);
    config.flashMs = 150;
    config.offlineMs = 900;
    return config;
}

void ShortenSessionWaits(SESSION_OPTIONS& options) {
    auto& values = options.settingOverrides;
    values[settings::kWaitIp2ChangeTimeout] = "2";
    values[settings::kWaitDeviceOfflineTimeout] = "5";
    values[settings::kWaitRebootTimeout] = "10";
    values[settings::kWaitUpgradeModeTimeout] = "10";
    values[settings::kWaitUpgradeProgressTimeout] = "5";
    values[settings::kWaitUpgradeCompleteTimeout] = "5";
    options.timings.connectTimeoutMs = 2000;
    options.timings.retryPauseMs = 20;
    options.timings.upgradeModePauseMs = 50;
    options.timings.ackPollMs = 5;
    options.timings.offlineStretchMs = 300;
    options.searchRoundIntervalMs = 150;
}

CSessionHarness::CSessionHarness()
    : m_xdg("XDG_DATA_HOME", m_box.File("data")), m_block(g_nextBlock.fetch_add(1) % 100) {
    // Settings files (and the credentials a run remembers) stay in the sandbox.
    ResetIniPaths();
    GetProgramIni().SetPath(m_box.File("firmhand.ini"));
    m_logLevel = GetLogInstance()->GetLevel();
    // The waits are recognised by their info lines.
    GetLogInstance()->SetLevel(kLogInfo);
    GetLogInstance()->SetEchoToStderr(std::getenv("FH_TEST_ECHO") != nullptr);
    m_log = std::make_unique<CLogCapture>();

    ShortenSessionWaits(m_options);
    m_options.cameraLockFolder = m_box.File("locks");
    m_options.runsFolder = m_box.File("runs");
    m_options.adapter = "lo";
}

CSessionHarness::~CSessionHarness() {
    if (m_session) {
        m_session->Stop();
    }
    m_fleet.Stop();
    m_log.reset();
    GetLogInstance()->SetEchoToStderr(false);
    GetLogInstance()->SetLevel(m_logLevel);
    ResetIniPaths();
}

SimCameraConfig CSessionHarness::Camera(int n) const {
    return LoopbackCamera(m_block, n);
}

void CSessionHarness::SetSetting(const std::string& key, const std::string& value) {
    EXPECT_FALSE(m_session) << "settings are given before the session starts";
    m_options.settingOverrides[key] = value;
}

bool CSessionHarness::Start() {
    std::string error;
    const bool fleetStarted = m_fleet.Start(&error);
    EXPECT_TRUE(fleetStarted) << error;
    for (const SimCameraInfo& camera : m_fleet.Cameras()) {
        m_options.searchTargets.push_back(camera.ip + ":" + std::to_string(camera.searchPort));
    }
    m_session = std::make_unique<CFirmhandSession>(m_options, m_queue);
    const bool searching = m_session->Start();
    EXPECT_TRUE(searching) << "the session searches";
    const std::vector<SimCameraInfo> cameras = m_fleet.Cameras();
    const bool listed = WaitUntil([&] {
        for (const SimCameraInfo& camera : cameras) {
            // A camera switched off is not to be found yet.
            if (m_fleet.State(camera.mac)->online && !m_session->FindDevice(camera.mac)) {
                return false;
            }
        }
        return true;
    });
    EXPECT_TRUE(listed) << "every camera is listed";
    return fleetStarted && searching && listed;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

std::string CSessionHarness::WritePackage(const std::string& name,
                                          const std::vector<uint8_t>& data) {
    WriteFile(m_box.File(name), data);
    return m_box.File(name);
}

std::vector<uint8_t> NewStylePackageBytes(size_t size) {
    std::vector<uint8_t> data(size + 4);
    std::mt19937 random(7);
    for (auto& byte : data) {
        byte = static_cast<uint8_t>(random());
    }
    const uint8_t magic[] = {0x18, 0x01, 0x22, 0x20};
    std::memcpy(data.data(), magic, sizeof(magic));
    return data;
}

std::string CSessionHarness::NewStylePackage(const std::string& name, size_t size) {
    return WritePackage(name, NewStylePackageBytes(size));
}

std::vector<uint8_t> OldStylePackageBytes(std::vector<uint8_t> body, uint32_t productType) {
    std::vector<uint8_t> trailer(64, 0);
    const uint32_t words[] = {0x64616568, 0, productType};
    for (size_t w = 0; w < 3; ++w) {
        for (size_t b = 0; b < 4; ++b) {
            trailer[w * 4 + b] = static_cast<uint8_t>(words[w] >> (8 * b));
        }
    }
    body.insert(body.end(), trailer.begin(), trailer.end());
    return body;
}

BatchRequest CSessionHarness::Request(const std::vector<std::string>& macs) const {
    BatchRequest request;
    for (const std::string& mac : macs) {
        if (DeviceInfoPtr record = Record(mac)) {
            request.devices.push_back(record);
        }
    }
    request.user = user;
    request.password = password;
    request.rememberLogin = rememberLogin;
    request.rememberInSettingsFile = rememberLogin;
    return request;
}

BatchStartResult CSessionHarness::StartBatch(const std::vector<std::string>& macs,
                                             const std::string& package, bool confirmDuplicates) {
    BatchRequest request = Request(macs);
    request.packagePath = package;
    request.confirmDuplicates = [this, confirmDuplicates](const std::vector<std::string>& asked) {
        duplicatesAsked = asked;
        return confirmDuplicates;
    };
    return StartBatch(request);
}

BatchStartResult CSessionHarness::StartBatch(const BatchRequest& request) {
    const BatchStartResult result = m_session->StartBatch(request);
    if (result == BatchStartResult::Started) {
        m_batchMacs.clear();
        m_finalSeen.clear();
        m_unfinishedAtEnd.clear();
        for (const DeviceInfoPtr& record : request.devices) {
            m_batchMacs.insert(record->mac);
        }
        if (request.waitSeconds > 0) {
            m_batchMacs.insert(request.awaitedMacs.begin(), request.awaitedMacs.end());
        }
        m_endsAwaited = m_batchEnds + 1;
    }
    return result;
}

bool CSessionHarness::WaitForBatchEnd(int timeoutMs) {
    return WaitUntil([this] { return m_batchEnds >= m_endsAwaited; }, timeoutMs);
}

void CSessionHarness::RunBatch(const std::vector<std::string>& macs, const std::string& package) {
    ASSERT_EQ(StartBatch(macs, package), BatchStartResult::Started);
    ASSERT_TRUE(WaitForBatchEnd()) << "the batch ends";
    EXPECT_EQ(m_unfinishedAtEnd, std::vector<std::string>{})
        << "every final result comes before the batch's end";
    EXPECT_EQ(m_lastBatchJobs, static_cast<int>(m_batchMacs.size()));
}

bool CSessionHarness::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        Drain();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        // Wakes at the next message, or soon to look at the condition again.
        if (auto event = m_queue->Pop(10)) {
            Handle(*event);
        }
    }
}

bool CSessionHarness::WaitForLog(const std::string& fragment, int count, int timeoutMs) {
    return WaitUntil([&] { return m_log->Count(fragment) >= count; }, timeoutMs);
}

void CSessionHarness::Drain() {
    while (auto event = m_queue->TryPop()) {
        Handle(*event);
    }
}

namespace {

// The message an event stands for, as the upgrade tests compare them.
SeenMessage SeenOf(const SessionEvent& event) {
    struct Of {
        SeenMessage operator()(const BatchPreparedEvent& e) const {
            return {WM_BATCH_PREPARED, e.prepared, e.mac};
        }
        SeenMessage operator()(const CameraProgressEvent& e) const {
            return {WM_UPGRADE_PROGRESS, e.progress, e.mac};
        }
        SeenMessage operator()(const CameraStateEvent& e) const {
            return {WM_UPGRADE_RESULT, NumberOf(e.state), e.mac};
        }
        SeenMessage operator()(const CameraResultEvent& e) const {
            return {WM_UPGRADE_RESULT, NumberOf(e.code), e.mac};
        }
        SeenMessage operator()(const CameraStepEvent& e) const {
            return {WM_UPGRADE_STEP, PathStepWord(e.step, e.steps), e.mac};
        }
        SeenMessage operator()(const BatchPausedEvent& e) const {
            return {WM_BATCH_PAUSED, e.paused ? 1 : 0, ""};
        }
        SeenMessage operator()(const BatchEndedEvent& e) const {
            return {WM_BATCH_END, e.jobs, ""};
        }
        SeenMessage operator()(const AiVersionsReadEvent& e) const {
            const AiVersionResult& r = e.result;
            return {WM_AI_VERSION_RESULT, AI_VERSION_READ,
                    FormatAiVersionText(r.mac, r.structVersion, r.faceVersion, r.vehicleVersion)};
        }
        SeenMessage operator()(const AiVersionsFailedEvent& e) const {
            return {WM_AI_VERSION_RESULT, AI_VERSION_FAILED, e.result.mac};
        }
        SeenMessage operator()(const WebPageReadyEvent& e) const {
            return {WM_WEB_PAGE_READY, 0, e.url};
        }
        SeenMessage operator()(const ReachNoticeEvent& e) const {
            return {WM_REACH_NOTICE, 0, e.text};
        }
        SeenMessage operator()(const InventoryNoticeEvent& e) const {
            return {WM_INVENTORY_NOTICE, 0, e.text};
        }
        SeenMessage operator()(const DeviceFoundEvent&) const { return {}; }
        SeenMessage operator()(const DeviceChangedEvent&) const { return {}; }
        SeenMessage operator()(const DeviceLostEvent&) const { return {}; }
    };
    return std::visit(Of{}, event);
}

}  // namespace

void CSessionHarness::Handle(SessionEvent& event) {
    m_events.push_back(event);
    if (const auto* lost = std::get_if<DeviceLostEvent>(&event)) {
        m_gone.push_back(lost->mac);
        return;
    }
    if (std::holds_alternative<DeviceFoundEvent>(event) ||
        std::holds_alternative<DeviceChangedEvent>(event)) {
        return;
    }
    if (const auto* progress = std::get_if<CameraProgressEvent>(&event)) {
        m_progress[progress->mac].push_back(progress->progress);
        return;
    }
    if (const auto* state = std::get_if<CameraStateEvent>(&event)) {
        m_results[state->mac].push_back(state->state);
    } else if (const auto* result = std::get_if<CameraResultEvent>(&event)) {
        m_results[result->mac].push_back(result->code);
        m_finalSeen.insert(result->mac);
    } else if (const auto* end = std::get_if<BatchEndedEvent>(&event)) {
        ++m_batchEnds;
        m_lastBatchJobs = end->jobs;
        m_unfinishedAtEnd.clear();
        for (const std::string& mac : m_batchMacs) {
            if (m_finalSeen.count(mac) == 0) {
                m_unfinishedAtEnd.push_back(mac);
            }
        }
    }
    m_messages.push_back(SeenOf(event));
}

std::optional<UpgradeResult> CSessionHarness::FinalResult(const std::string& mac) const {
    const auto it = m_results.find(mac);
    if (it == m_results.end() || it->second.empty()) {
        return std::nullopt;
    }
    const UpgradeResult* last = std::get_if<UpgradeResult>(&it->second.back());
    return last != nullptr ? std::optional<UpgradeResult>(*last) : std::nullopt;
}

std::vector<CameraCode> CSessionHarness::Results(const std::string& mac) const {
    const auto it = m_results.find(mac);
    return it == m_results.end() ? std::vector<CameraCode>{} : it->second;
}

int CSessionHarness::Attempts(const std::string& mac) const {
    int n = 0;
    for (const CameraCode& code : Results(mac)) {
        n += code == CameraCode{UpgradeProgress::Starting} ? 1 : 0;
    }
    return n;
}

std::vector<int> CSessionHarness::Progress(const std::string& mac) const {
    const auto it = m_progress.find(mac);
    return it == m_progress.end() ? std::vector<int>{} : it->second;
}

DeviceInfoPtr CSessionHarness::Record(const std::string& mac) const {
    return m_session ? m_session->FindDevice(mac) : nullptr;
}
