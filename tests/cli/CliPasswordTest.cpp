// The device password off the command line: from an owner-only file, from
// FIRMHAND_PASSWORD or typed on the terminal; --password still works with a
// warning. The password shows in no process's arguments, no log and no file
// but the owner-only settings file.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "CliFixture.h"
#include "CliProcess.h"
#include "PasswordSource.h"
#include "app/IniFile.h"

using std::chrono::seconds;

using testing_support::ReadFile;

namespace {

const std::string kSecret = "Tq5-wombat-Zr8";

// The arguments of every process this test started and of theirs, down
// the whole tree (a helper a child starts would show a password too).
std::string ChildrenCommandLines(pid_t self) {
    std::map<pid_t, pid_t> parents;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = ReadFile(entry.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(stat.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        parents[std::stoi(name)] = parent;
    }
    std::string all;
    for (const auto& [pid, parent] : parents) {
        for (pid_t up = parent; up > 1; up = parents.count(up) ? parents[up] : 0) {
            if (up == self) {
                all += ReadFile("/proc/" + std::to_string(pid) + "/cmdline") + "\n";
                break;
            }
        }
    }
    return all;
}

class CliPassword : public CliFixture {
protected:
    // Cameras that take only kSecret.
    void StartCameras(int count) {
        for (int n = 1; n <= count; ++n) {
            SimCameraConfig camera = Camera(n);
            camera.password = kSecret;
            m_fleet.AddCamera(camera);
        }
        ASSERT_TRUE(m_fleet.Start());
    }
    // Upgrades camera n (1-based) of the fleet.
    std::vector<std::string> Upgrade(std::vector<std::string> extra, int n = 1) {
        std::vector<std::string> args = {"upgrade", "--package",   NewStylePackage(m_box),
                                         "--mac",   Camera(n).mac, "--yes"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::string PasswordFile(const std::string& content, mode_t mode) {
        const std::string path = m_box.File("password.txt");
        m_box.Write("password.txt", content);
        chmod(path.c_str(), mode);
        return path;
    }
};

}  // namespace

TEST_F(CliPassword, FileMustBeTheOwnersOnly) {
    std::string out;
    const std::string open = PasswordFile("secret\n", 0644);
    EXPECT_EQ(Run(Upgrade({"--password-file", open}), out), 2);
    EXPECT_NE(m_err.find("chmod 600"), std::string::npos) << m_err;

    EXPECT_EQ(Run(Upgrade({"--password-file", m_box.File("none.txt")}), out), 2);
    EXPECT_NE(m_err.find("--password-file"), std::string::npos) << m_err;

    EXPECT_EQ(Run(Upgrade({"--password-file", PasswordFile("\n", 0600)}), out), 2);
    EXPECT_NE(m_err.find("no password"), std::string::npos) << m_err;

    std::string password;
    EXPECT_NE(
        ReadPasswordFile(PasswordFile(std::string(kMaxPasswordFileBytes + 1, 'x'), 0600), password),
        "");
    std::filesystem::create_symlink(m_box.File("password.txt"), m_box.File("link.txt"));
    EXPECT_NE(ReadPasswordFile(m_box.File("link.txt"), password), "") << "links are not followed";
    EXPECT_EQ(ReadPasswordFile(PasswordFile("secret\r\nsecond line", 0600), password), "");
    EXPECT_EQ(password, "secret");
}

TEST_F(CliPassword, FileAndVariableLogInAndTheCommandLineWarns) {
    StartCameras(2);
    std::string out;
    EXPECT_EQ(Run(Upgrade({"--password-file", PasswordFile(kSecret + "\n", 0600)}), out), 0)
        << m_err;
    EXPECT_EQ(m_err.find("visible to other users"), std::string::npos) << m_err;

    {
        testing_support::CScopedEnv variable(kPasswordVariable, kSecret);
        EXPECT_EQ(Run(Upgrade({}, 2), out), 0) << m_err;
        EXPECT_EQ(std::getenv(kPasswordVariable), nullptr) << "no child inherits it";
    }
    // The old way, on a quicker command.
    EXPECT_EQ(Run({"ai-versions", "--mac", Camera(2).mac, "--password", kSecret}, out), 0) << m_err;
    EXPECT_NE(m_err.find("visible to other users"), std::string::npos) << m_err;
    std::istringstream lines(m_err);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;  // an 80-column terminal keeps it whole
    }

    // A password from a file, the environment or the command line is not
    // remembered: with no keyring here, no file the runs wrote holds it.
    std::vector<std::string> holding;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_box.Path())) {
        if (entry.is_regular_file() && entry.path().filename() != "password.txt" &&
            ReadFile(entry.path()).find(kSecret) != std::string::npos) {
            holding.push_back(entry.path().filename());
        }
    }
    EXPECT_EQ(holding, std::vector<std::string>{});
    const std::string logs = LogFilesText();
    EXPECT_FALSE(logs.empty());
    EXPECT_EQ(logs.find(kSecret), std::string::npos);
}

