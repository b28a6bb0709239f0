#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/IniFile.h"
#include "app/Settings.h"
#include "app/SettingsView.h"
#include "platform/Paths.h"
#include "support/PrivateTmpfs.h"
#include "support/TestSupport.h"

using testing_support::CSandbox;
using testing_support::CScopedCwd;
using testing_support::CScopedEnv;

namespace {

// Points both settings files at a sandbox: the current directory and the
// per-user folder ($XDG_DATA_HOME) live inside it.
class SettingsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_box.File("cwd"));
        m_cwd = std::make_unique<CScopedCwd>(m_box.File("cwd"));
        m_xdg = std::make_unique<CScopedEnv>("XDG_DATA_HOME", m_box.File("data"));
        ResetIniPaths();
    }
    void TearDown() override {
        ResetIniPaths();
        m_cwd.reset();
    }
    void WriteProgram(const std::string& content) { m_box.Write("cwd/firmhand.ini", content); }

    CSandbox m_box;
    std::unique_ptr<CScopedCwd> m_cwd;
    std::unique_ptr<CScopedEnv> m_xdg;
};

}  // namespace

TEST_F(SettingsFiles, ProgramFileInCurrentDirectoryWins) {
    WriteProgram("[CONFIG]\nTryUpgradeMaxCount=7\n");
    EXPECT_EQ(GetProgramIni().Path(), m_box.File("cwd/firmhand.ini"));
    EXPECT_EQ(settings::GetInt(settings::kTryUpgradeMaxCount), 7);
}

TEST_F(SettingsFiles, ProgramFileFallsBackToExecutableFolder) {
    EXPECT_EQ(GetProgramIni().Path(), platform::ExecutableFolder() + "/firmhand.ini");
}

TEST_F(SettingsFiles, BooleansFollowTrueOrOne) {
    WriteProgram("[CONFIG]\nShowSlaveIp=TRUE\nAutoUpgradeTest=1\n");
    EXPECT_TRUE(settings::GetBool(settings::kShowSlaveIp));
    EXPECT_TRUE(settings::GetBool(settings::kAutoUpgradeTest));
    WriteProgram("[CONFIG]\nShowSlaveIp=yes\nAutoUpgradeTest=2\n");
    EXPECT_FALSE(settings::GetBool(settings::kShowSlaveIp));
    EXPECT_FALSE(settings::GetBool(settings::kAutoUpgradeTest));
    WriteProgram("[CONFIG]\nShowSlaveIp=\n");
    EXPECT_TRUE(settings::GetBool(settings::kShowSlaveIp)) << "empty text gives the default";
    WriteProgram("");
    EXPECT_TRUE(settings::GetBool(settings::kShowSlaveIp));
}

TEST_F(SettingsFiles, IntegersNegativeAndNonNumeric) {
    WriteProgram("[config]\nwaitreboottimeout=-5\nAutoUpgradeDelay=-20\n");
    EXPECT_EQ(settings::GetInt(settings::kWaitRebootTimeout), 240) << "negative means default";
    EXPECT_EQ(settings::GetInt(settings::kAutoUpgradeDelay), -20) << "the one exception";
    WriteProgram("[CONFIG]\nWaitRebootTimeout=abc\nTryUpgradeMaxCount=12abc\n");
    EXPECT_EQ(settings::GetInt(settings::kWaitRebootTimeout), 0);
    EXPECT_EQ(settings::GetInt(settings::kTryUpgradeMaxCount), 12);
    EXPECT_EQ(ParseLeadingInt("  +42"), 42);
    EXPECT_EQ(ParseLeadingInt("-"), 0);
    EXPECT_EQ(ParseLeadingInt("99999999999"), 2147483647);
}

TEST_F(SettingsFiles, SectionAndKeyIgnoreCaseAndOtherSections) {
    WriteProgram("[Other]\nTryUpgradeMaxCount=3\n[Config]\n  TRYUPGRADEMAXCOUNT = 9 \n");
    EXPECT_EQ(settings::GetInt(settings::kTryUpgradeMaxCount), 9);
}

TEST_F(SettingsFiles, LongValueIsCutTo1023Characters) {
    WriteProgram("[CONFIG]\nUpgradeDeviceIp=" + std::string(1100, 'x') + "\n");
    EXPECT_EQ(settings::GetString(settings::kUpgradeDeviceIp), std::string(1023, 'x'));
    // Characters, not bytes: a multi-byte text is cut on a character edge.
    std::string wide;
    for (int i = 0; i < 1100; ++i) {
        wide += "\xE5\x85\xA8";
    }
    WriteProgram("[CONFIG]\nUpgradeDeviceIp=" + wide + "\n");
    EXPECT_EQ(settings::GetString(settings::kUpgradeDeviceIp).size(), 1023u * 3);
}

