#include "CliFixture.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "CliApp.h"
#include "app/IniFile.h"

void CliFixture::SetUp() {
    m_xdg = std::make_unique<testing_support::CScopedEnv>("XDG_DATA_HOME", m_box.File("data"));
    m_state = std::make_unique<testing_support::CScopedEnv>("XDG_STATE_HOME", m_box.File("state"));
    ResetIniPaths();
    GetProgramIni().SetPath(m_box.File("firmhand.ini"));
    m_options.timings.ackPollMs = 5;
    m_options.timings.offlineStretchMs = 300;
    m_options.timings.retryPauseMs = 20;
    m_options.searchRoundIntervalMs = 150;
    // The per-camera locks too (StartCli gives a child the same folder):
    // another suite running at the same time may have drawn the same MACs,
    // and its camera would be "upgraded elsewhere".
    m_options.cameraLockFolder = m_box.File("locks");
}

void CliFixture::TearDown() {
    m_fleet.Stop();
    ResetIniPaths();
}

SimCameraConfig CliFixture::Camera(int n) const {
    const int a = static_cast<int>(getpid() % 200) + 20;
    SimCameraConfig config;
    config.mac = "02:CC:00:00:" + std::to_string(10 + a % 80) + ":0" + std::to_string(n);
    config.ip = "127.200." + std::to_string(a) + "." + std::to_string(n + 1);
    config.ip2 = "127.201." + std::to_string(a) + "." + std::to_string(n + 1);
    config.name = "Cam " + std::to_string(n);
    config.password = "secret";
    config.flashMs = 100;
    config.offlineMs = 700;
    return config;
}

std::vector<std::string> CliFixture::TargetArgs() const {
    std::vector<std::string> args;
    for (const SimCameraInfo& cam : m_fleet.Cameras()) {
        args.push_back("--target");
        args.push_back(cam.ip + ":" + std::to_string(cam.searchPort));
    }
    return args;
}

int CliFixture::Run(std::vector<std::string> args, std::string& out) {
    const bool searches = std::any_of(args.begin(), args.end(), [](const std::string& arg) {
        return arg == "scan" || arg == "upgrade" || arg == "ai-versions" || arg == "auto-test";
    });
    if (searches) {
        const std::vector<std::string> targets = TargetArgs();
        args.insert(args.end(), targets.begin(), targets.end());
        args.push_back("--seconds");
        args.push_back("1");
    }
    return RunArgs(args, out);
}

int CliFixture::RunArgs(const std::vector<std::string>& args, std::string& out) {
    const bool echo = std::getenv("FH_TEST_ECHO") != nullptr;
    std::vector<std::string> all = {"firmhand-cli", "--set", echo ? "LogLevel=1" : "LogLevel=4"};
    if (echo) {
        all.push_back("-v");
    }
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = RunCli(static_cast<int>(argv.size()), argv.data(), m_options);
    out = testing::internal::GetCapturedStdout();
    m_err = testing::internal::GetCapturedStderr();
    return status;
}

bool CliFixture::StartFleet(const std::vector<SimCameraConfig>& cameras) {
    for (const SimCameraConfig& camera : cameras) {
        m_fleet.AddCamera(camera);
    }
    return m_fleet.Start();
}

std::vector<std::string> CliFixture::UpgradeAll(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {
        "upgrade", "--package", NewStylePackage(m_box), "--all", "--password", "secret", "--yes"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

bool CliFixture::StartChild(CChildProcess& child, std::vector<std::string> args,
                            const std::string& inPath) {
    const std::vector<std::string> targets = TargetArgs();
    args.insert(args.end(), targets.begin(), targets.end());
    return StartCli(child, args, m_box.Path(), m_box.File("out.txt"), m_box.File("err.txt"),
                    inPath);
}

bool CliFixture::KillChildWhen(const std::vector<std::string>& args,
                               const std::function<bool()>& until) {
    CChildProcess child;
    if (!StartChild(child, args)) {
        ADD_FAILURE() << "firmhand-cli did not start";
        return false;
    }
    testing_support::WaitFor([&] { return until() || !child.Running(); },
                             std::chrono::seconds(120));
    const bool held = until();
    child.Kill();
    EXPECT_TRUE(child.Wait(std::chrono::seconds(30)).has_value());
    return held;
}

int CliFixture::ExitStatus(CChildProcess& child, std::chrono::seconds limit) {
    const std::optional<CHILD_EXIT> end = child.Wait(limit);
    return !end.has_value() ? -1 : end->signalled ? 1000 + end->code : end->code;
}

bool CliFixture::WaitForText(const std::string& name, const std::string& text) const {
    return testing_support::WaitFor(
        [&] { return m_box.Read(name).find(text) != std::string::npos; },
        std::chrono::seconds(120));
}

std::string RunJournals(const testing_support::CSandbox& box) {
    std::string text;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(box.File("state/firmhand/runs"), error)) {
        text += box.Read("state/firmhand/runs/" + entry.path().filename().string());
    }
    return text;
}

std::string CliFixture::LogFilesText() const {
    std::string text;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(m_box.File("data/KMR/logs"), error)) {
        if (entry.is_regular_file()) {
            text += testing_support::ReadFile(entry.path());
        }
    }
    return text;
}

void CliFixture::ExpectRefusedBeforeAnySearch(
    const std::vector<std::pair<std::vector<std::string>, std::string>>& cases) {
    for (const auto& [args, message] : cases) {
        std::vector<std::string> all = {"upgrade"};
        all.insert(all.end(), args.begin(), args.end());
        std::string out;
        EXPECT_EQ(Run(all, out), 2) << message << out << m_err;
        EXPECT_NE(m_err.find(message), std::string::npos) << m_err;
    }
    for (const SimCameraInfo& cam : m_fleet.Cameras()) {
        EXPECT_EQ(m_fleet.CountEvents(cam.mac, "probe_answered"), 0) << cam.mac;
        EXPECT_EQ(m_fleet.CountEvents(cam.mac, "connect"), 0) << cam.mac;
    }
}

std::string NewStylePackage(const testing_support::CSandbox& box) {
    std::string data("\x18\x01\x22\x20", 4);
    data += std::string(5000, 'p');
    box.Write("fw.bin", data);
    return box.File("fw.bin");
}

std::string Row(const std::string& report, const std::string& mac) {
    const size_t at = report.find("\"mac\": \"" + mac + "\"");
    return at == std::string::npos ? std::string() : report.substr(at, report.find('}', at) - at);
}

std::string StatusOf(const std::string& report, const std::string& mac) {
    const std::string row = Row(report, mac);
    const std::string key = "\"status\": \"";
    const size_t at = row.find(key);
    return at == std::string::npos
               ? std::string()
               : row.substr(at + key.size(), row.find('"', at + key.size()) - at - key.size());
}
