#include "EngineHarness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <random>

#include "app/IniFile.h"
#include "app/Settings.h"
#include "discovery/LanProbeSearch.h"
#include "upgrade/UpgradeTimings.h"

namespace {
// Each harness in this process takes its own block of loopback addresses.
std::atomic<int> g_nextBase{0};
}  // namespace

CEngineHarness::CEngineHarness() {
    // 127.<pid-based>.<block>.n keeps parallel test processes apart.
    m_base = g_nextBase.fetch_add(1);
    m_xdg = std::make_unique<testing_support::CScopedEnv>("XDG_DATA_HOME", m_box.File("data"));
    ResetIniPaths();
    GetProgramIni().SetPath(m_box.File("firmhand.ini"));
    SetSetting(settings::kWaitIp2ChangeTimeout, "2");
    SetSetting(settings::kWaitDeviceOfflineTimeout, "5");
    SetSetting(settings::kWaitRebootTimeout, "10");
    SetSetting(settings::kWaitUpgradeModeTimeout, "10");
    SetSetting(settings::kWaitUpgradeProgressTimeout, "5");
    SetSetting(settings::kWaitUpgradeCompleteTimeout, "5");
    UpgradeTimings timings;
    timings.connectTimeoutMs = 2000;
    timings.retryPauseMs = 20;
    timings.upgradeModePauseMs = 50;
    timings.ackPollMs = 5;
    timings.offlineStretchMs = 300;
    SetUpgradeTimingsForTests(timings);
    m_log = std::make_unique<CLogCapture>();
    GetLogInstance()->SetEchoToStderr(std::getenv("FH_TEST_ECHO") != nullptr);
}

CEngineHarness::~CEngineHarness() {
    if (m_engine) {
        m_engine->CancelAll();
        m_engine->WaitForWorkers(30000);
    }
    if (m_intake) {
        m_intake->Stop();
    }
    m_fleet.Stop();
    LANPROBE_SEARCH_SetRoundIntervalMs(0);
    SetUpgradeTimingsForTests(UpgradeTimings{});
    m_log.reset();
    ResetIniPaths();
}

SimCameraConfig CEngineHarness::Camera(int n) const {
    const int pidPart = static_cast<int>(getpid() % 200) + 20;
    SimCameraConfig config;
    char text[64];
    std::snprintf(text, sizeof(text), "02:00:%02X:%02X:00:%02X", pidPart, m_base & 0xFF, n);
    config.mac = text;
    std::snprintf(text, sizeof(text), "127.%d.%d.%d", pidPart, m_base % 100, n + 1);
    config.ip = text;
    std::snprintf(text, sizeof(text), "127.%d.%d.%d", pidPart, 100 + m_base % 100, n + 1);
    config.ip2 = text;
    config.mask2 = "255.0.0.0";
    config.name = "Cam " + std::to_string(n);
    config.flashMs = 150;
    config.offlineMs = 900;
    return config;
}

void CEngineHarness::SetSetting(const std::string& key, const std::string& value) {
    GetProgramIni().SetOverride(key, value);
}

void CEngineHarness::Start() {
    std::string error;
    ASSERT_TRUE(m_fleet.Start(&error)) << error;
    std::string targets;
    for (const SimCameraInfo& camera : m_fleet.Cameras()) {
        targets +=
            (targets.empty() ? "" : ",") + camera.ip + ":" + std::to_string(camera.searchPort);
    }
    SetSetting(settings::kSearchTargets, targets);
    LANPROBE_SEARCH_SetNetworkAdapter("lo");
    LANPROBE_SEARCH_SetRoundIntervalMs(150);
    m_engine = std::make_unique<CUpgradeEngine>(m_queue);
    m_intake = std::make_unique<CSearchIntake>(m_queue);
    ASSERT_TRUE(m_intake->Start([] { return true; }, 10));
    const size_t count = m_fleet.Cameras().size();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_records.size() < count && std::chrono::steady_clock::now() < end) {
        Pump(20);
    }
    ASSERT_EQ(m_records.size(), count) << "every camera is found";
}

std::string CEngineHarness::WritePackage(const std::string& name,
                                         const std::vector<uint8_t>& data) {
    std::ofstream out(m_box.File(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    return m_box.File(name);
}

std::string CEngineHarness::NewStylePackage(const std::string& name, size_t size) {
    std::vector<uint8_t> data(size + 4);
    std::mt19937 random(7);
    for (auto& byte : data) {
        byte = static_cast<uint8_t>(random());
    }
    const uint8_t magic[] = {0x18, 0x01, 0x22, 0x20};
    std::memcpy(data.data(), magic, 4);
    return WritePackage(name, data);
}

BatchStartResult CEngineHarness::StartBatch(const std::vector<std::string>& macs,
                                            const std::string& package, bool confirmDuplicates) {
    BatchRequest request;
    for (const std::string& mac : macs) {
        if (auto record = Record(mac)) {
            request.devices.push_back(record);
        }
    }
    request.packagePath = package;
    request.user = "admin";
    request.password = password;
    request.confirmDuplicates = [this, confirmDuplicates](const std::vector<std::string>& dup) {
        duplicatesAsked = dup;
        return confirmDuplicates;
    };
    m_batchOver = false;
    return m_engine->StartBatch(request);
}

bool CEngineHarness::WaitForBatchEnd(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_batchOver && std::chrono::steady_clock::now() < end) {
        Pump(20);
    }
    return m_batchOver;
}

void CEngineHarness::RunBatch(const std::vector<std::string>& macs, const std::string& package) {
    ASSERT_EQ(StartBatch(macs, package), BatchStartResult::Started);
    ASSERT_TRUE(WaitForBatchEnd()) << "the batch ends";
}

void CEngineHarness::Pump(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (auto message = m_queue->Pop(5)) {
            Handle(*message);
        }
    }
}

void CEngineHarness::Handle(CWindowMessage& message) {
    switch (message.id) {
        case WM_DEVICE_NOTIFY:
            if (message.wParam == DEVICE_NOTIFY_GONE) {
                break;
            }
            if (auto record = message.TakeDevice()) {
                m_engine->OnSearchReport(message.wParam, *record);
                m_records[record->mac] = std::move(record);
            }
            break;
        case WM_UPGRADE_RESULT:
            m_results[message.Text()].push_back(message.wParam);
            if (m_engine->OnUpgradeResult(message.wParam, message.Text())) {
                m_batchOver = true;
            }
            break;
        case WM_UPGRADE_PROGRESS:
            m_progress[message.Text()].push_back(message.wParam);
            break;
        default:
            break;
    }
}

int CEngineHarness::FinalResult(const std::string& mac) const {
    const auto it = m_results.find(mac);
    return it == m_results.end() || it->second.empty() ? -1 : it->second.back();
}

std::vector<int> CEngineHarness::Results(const std::string& mac) const {
    const auto it = m_results.find(mac);
    return it == m_results.end() ? std::vector<int>{} : it->second;
}

int CEngineHarness::Attempts(const std::string& mac) const {
    int n = 0;
    for (int code : Results(mac)) {
        n += code == 16;
    }
    return n;
}

std::vector<int> CEngineHarness::Progress(const std::string& mac) const {
    const auto it = m_progress.find(mac);
    return it == m_progress.end() ? std::vector<int>{} : it->second;
}

DeviceInfoPtr CEngineHarness::Record(const std::string& mac) const {
    const auto it = m_records.find(mac);
    return it == m_records.end() ? nullptr : it->second;
}