TEST_F(SettingsFiles, UserFolderIsCreatedAndFileIsPrivate) {
    ASSERT_FALSE(platform::PathFileExists(m_box.File("data/KMR")));
    EXPECT_EQ(settings::GetString(settings::kUsername), "admin");
    EXPECT_EQ(settings::GetString(settings::kPassword), "739518");
    EXPECT_TRUE(platform::PathFileExists(m_box.File("data/KMR")));

    ASSERT_TRUE(settings::WriteUserString(settings::kPassword, "s3cret"));
    ASSERT_TRUE(settings::WriteUserString(settings::kUsername, "tech"));
    EXPECT_EQ(settings::GetString(settings::kPassword), "s3cret");
    EXPECT_EQ(settings::GetString(settings::kUsername), "tech");
    struct stat st {};
    ASSERT_EQ(stat(m_box.File("data/KMR/firmhand.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(settings::WriteUserString(settings::kTryUpgradeMaxCount, "1"))
        << "program keys are never written";
}

TEST_F(SettingsFiles, WriteReplacesValueAndKeepsOtherLines) {
    CIniFile ini(m_box.File("x.ini"));
    m_box.Write("x.ini", "; comment\n[CONFIG]\nA=1\nB=2\n\n[Other]\nA=3\n");
    ASSERT_TRUE(ini.WriteString("a", "10"));
    ASSERT_TRUE(ini.WriteString("C", "30"));
    ASSERT_TRUE(ini.WriteString("Z", "1", "New"));
    EXPECT_EQ(m_box.Read("x.ini"),
              "; comment\n[CONFIG]\nA=10\nB=2\nC=30\n\n[Other]\nA=3\n[New]\nZ=1\n");
    // No temporary files are left behind by the atomic replacement.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_box.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 2);  // cwd/ and x.ini
}

TEST_F(SettingsFiles, FailedWriteLeavesFileIntact) {
    // A full disk: the replacement cannot be written, the file stays as it was.
    testing_support::CPrivateTmpfs disk;
    std::string error;
    if (disk.Mount(m_box.File("disk"), 64 * 1024, error)) {
        const std::string before = "[CONFIG]\nA=1\nB=" + std::string(3000, 'b') + "\n";
        m_box.Write("disk/x.ini", before);
        CIniFile full(m_box.File("disk/x.ini"));
        ASSERT_TRUE(disk.Fill(error)) << error;
        EXPECT_FALSE(full.WriteString("A", std::string(5000, 'a')));
        EXPECT_EQ(m_box.Read("disk/x.ini"), before);
        EXPECT_EQ(full.GetString("A", "d"), "1");
    }
    CIniFile ini(m_box.File("missing-folder/x.ini"));
    EXPECT_FALSE(ini.WriteString("A", "1"));
    CIniFile unresolved;
    EXPECT_FALSE(unresolved.WriteString("A", "1"));
    EXPECT_EQ(unresolved.GetString("A", "d"), "d");
}

TEST_F(SettingsFiles, ARunsOverridesWinOverTheFileForThatRunOnly) {
    WriteProgram("[CONFIG]\nTryUpgradeMaxCount=7\nWaitRebootTimeout=9\n");
    const CSettingsView run({{"tryupgrademaxcount", "2"}, {"WaitRebootTimeout", "-3"}});
    EXPECT_EQ(run.GetInt(settings::kTryUpgradeMaxCount), 2);
    EXPECT_EQ(run.GetInt(settings::kWaitRebootTimeout), 240);  // negative: the default
    EXPECT_EQ(CSettingsView().GetInt(settings::kTryUpgradeMaxCount), 7);
    EXPECT_EQ(settings::GetInt(settings::kTryUpgradeMaxCount), 7);
    EXPECT_NE(m_box.Read("cwd/firmhand.ini").find("=7"), std::string::npos);
}

// A settings file that another user could have written is skipped: in a
// shared current folder it could send the password to a device of its own.
TEST_F(SettingsFiles, AProgramFileOthersCouldHaveWrittenIsSkipped) {
    WriteProgram("[CONFIG]\nUpgradeDeviceIp=127.0.66.6\nTryUpgradeMaxCount=7\n");
    const std::string rogue = m_box.File("cwd/firmhand.ini");
    ASSERT_EQ(chmod(rogue.c_str(), 0664), 0);
    EXPECT_EQ(GetProgramIni().Path(), platform::ExecutableFolder() + "/firmhand.ini");
    EXPECT_EQ(settings::GetString(settings::kUpgradeDeviceIp), "");

    // Owned by another user (root may hand it over; others cannot).
    ASSERT_EQ(chmod(rogue.c_str(), 0644), 0);
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the file to another user";
    }
    ASSERT_EQ(chown(rogue.c_str(), 65534, 65534), 0);
    ResetIniPaths();
    EXPECT_EQ(GetProgramIni().Path(), platform::ExecutableFolder() + "/firmhand.ini");
    EXPECT_EQ(settings::GetInt(settings::kTryUpgradeMaxCount), 30);
    // Handed over after the path was chosen: each read checks again.
    ASSERT_EQ(chown(rogue.c_str(), 0, 0), 0);
    ResetIniPaths();
    EXPECT_EQ(settings::GetInt(settings::kTryUpgradeMaxCount), 7);
    ASSERT_EQ(chown(rogue.c_str(), 65534, 65534), 0);
    EXPECT_EQ(settings::GetInt(settings::kTryUpgradeMaxCount), 30);
    EXPECT_EQ(settings::GetString(settings::kUpgradeDeviceIp), "");
}
