// The device password never reaches the log or any file a run writes, except
// the per-user settings file, which only its owner may read: not through the
// login on the cameras' protocol, nor the HTTP requests, nor a whole upgrade.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/IniFile.h"
#include "app/Settings.h"
#include "device/Base64.h"
#include "device/NetDVSDevice.h"
#include "http/AiQuery.h"
#include "support/SessionHarness.h"
#include "support/TestLinkTimer.h"

namespace fs = std::filesystem;

using testing_support::ReadFile;

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

// Every regular file under `root` that holds one of the forms of a secret.
std::vector<std::string> FilesHolding(const fs::path& root,
                                      const std::vector<std::string>& secrets) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        const std::string content = ReadFile(entry.path());
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

// Writes the log (every level) to a file for the life of the object.
class CLogFile {
public:
    explicit CLogFile(const std::string& path) { GetLogInstance()->SetFilePath(path); }
    ~CLogFile() { GetLogInstance()->SetFilePath(""); }
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;
};

SimCameraConfig Camera(const CSessionHarness& h, int n, SimProtection protection) {
    SimCameraConfig config = h.Camera(n);
    config.password = kPassword;
    config.protection = protection;
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
    CSessionHarness h;
    CLogFile logFile(h.Sandbox().File("firmhand.log"));
    int n = 0;
    for (const auto& [protection, name] : kProtections) {
        h.Fleet().AddCamera(Camera(h, ++n, protection));
    }
    ASSERT_TRUE(h.Start());

    std::vector<AiQuery> queries;
    for (const SimCameraInfo& camera : h.Fleet().Cameras()) {
        for (const std::string& password : {kPassword, kWrongPassword}) {
            std::shared_ptr<CNetDVSDevice> client;
            ASSERT_EQ(CNetDVSDevice::CreateServerObject(client, testing_support::TestLinkTimer(),
                                                        camera.mac, camera.ip, camera.dataPort,
                                                        nullptr, nullptr, 3000),
                      NET_OK);
            NET_DEVICE_INFO info;
            const uint32_t result = client->LogIn("admin", password.c_str(), &info, false);
            EXPECT_EQ(result, password == kPassword ? NET_OK : NET_LOGIN_WRONG_PASSWORD)
                << camera.mac;
            client.reset();
            // The analytics query sends the same password over HTTP (digest).
            queries.push_back(MakeAiQuery(*h.Record(camera.mac), "admin", password));
        }
    }
    const size_t count = queries.size();
    ASSERT_TRUE(h.Session().QueryAiVersions(std::move(queries)));
    std::vector<int> replies;
    ASSERT_TRUE(h.WaitUntil(
        [&] {
            replies.clear();
            for (const SeenMessage& message : h.Messages()) {
                if (message.id == WM_AI_VERSION_RESULT) {
                    replies.push_back(message.wParam);
                }
            }
            return replies.size() == count;
        },
        30000));
    EXPECT_EQ(replies, std::vector<int>(count, AI_VERSION_READ)) << "every camera answered";

    // The login lines were written, only without the secret.
    EXPECT_GE(h.Log().Count("password: [hidden " + std::to_string(kPassword.size()) + "]"), 4);
    EXPECT_EQ(LinesHolding(h.Log(), {kPassword, kWrongPassword}), std::vector<std::string>{});
    EXPECT_FALSE(ReadFile(h.Sandbox().File("firmhand.log")).empty());
    EXPECT_EQ(FilesHolding(h.Sandbox().Path(), {kPassword, kWrongPassword}),
              std::vector<std::string>{});
}

TEST(PasswordNotLogged, UpgradeRunKeepsItOnlyInTheOwnersSettingsFile) {
    CSessionHarness h;
    CLogFile logFile(h.Sandbox().File("firmhand.log"));
    std::vector<std::string> macs;
    int n = 10;
    for (const auto& [protection, name] : kProtections) {
        const SimCameraConfig camera = Camera(h, ++n, protection);
        h.Fleet().AddCamera(camera);
        macs.push_back(camera.mac);
    }
    ASSERT_TRUE(h.Start());
    h.password = kPassword;
    ASSERT_EQ(h.StartBatch(macs, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd()) << "the batch ends; last log lines:\n"
                                     << LastLines(h.Log(), 30);
    for (const std::string& mac : macs) {
        EXPECT_EQ(h.FinalResult(mac), UpgradeResult::Ok) << mac;
    }

    // The remembered credentials are in the per-user file, and only there.
    const std::string userFile = GetUserIni().Path();
    ASSERT_FALSE(userFile.empty());
    EXPECT_EQ(GetUserIni().GetString(settings::kPassword, ""), kPassword);
    const auto holders = FilesHolding(h.Sandbox().Path(), {kPassword});
    ASSERT_EQ(holders.size(), 1u) << ::testing::PrintToString(holders);
    EXPECT_EQ(holders[0].rfind(fs::path(userFile).string() + " holds ", 0), 0u) << holders[0];
    EXPECT_EQ(LinesHolding(h.Log(), {kPassword}), std::vector<std::string>{});

    struct stat info {};
    ASSERT_EQ(stat(userFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, getuid());
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "readable and writable by its owner only";
    ASSERT_EQ(stat(fs::path(userFile).parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the per-user folder is closed to others";
}
