// The device password never reaches the log or any file a run writes, except
// the per-user settings file, which only its owner may read: not through the
// login on the cameras' protocol, nor the HTTP requests, nor a whole upgrade.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "SimFleet.h"
#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/MessageQueue.h"
#include "app/Settings.h"
#include "device/Base64.h"
#include "device/NetDVSDevice.h"
#include "discovery/LanProbeSearch.h"
#include "discovery/SearchIntake.h"
#include "http/AiQuery.h"
#include "http/AiVersionQuery.h"
#include "support/TestSupport.h"
#include "upgrade/UpgradeEngine.h"
#include "upgrade/UpgradeTimings.h"

namespace fs = std::filesystem;

namespace {

// Distinct enough that it cannot turn up by chance; the wrong one is the
// password of a refused login, which must not show either.
const std::string kPassword = "Qz7-kerbal-Wq4!";
const std::string kWrongPassword = "Xy9-nimbus-Tt2?";

std::string HexOf(const std::string& text, bool upper) {
    std::string out;
    char pair[3];
    for (unsigned char c : text) {
        std::snprintf(pair, sizeof(pair), upper ? "%02X" : "%02x", c);
        out += pair;
    }
    return out;
}

// The forms in which a careless line could carry a secret.
std::vector<std::string> FormsOf(const std::string& secret) {
    return {secret, Base64Encode(reinterpret_cast<const uint8_t*>(secret.data()), secret.size()),
            HexOf(secret, false), HexOf(secret, true)};
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Every regular file under `root` that holds one of the forms of a secret.
std::vector<std::string> FilesHolding(const fs::path& root,
                                      const std::vector<std::string>& secrets) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string content = ReadAll(entry.path());
        for (const std::string& secret : secrets) {
            for (const std::string& form : FormsOf(secret)) {
                if (content.find(form) != std::string::npos) {
                    found.push_back(entry.path().string() + " holds " + form);
                }
            }
        }
    }
    return found;
}

std::vector<std::string> LinesHolding(const CLogCapture& log,
                                      const std::vector<std::string>& secrets) {
    std::vector<std::string> found;
    for (const LogLine& line : log.Lines()) {
        for (const std::string& secret : secrets) {
            for (const std::string& form : FormsOf(secret)) {
                if (line.text.find(form) != std::string::npos) {
                    found.push_back(line.function + ": " + line.text);
                }
            }
        }
    }
    return found;
}

std::string LastLines(const CLogCapture& log, size_t count) {
    const auto lines = log.Lines();
    std::string text;
    for (size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) {
        text += lines[i].function + ": " + lines[i].text + "\n";
    }
    return text;
}

// A sandbox for the whole run: per-user folder, program settings, and the
// log file with every level written.
class CSecretRun {
public:
    CSecretRun() : m_xdg("XDG_DATA_HOME", m_box.File("data")) {
        ResetIniPaths();
        GetProgramIni().SetPath(m_box.File("firmhand.ini"));
        m_level = GetLogInstance()->GetLevel();
        GetLogInstance()->SetLevel(kLogInfo);
        GetLogInstance()->SetFilePath(m_box.File("firmhand.log"));
    }
    ~CSecretRun() {
        GetLogInstance()->SetFilePath("");
        GetLogInstance()->SetLevel(m_level);
        GetProgramIni().ClearOverrides();
        ResetIniPaths();
    }
    CSecretRun(const CSecretRun&) = delete;
    CSecretRun& operator=(const CSecretRun&) = delete;

    fs::path Root() const { return m_box.Path(); }
    std::string File(const std::string& name) const { return m_box.File(name); }
    CLogCapture& Log() { return m_log; }

private:
    testing_support::CSandbox m_box;
    testing_support::CScopedEnv m_xdg;
    CLogCapture m_log;
    int m_level = kLogInfo;
};