TEST_F(CliPassword, ASettingCannotCarryThePassword) {
    StartCameras(1);
    std::string out;
    EXPECT_EQ(Run({"--set", "Password=" + kSecret, "upgrade", "--package", NewStylePackage(m_box),
                   "--all", "--yes"},
                  out),
              2);
    EXPECT_NE(m_err.find("use --password-file FILE"), std::string::npos) << m_err;
    EXPECT_EQ(m_fleet.State(Camera(1).mac)->logins, 0);
}

TEST_F(CliPassword, ARogueSettingsFileInTheCurrentFolderIsIgnored) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to leave a file of another user";
    }
    // Another user's firmhand.ini in a shared folder points the upgrade at
    // a device of its own that asks for no protection.
    StartCameras(1);
    SimCameraConfig rogue = Camera(2);
    rogue.password = kSecret;
    rogue.dataPort = m_fleet.Camera(Camera(1).mac)->dataPort;  // where the upgrade would go
    ASSERT_TRUE(StartFleet({rogue}));
    std::filesystem::create_directories(m_box.File("shared"));
    m_box.Write("shared/firmhand.ini", "[CONFIG]\nUpgradeDeviceIp=" + rogue.ip + "\n");
    ASSERT_EQ(chown(m_box.File("shared/firmhand.ini").c_str(), 65534, 65534), 0);
    ResetIniPaths();
    std::string out;
    int status = -1;
    {
        testing_support::CScopedCwd shared(m_box.File("shared"));
        status = Run(Upgrade({"--password-file", PasswordFile(kSecret + "\n", 0600)}), out);
    }
    EXPECT_EQ(status, 0) << m_err;
    EXPECT_NE(m_err.find("settings file skipped"), std::string::npos) << m_err;
    EXPECT_NE(m_err.find(m_box.File("shared/firmhand.ini")), std::string::npos) << m_err;
    EXPECT_EQ(m_fleet.CountEvents(rogue.mac, "login"), 0);
}

TEST_F(CliPassword, TypedOnTheTerminalAndNeverInProcessArguments) {
    StartCameras(1);
    CTestTerminal terminal;
    ASSERT_TRUE(terminal.Open());
    CChildProcess child;
    ASSERT_TRUE(StartChild(child, {"ai-versions", "--mac", Camera(1).mac, "--seconds", "1"},
                           terminal.Device()));
    ASSERT_TRUE(WaitForText("err.txt", "Device password"));
    ASSERT_TRUE(terminal.Type(kSecret + "\n"));
    // From the answer to the end, no process of the run shows it.
    std::optional<CHILD_EXIT> end;
    ASSERT_TRUE(testing_support::WaitFor(
        [&] {
            EXPECT_EQ(ChildrenCommandLines(getpid()).find(kSecret), std::string::npos);
            end = child.Wait(std::chrono::milliseconds(0));
            return end.has_value();
        },
        seconds(60)));
    EXPECT_EQ(end->code, 0) << m_box.Read("out.txt") << m_box.Read("err.txt");
    EXPECT_EQ(m_box.Read("out.txt").find(kSecret), std::string::npos);
    EXPECT_EQ(m_box.Read("err.txt").find(kSecret), std::string::npos);
}

