// Cameras whose names hold terminal escapes, line breaks, a spreadsheet
// formula and markup: what the CLI prints, logs and reports carries none of
// them raw.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "CliFixture.h"

namespace {

// Bytes that a terminal, a log reader or a table would act on.
bool HoldsControls(const std::string& text, bool lineBreaksAllowed) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && !(lineBreaksAllowed && c == '\n')) || u == 0x7F) {
            return true;
        }
    }
    return text.find("\xc2\x9b") != std::string::npos;
}

}  // namespace

TEST_F(CliFixture, HostileCameraNamesReachNoTerminalLogOrReportRaw) {
    auto title = Camera(1);
    title.name = "\x1b]2;PWN\x07\x1b[31mR\r\nX";
    auto formula = Camera(2);
    formula.name = "=HYPERLINK(\"h\")";
    auto markup = Camera(3);
    markup.name =
        "<b>x</b>\xc2\x9b"
        "2J";
    for (const SimCameraConfig& camera : {title, formula, markup}) {
        m_fleet.AddCamera(camera);
    }
    ASSERT_TRUE(m_fleet.Start());

    std::string out;
    ASSERT_EQ(Run({"scan"}, out), 0) << m_err;
    EXPECT_FALSE(HoldsControls(out, true)) << out;
    EXPECT_NE(out.find("\\x1B]2;PWN\\x07"), std::string::npos) << out;
    ASSERT_EQ(
        Run(UpgradeAll({"--report", m_box.File("r.csv"), "--report", m_box.File("r.html")}), out),
        0)
        << m_err;
    EXPECT_FALSE(HoldsControls(out, true)) << out;
    EXPECT_FALSE(HoldsControls(m_err, true)) << m_err;

    const std::string csv = m_box.Read("r.csv");
    EXPECT_FALSE(HoldsControls(csv, true)) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4) << "a header and one line a camera";
    EXPECT_NE(csv.find(",\"'=HYPERLINK(\"\"h\"\")\","), std::string::npos) << csv;
    EXPECT_EQ(csv.find(",=HYPERLINK"), std::string::npos) << csv;

    const std::string html = m_box.Read("r.html");
    EXPECT_FALSE(HoldsControls(html, true));
    EXPECT_EQ(html.find("<b>x</b>"), std::string::npos);
    EXPECT_NE(html.find("&lt;b&gt;x&lt;/b&gt;"), std::string::npos);

    const std::string logs = LogFilesText();
    EXPECT_FALSE(logs.empty());
    EXPECT_FALSE(HoldsControls(logs, true)) << logs;
}

TEST_F(CliFixture, AReportPathThatIsALinkIsReplacedNotFollowed) {
    m_fleet.AddCamera(Camera(1));
    ASSERT_TRUE(m_fleet.Start());
    m_box.Write("victim.txt", "precious\n");
    for (const char* name : {"r.csv", "r.json", "r.html"}) {
        ASSERT_EQ(symlink(m_box.File("victim.txt").c_str(), m_box.File(name).c_str()), 0);
    }
    std::string out;
    ASSERT_EQ(Run(UpgradeAll({"--report", m_box.File("r.csv"), "--report", m_box.File("r.json"),
                              "--report", m_box.File("r.html")}),
                  out),
              0)
        << m_err;
    EXPECT_EQ(m_box.Read("victim.txt"), "precious\n");
    for (const char* name : {"r.csv", "r.json", "r.html"}) {
        EXPECT_FALSE(std::filesystem::is_symlink(m_box.File(name))) << name;
        EXPECT_NE(m_box.Read(name).find(Camera(1).mac), std::string::npos) << name;
    }
}