SimCameraConfig Camera(int n, SimProtection protection) {
    const int pidPart = static_cast<int>(getpid() % 200) + 20;
    SimCameraConfig config;
    char text[64];
    std::snprintf(text, sizeof(text), "02:5E:%02X:00:00:%02X", pidPart, n);
    config.mac = text;
    std::snprintf(text, sizeof(text), "127.%d.231.%d", pidPart, n + 1);
    config.ip = text;
    // Distinct slave addresses, so that no camera waits for another's.
    std::snprintf(text, sizeof(text), "127.%d.232.%d", pidPart, n + 1);
    config.ip2 = text;
    config.mask2 = "255.0.0.0";
    config.password = kPassword;
    config.protection = protection;
    config.flashMs = 100;
    config.offlineMs = 700;
    return config;
}

const std::map<SimProtection, const char*> kProtections = {
    {SimProtection::None, "none"},
    {SimProtection::Xor, "xor"},
    {SimProtection::LoginEncrypt1, "hash"},
    {SimProtection::LoginEncrypt2, "hash and name"},
};

}  // namespace

TEST(PasswordNotLogged, LoginsAndQueriesWithEveryProtectionLeaveNoTrace) {
    CSecretRun run;
    CSimFleet fleet;
    int n = 0;
    for (const auto& [protection, name] : kProtections) {
        fleet.AddCamera(Camera(++n, protection));
    }
    std::string error;
    ASSERT_TRUE(fleet.Start(&error)) << error;

    for (const SimCameraInfo& camera : fleet.Cameras()) {
        for (const std::string& password : {kPassword, kWrongPassword}) {
            std::shared_ptr<CNetDVSDevice> client;
            ASSERT_EQ(CNetDVSDevice::CreateServerObject(client, camera.mac, camera.ip,
                                                        camera.dataPort, nullptr, nullptr, 3000),
                      NET_OK);
            NET_DEVICE_INFO info;
            const uint32_t result = client->LogIn("admin", password.c_str(), &info, false);
            EXPECT_EQ(result, password == kPassword ? NET_OK : NET_LOGIN_WRONG_PASSWORD)
                << camera.mac;
            client.reset();

            // The analytics query sends the same password over HTTP (digest).
            auto record = MakeEmptyDeviceInfo();
            CopyField(record->mac, camera.mac);
            CopyField(record->ip, camera.ip);
            record->dataPort = camera.dataPort;
            record->httpPort = camera.httpPort;
            const CWindowMessage reply = RunAiQuery(MakeAiQuery(*record, "admin", password));
            EXPECT_EQ(reply.wParam, AI_VERSION_READ) << camera.mac;
        }
    }
    fleet.Stop();

    // The login lines were written, only without the secret.
    EXPECT_GE(run.Log().Count("password: [hidden " + std::to_string(kPassword.size()) + "]"), 4);
    EXPECT_EQ(LinesHolding(run.Log(), {kPassword, kWrongPassword}), std::vector<std::string>{});
    EXPECT_FALSE(ReadAll(run.File("firmhand.log")).empty());
    EXPECT_EQ(FilesHolding(run.Root(), {kPassword, kWrongPassword}), std::vector<std::string>{});
}