TEST_F(CliPassword, FileOrVariableNeverShowsInProcessArguments) {
    // Two long searches (interrupted at the end), one given the password by
    // the variable, one by a file; neither's arguments hold it.
    testing_support::CScopedEnv variable(kPasswordVariable, kSecret);
    const std::vector<std::string> args = {"ai-versions", "--all", "--seconds", "600"};
    CChildProcess child;
    ASSERT_TRUE(StartCli(child, args, m_box.Path(), m_box.File("out.txt"), m_box.File("err.txt")));
    CChildProcess byFile;
    const std::vector<std::string> fileArgs = {
        "ai-versions", "--all",           "--seconds",
        "600",         "--password-file", PasswordFile(kSecret + "\n", 0600)};
    ASSERT_TRUE(
        StartCli(byFile, fileArgs, m_box.Path(), m_box.File("out2.txt"), m_box.File("err2.txt")));
    ASSERT_TRUE(testing_support::WaitFor(
        [&] { return ChildrenCommandLines(getpid()).find("ai-versions") != std::string::npos; }));
    EXPECT_EQ(ChildrenCommandLines(getpid()).find(kSecret), std::string::npos);
    // Nor, once read, does the environment block that /proc shows.
    const std::string environPath = "/proc/" + std::to_string(child.Pid()) + "/environ";
    EXPECT_TRUE(testing_support::WaitFor(
        [&] { return ReadFile(environPath).find(kSecret) == std::string::npos; }, seconds(60)))
        << environPath;
    EXPECT_TRUE(child.Interrupt());
    EXPECT_TRUE(byFile.Interrupt());
    EXPECT_TRUE(child.Wait(seconds(60)).has_value());
    EXPECT_TRUE(byFile.Wait(seconds(60)).has_value());
}

// The upgrade asks for the password after the search and the question
// about the listed cameras, and only when a camera to be upgraded needs it:
// not for one that a line of the credentials file logs in to, not with
// --yes and a remembered password (the default one counts).
TEST_F(CliPassword, UpgradeAsksAfterTheSearchOnlyWhenACameraNeedsIt) {
    StartCameras(1);
    CTestTerminal terminal;
    ASSERT_TRUE(terminal.Open());
    const auto start = [&](CChildProcess& child, const std::string& name,
                           std::vector<std::string> extra) {
        std::vector<std::string> args = {"upgrade", "--package",   NewStylePackage(m_box),
                                         "--mac",   Camera(1).mac, "--seconds",
                                         "1"};
        args.insert(args.end(), extra.begin(), extra.end());
        for (const std::string& target : TargetArgs()) {
            args.push_back(target);
        }
        return StartCli(child, args, m_box.Path(), m_box.File(name + ".out"),
                        m_box.File(name + ".err"), terminal.Device());
    };
    const auto shows = [&](const std::string& name, const std::string& text) {
        return WaitForText(name + ".err", text);
    };
    // Ends without a password question, or fails the test at it.
    const auto endsUnasked = [&](CChildProcess& child, const std::string& name) {
        std::optional<CHILD_EXIT> end;
        EXPECT_TRUE(testing_support::WaitFor(
            [&] {
                end = child.Wait(std::chrono::milliseconds(0));
                return end.has_value() ||
                       m_box.Read(name + ".err").find("Device password") != std::string::npos;
            },
            seconds(60)));
        EXPECT_EQ(m_box.Read(name + ".err").find("Device password"), std::string::npos)
            << m_box.Read(name + ".err");
        return end.has_value() && end->code == 0;
    };

    // The camera has a line of the credentials file.
    const std::string credentials = m_box.File("credentials.txt");
    m_box.Write("credentials.txt", Camera(1).mac + " admin " + kSecret + "\n");
    chmod(credentials.c_str(), 0600);
    CChildProcess byFile;
    ASSERT_TRUE(start(byFile, "file", {"--credentials", credentials}));
    ASSERT_TRUE(shows("file", "Upgrade 1 camera? [y/N]"));
    ASSERT_TRUE(terminal.Type("y\n"));
    EXPECT_TRUE(endsUnasked(byFile, "file")) << m_box.Read("file.err");

    CChildProcess typed;
    ASSERT_TRUE(start(typed, "typed", {"--remember"}));
    ASSERT_TRUE(shows("typed", "Upgrade 1 camera? [y/N]"));
    EXPECT_NE(m_box.Read("typed.err").find("1 camera chosen"), std::string::npos)
        << "the cameras are found and listed first: " << m_box.Read("typed.err");
    EXPECT_EQ(m_box.Read("typed.err").find("Device password"), std::string::npos);
    ASSERT_TRUE(terminal.Type("y\n"));
    ASSERT_TRUE(shows("typed", "Device password (Enter: the remembered one): "));
    ASSERT_TRUE(terminal.Type(kSecret + "\n"));
    EXPECT_EQ(ExitStatus(typed), 0) << m_box.Read("typed.out") << m_box.Read("typed.err");

    // With --yes: the remembered password, unasked.
    CChildProcess remembered;
    ASSERT_TRUE(start(remembered, "remembered", {"--yes"}));
    EXPECT_TRUE(endsUnasked(remembered, "remembered")) << m_box.Read("remembered.err");
    EXPECT_NE(m_box.Read("remembered.out").find("Upgraded successfully!"), std::string::npos)
        << m_box.Read("remembered.out");
}
