// Where the remembered device password lives: the desktop keyring when one
// answers (the settings file then keeps none, and a password found there
// moves over), the owner-only settings file otherwise.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/IniFile.h"
#include "app/RememberedPassword.h"
#include "app/SecretStore.h"
#include "app/Settings.h"
#include "support/TestSupport.h"

using testing_support::CSandbox;
using testing_support::CScopedEnv;

using testing_support::ReadFile;

namespace {

const std::string kSecret = "Vb8-quokka-Lm3%";

// A keyring that answers or not, as the case needs.
class CMemorySecretStore : public ISecretStore {
public:
    explicit CMemorySecretStore(std::map<std::string, std::string>* items) : m_items(items) {}
    Found Lookup(const std::string& name, std::string& secret) override {
        if (m_items == nullptr) {
            return Found::Unavailable;
        }
        const auto it = m_items->find(name);
        if (it == m_items->end()) {
            return Found::No;
        }
        secret = it->second;
        return Found::Yes;
    }
    bool Store(const std::string& name, const std::string& secret) override {
        return m_items != nullptr && (*m_items)[name].assign(secret).size() == secret.size();
    }
    bool Clear(const std::string& name) override {
        return m_items != nullptr && m_items->erase(name) > 0;
    }

private:
    std::map<std::string, std::string>* m_items;
};

class RememberedPassword : public ::testing::Test {
protected:
    void SetUp() override {
        m_xdg = std::make_unique<CScopedEnv>("XDG_DATA_HOME", m_box.File("data"));
        ResetIniPaths();
    }
    void TearDown() override {
        settings::SetSecretStoreForTesting(nullptr);
        m_xdg.reset();
        ResetIniPaths();
    }
    std::string UserFile() const { return ReadFile(GetUserIni().Path()); }

    CSandbox m_box;
    std::unique_ptr<CScopedEnv> m_xdg;
};

}  // namespace

TEST_F(RememberedPassword, WithoutKeyringTheOwnerOnlySettingsFileKeepsIt) {
    settings::SetSecretStoreForTesting(std::make_unique<CMemorySecretStore>(nullptr));
    EXPECT_EQ(settings::GetString(settings::kPassword), "739518");
    ASSERT_TRUE(settings::WriteUserString(settings::kPassword, kSecret));
    EXPECT_EQ(settings::GetString(settings::kPassword), kSecret);
    EXPECT_NE(UserFile().find("Password=" + kSecret), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat(GetUserIni().Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(RememberedPassword, FilePasswordMovesToTheKeyringAndStaysOutOfTheFile) {
    std::map<std::string, std::string> keyring;
    settings::SetSecretStoreForTesting(std::make_unique<CMemorySecretStore>(nullptr));
    ASSERT_TRUE(settings::WriteUserString(settings::kUsername, "operator"));
    ASSERT_TRUE(settings::WriteUserString(settings::kPassword, "older"));

    // The first start with a keyring.
    settings::SetSecretStoreForTesting(std::make_unique<CMemorySecretStore>(&keyring));
    EXPECT_EQ(settings::GetString(settings::kPassword), "older");
    EXPECT_EQ(keyring["Password"], "older");
    EXPECT_EQ(UserFile().find("Password"), std::string::npos) << UserFile();
    EXPECT_NE(UserFile().find("Username=operator"), std::string::npos);

    ASSERT_TRUE(settings::WriteUserString(settings::kPassword, kSecret));
    EXPECT_EQ(keyring["Password"], kSecret);
    EXPECT_EQ(UserFile().find(kSecret), std::string::npos);
    // A later start reads it from the keyring.
    settings::SetSecretStoreForTesting(std::make_unique<CMemorySecretStore>(&keyring));
    EXPECT_EQ(settings::GetString(settings::kPassword), kSecret);
}

// Runs for real under tests/app/with-keyring.sh (a private D-Bus session with
// an unlocked GNOME Keyring); skipped elsewhere.
TEST_F(RememberedPassword, DesktopKeyringThroughTheSecretService) {
    const bool expected = std::getenv("FIRMHAND_EXPECT_KEYRING") != nullptr;
    if (!expected) {
        GTEST_SKIP() << "runs under tests/app/with-keyring.sh";
    }
    std::string probe;
    ASSERT_NE(MakeDesktopSecretStore()->Lookup("Password", probe), ISecretStore::Found::Unavailable)
        << "no Secret Service answers";
    settings::SetSecretStoreForTesting(std::make_unique<CMemorySecretStore>(nullptr));
    ASSERT_TRUE(settings::WriteUserString(settings::kPassword, kSecret));  // an older run's file

    settings::SetSecretStoreForTesting(MakeDesktopSecretStore());
    EXPECT_EQ(settings::GetString(settings::kPassword), kSecret);
    EXPECT_EQ(UserFile().find(kSecret), std::string::npos) << "moved out of the settings file";

    settings::SetSecretStoreForTesting(MakeDesktopSecretStore());  // the next start
    EXPECT_EQ(settings::GetString(settings::kPassword), kSecret);
    ASSERT_TRUE(settings::WriteUserString(settings::kPassword, kSecret + "2"));
    settings::SetSecretStoreForTesting(MakeDesktopSecretStore());
    EXPECT_EQ(settings::GetString(settings::kPassword), kSecret + "2");

    // No file of the session's home or of this run holds it in clear text.
    for (const std::string& root : {std::string(std::getenv("HOME")), m_box.Path()}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                EXPECT_EQ(ReadFile(entry.path()).find(kSecret), std::string::npos) << entry.path();
            }
        }
    }
    MakeDesktopSecretStore()->Clear("Password");
}