TEST(PasswordNotLogged, UpgradeRunKeepsItOnlyInTheOwnersSettingsFile) {
    CSecretRun run;
    for (const auto& [key, value] :
         std::map<std::string, std::string>{{settings::kWaitIp2ChangeTimeout, "2"},
                                            {settings::kWaitDeviceOfflineTimeout, "5"},
                                            {settings::kWaitRebootTimeout, "10"},
                                            {settings::kWaitUpgradeProgressTimeout, "5"},
                                            {settings::kWaitUpgradeCompleteTimeout, "5"}}) {
        GetProgramIni().SetOverride(key, value);
    }
    UpgradeTimings timings;
    timings.connectTimeoutMs = 2000;
    timings.retryPauseMs = 20;
    timings.ackPollMs = 5;
    timings.offlineStretchMs = 300;
    SetUpgradeTimingsForTests(timings);

    CSimFleet fleet;
    std::vector<std::string> macs;
    int n = 10;
    for (const auto& [protection, name] : kProtections) {
        const SimCameraConfig camera = Camera(++n, protection);
        fleet.AddCamera(camera);
        macs.push_back(camera.mac);
    }
    std::string error;
    ASSERT_TRUE(fleet.Start(&error)) << error;
    std::string targets;
    for (const SimCameraInfo& camera : fleet.Cameras()) {
        targets +=
            (targets.empty() ? "" : ",") + camera.ip + ":" + std::to_string(camera.searchPort);
    }
    GetProgramIni().SetOverride(settings::kSearchTargets, targets);
    LANPROBE_SEARCH_SetNetworkAdapter("lo");
    LANPROBE_SEARCH_SetRoundIntervalMs(150);

    // The front-end's part: search reports become records, results end the batch.
    auto queue = std::make_shared<CMessageQueue>();
    CUpgradeEngine engine(queue);
    CSearchIntake intake(queue);
    ASSERT_TRUE(intake.Start([] { return true; }, 10));
    std::map<std::string, DeviceInfoPtr> records;
    std::map<std::string, int> results;
    bool batchOver = false;
    // Handles the messages posted so far; WaitFor calls it between its looks.
    const auto pump = [&] {
        while (auto message = queue->TryPop()) {
            if (message->id == WM_DEVICE_NOTIFY && message->wParam != DEVICE_NOTIFY_GONE) {
                if (auto record = message->TakeDevice()) {
                    engine.OnSearchReport(message->wParam, *record);
                    records[record->mac] = std::move(record);
                }
            } else if (message->id == WM_UPGRADE_RESULT) {
                results[message->Text()] = message->wParam;
                batchOver = engine.OnUpgradeResult(message->wParam, message->Text()) || batchOver;
            }
        }
    };
    ASSERT_TRUE(testing_support::WaitFor([&] {
        pump();
        return records.size() == macs.size();
    })) << "every camera is found";

    // A package file in the sandbox (new style).
    std::vector<uint8_t> package(20000, 0x5A);
    const uint8_t magic[] = {0x18, 0x01, 0x22, 0x20};
    std::copy(std::begin(magic), std::end(magic), package.begin());
    {
        std::ofstream out(run.File("fw.bin"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(package.data()),
                  static_cast<std::streamsize>(package.size()));
    }
    BatchRequest request;
    for (const std::string& mac : macs) {
        request.devices.push_back(records[mac]);
    }
    request.packagePath = run.File("fw.bin");
    request.user = "admin";
    request.password = kPassword;
    ASSERT_EQ(engine.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(testing_support::WaitFor(
        [&] {
            pump();
            return batchOver;
        },
        std::chrono::seconds(60)))
        << "the batch ends; last log lines:\n"
        << LastLines(run.Log(), 30);
    for (const std::string& mac : macs) {
        EXPECT_EQ(results[mac], 0) << mac;
    }
    intake.Stop();
    engine.WaitForWorkers(10000);
    fleet.Stop();
    LANPROBE_SEARCH_SetRoundIntervalMs(0);
    SetUpgradeTimingsForTests(UpgradeTimings{});

    // The remembered credentials are in the per-user file, and only there.
    const std::string userFile = GetUserIni().Path();
    ASSERT_FALSE(userFile.empty());
    EXPECT_EQ(GetUserIni().GetString(settings::kPassword, ""), kPassword);
    const auto holders = FilesHolding(run.Root(), {kPassword});
    ASSERT_EQ(holders.size(), 1u) << ::testing::PrintToString(holders);
    EXPECT_EQ(holders[0].rfind(fs::path(userFile).string() + " holds ", 0), 0u) << holders[0];
    EXPECT_EQ(LinesHolding(run.Log(), {kPassword}), std::vector<std::string>{});

    struct stat info {};
    ASSERT_EQ(stat(userFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, getuid());
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "readable and writable by its owner only";
    ASSERT_EQ(stat(fs::path(userFile).parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the per-user folder is closed to others";
}
