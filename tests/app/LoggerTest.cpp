#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "app/Logger.h"
#include "support/TestSupport.h"

FH_LOG_SOURCE("LoggerTest");

namespace {

int g_formatted = 0;
const char* CountFormatting() {
    ++g_formatted;
    return "x";
}

struct LoggerFixture : ::testing::Test {
    void SetUp() override {
        m_oldLevel = GetLogInstance()->GetLevel();
        GetLogInstance()->SetFilePath(m_box.File("t.log"));
    }
    void TearDown() override {
        GetLogInstance()->SetFilePath("");
        GetLogInstance()->SetLevel(m_oldLevel);
        GetLogInstance()->SetRotateBytes(8ull << 20);
    }
    testing_support::CSandbox m_box;
    int m_oldLevel = 1;
};

}  // namespace

TEST_F(LoggerFixture, ThresholdIsAskedBeforeFormatting) {
    GetLogInstance()->SetLevel(2);
    g_formatted = 0;
    LOG_INFO("T::F", "build time: %s %s", CountFormatting(), CountFormatting());
    EXPECT_EQ(g_formatted, 0);
    LOG_WARN("T::F", "warn %s", CountFormatting());
    EXPECT_EQ(g_formatted, 1);
    EXPECT_EQ(m_box.Read("t.log").find("build time"), std::string::npos);
}

TEST_F(LoggerFixture, LineCarriesSourceLineLevelFunctionAndText) {
    GetLogInstance()->SetLevel(1);
    testing_support::CSandbox unused;
    CLogCapture capture;
    LOG_ERROR("CSWL_TCPLink::Destroy", "connect failed %d, mac: %s", 3, "00:11");
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].source, "LoggerTest");
    EXPECT_EQ(lines[0].level, kLogError);
    EXPECT_EQ(lines[0].function, "CSWL_TCPLink::Destroy");
    EXPECT_EQ(lines[0].text, "connect failed 3, mac: 00:11");
    const std::string file = m_box.Read("t.log");
    EXPECT_NE(file.find("ERROR LoggerTest:"), std::string::npos);
    EXPECT_NE(file.find("CSWL_TCPLink::Destroy: connect failed 3, mac: 00:11\n"),
              std::string::npos);
}

TEST_F(LoggerFixture, CameraTextCannotForgeLinesOrReachTheTerminal) {
    GetLogInstance()->SetLevel(1);
    CLogCapture capture;
    LOG_INFO("T::F", "name: %s", "\x1b]2;PWNED\x07\r\n2026-01-01 ERROR forged");
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].text, "name: \\x1B]2;PWNED\\x07\\x0D\\x0A2026-01-01 ERROR forged");
    const std::string file = m_box.Read("t.log");
    EXPECT_EQ(file.find_first_of("\x1b\x07\r"), std::string::npos);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 1);
}

TEST_F(LoggerFixture, LongLinesAreWrittenWhole) {
    GetLogInstance()->SetLevel(1);
    CLogCapture capture;
    const std::string big(5000, 'q');
    LOG_INFO("T::F", "%s", big.c_str());
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].text, big);
}

TEST_F(LoggerFixture, ConcurrentWritersLoseNoLineAndInterleaveNone) {
    GetLogInstance()->SetLevel(1);
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                LOG_INFO("T::F", "writer %d line %d end", t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::istringstream in(m_box.Read("t.log"));
    std::string line;
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        const auto pos = line.find("writer ");
        ASSERT_NE(pos, std::string::npos) << line;
        ASSERT_EQ(line.substr(line.size() - 4), " end") << line;
        seen.insert(line.substr(pos));
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

TEST_F(LoggerFixture, FileRotatesBySize) {
    GetLogInstance()->SetLevel(1);
    GetLogInstance()->SetRotateBytes(2000);
    for (int i = 0; i < 100; ++i) {
        LOG_INFO("T::F", "line %d with some padding text to fill the file", i);
    }
    EXPECT_LE(m_box.Read("t.log").size(), 2000u);
    EXPECT_FALSE(m_box.Read("t.log.1").empty());
    EXPECT_FALSE(m_box.Read("t.log.3").empty());
    EXPECT_TRUE(m_box.Read("t.log.4").empty()) << "three old files are kept";
}
