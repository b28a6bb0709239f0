// Crash dumps are written by a child process that crashes on purpose (a
// death test forks it); the parent then reads what the child left.
#include <gtest/gtest.h>

#include <unistd.h>
#include <csignal>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/CrashDump.h"
#include "app/Version.h"
#include "support/TestSupport.h"

using testing_support::CSandbox;

namespace {

volatile uintptr_t g_badAddress = 0x1234;
volatile int g_depthLimit = 1 << 30;

[[gnu::noinline]] void WriteToBadAddress() {
    *reinterpret_cast<volatile int*>(g_badAddress) = 1;
}

[[gnu::noinline]] int Recurse(int depth) {
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth >= g_depthLimit) {
        return pad[0];
    }
    return Recurse(depth + 1) + pad[0];
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The one dump in the sandbox: its name must have the documented form.
struct Dump {
    std::string file;
    std::string text;
    long pid = 0;
};

Dump OnlyDump(const CSandbox& sandbox, const std::string& name) {
    Dump dump;
    const auto files = FilesIn(sandbox.Path());
    // name.<pid>.<yyyymmddhhmmss>.<mmm>.dmp
    const std::regex form(name + R"(\.(\d+)\.(\d{4})(\d\d)(\d\d)(\d\d)(\d\d)(\d\d)\.\d{3}\.dmp)");
    std::smatch parts;
    if (files.size() != 1 || !std::regex_match(files[0], parts, form)) {
        ADD_FAILURE() << "not one dump named as it should be: " << testing::PrintToString(files);
        return dump;
    }
    dump.file = files[0];
    dump.pid = std::stol(parts[1]);
    std::tm local{};
    local.tm_year = std::stoi(parts[2]) - 1900;
    local.tm_mon = std::stoi(parts[3]) - 1;
    local.tm_mday = std::stoi(parts[4]);
    local.tm_hour = std::stoi(parts[5]);
    local.tm_min = std::stoi(parts[6]);
    local.tm_sec = std::stoi(parts[7]);
    local.tm_isdst = -1;
    const double age = std::difftime(std::time(nullptr), std::mktime(&local));
    EXPECT_LT(std::abs(age), 300.0) << "the name carries the local time of the crash";
    dump.text = sandbox.Read(dump.file);
    return dump;
}

}  // namespace

TEST(CrashDumpNames, FormatAndNameFromTheExecutable) {
    EXPECT_EQ(CrashDumpFileName("Firmhand", 4242, 2024, 1, 5, 9, 30, 0, 45),
              "Firmhand.4242.20240105093000.045.dmp");
    EXPECT_EQ(CrashDumpFileName("x", 7, 1999, 12, 31, 23, 59, 59, 999),
              "x.7.19991231235959.999.dmp");
    EXPECT_EQ(CrashDumpNameFromPath("/opt/tools/Firmhand.exe"), "Firmhand");
    EXPECT_EQ(CrashDumpNameFromPath("a.b.exe"), "a");
    EXPECT_EQ(CrashDumpNameFromPath("/usr/bin/firmhand-cli"), "firmhand-cli");
}

TEST(CrashDumpNames, FolderBesideTheExecutableElseThePerUserOne) {
    CSandbox sandbox;
    EXPECT_EQ(ChooseCrashDumpFolder("/given", sandbox.Path()), "/given");
    EXPECT_EQ(ChooseCrashDumpFolder("", sandbox.Path()), sandbox.Path());
    testing_support::CScopedEnv data("XDG_DATA_HOME", sandbox.Path());
    const std::string fallback = ChooseCrashDumpFolder("", sandbox.Path() + "/missing");
    EXPECT_EQ(fallback, sandbox.Path() + "/KMR/dumps");
    EXPECT_TRUE(std::filesystem::is_directory(fallback));
}

TEST(CrashDumpNames, TracerPidField) {
    const std::string untraced = "Name:\ttest\nState:\tR\nTracerPid:\t0\nUid:\t0\n";
    const std::string traced = "Name:\ttest\nTracerPid:\t4321\n";
    EXPECT_EQ(ParseTracerPid(untraced.data(), untraced.size()), 0);
    EXPECT_EQ(ParseTracerPid(traced.data(), traced.size()), 4321);
    EXPECT_EQ(ParseTracerPid("Name:\tx\n", 8), 0);
    // A field cut off by the buffer's end reads what is there.
    EXPECT_EQ(ParseTracerPid(traced.data(), traced.size() - 3), 43);

    // The default check reads the same field of this process.
    std::ifstream file("/proc/self/status");
    const std::string status((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
    EXPECT_EQ(IsTracerAttached(), ParseTracerPid(status.data(), status.size()) != 0);
}

class CrashDump : public ::testing::Test {
protected:
    CSandbox m_sandbox;
};

TEST_F(CrashDump, SegmentationFaultLeavesADumpAndEndsWithTheSignal) {
    const std::string folder = m_sandbox.Path();
    EXPECT_EXIT(
        {
            InstallCrashDumpFilter("crashy", folder);
            WriteToBadAddress();
        },
        ::testing::KilledBySignal(SIGSEGV), "");

    const Dump dump = OnlyDump(m_sandbox, "crashy");
    EXPECT_NE(dump.pid, getpid());
    const std::string& text = dump.text;
    EXPECT_TRUE(Contains(text, "process: " + std::to_string(dump.pid))) << text;
    EXPECT_TRUE(Contains(text, "version: " + VersionToString(GetModuleVersionNumber())));
    EXPECT_TRUE(Contains(text, "signal: 11 (SIGSEGV), code 1 (address not mapped)")) << text;
    EXPECT_TRUE(Contains(text, "fault address: 0x0000000000001234")) << text;
#if defined(__x86_64__)
    EXPECT_TRUE(Contains(text, "\n  rip 0x")) << text;
    EXPECT_TRUE(Contains(text, "\n  cr2 0x0000000000001234")) << text;
#elif defined(__aarch64__)
    EXPECT_TRUE(Contains(text, "\n  pc 0x")) << text;
#endif
    const auto backtrace = text.find("backtrace:\n");
    const auto map = text.find("memory map:\n");
    ASSERT_NE(backtrace, std::string::npos);
    ASSERT_NE(map, std::string::npos);
    const std::string frames = text.substr(backtrace, map - backtrace);
    EXPECT_TRUE(Contains(frames, "  #0 ")) << frames;
    EXPECT_TRUE(Contains(frames, "  #2 ")) << frames;
    EXPECT_TRUE(Contains(frames, "test_app")) << frames;
    EXPECT_TRUE(Contains(text.substr(map), "[stack]"));
}

TEST_F(CrashDump, TerminateNotesTheExceptionAndEndsWithAbort) {
    const std::string folder = m_sandbox.Path();
    EXPECT_EXIT(
        {
            InstallCrashDumpFilter("", folder);
            try {
                throw std::runtime_error("camera table broken");
            } catch (...) {
                std::terminate();
            }
        },
        ::testing::KilledBySignal(SIGABRT), "");

    const Dump dump = OnlyDump(m_sandbox, "test_app");  // the executable's own name
    EXPECT_TRUE(Contains(dump.text, "signal: 6 (SIGABRT)")) << dump.text;
    EXPECT_TRUE(Contains(dump.text, "fault address: none (sent by process")) << dump.text;
    EXPECT_TRUE(Contains(dump.text,
                         "reason: std::terminate after an exception of type "
                         "std::runtime_error: camera table broken"))
        << dump.text;
}

TEST_F(CrashDump, StackOverflowIsHandledOnTheAlternateStack) {
    const std::string folder = m_sandbox.Path();
    EXPECT_EXIT(
        {
            InstallCrashDumpFilter("deep", folder);
            Recurse(0);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
    const Dump dump = OnlyDump(m_sandbox, "deep");
    EXPECT_TRUE(Contains(dump.text, "signal: 11 (SIGSEGV)")) << dump.text;
    EXPECT_TRUE(Contains(dump.text, "memory map:")) << dump.text;
}

TEST_F(CrashDump, WithATracerNothingIsWrittenAndTheSignalGoesOn) {
    const std::string folder = m_sandbox.Path();
    EXPECT_EXIT(
        {
            InstallCrashDumpFilter("traced", folder);
            SetCrashDumpTracerCheck([] { return true; });
            WriteToBadAddress();
        },
        ::testing::KilledBySignal(SIGSEGV), "");
    EXPECT_TRUE(FilesIn(m_sandbox.Path()).empty());
}
