// The HTML report a technician hands over, from a run against simulated
// cameras: who it was for, what was flashed (name, size, SHA-256), why a
// camera failed, and timeline lanes named after the cameras, every typed
// and camera text escaped.
#include <gtest/gtest.h>

#include <filesystem>

#include "CliFixture.h"
#include "device/Digest.h"

namespace {

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

}  // namespace

TEST_F(CliFixture, HtmlReportNamesTheSiteThePackageAndWhyACameraFailed) {
    auto markup = Camera(1);
    // Five escapes shown as 20 characters: the lane's label is shortened.
    markup.name = "\x1b\x1b\x1b\x1b\x1b<b>x</b>&";
    auto refusing = Camera(2);
    refusing.name = "Gate \"north\"";
    refusing.password = "other";  // refuses the typed password
    ASSERT_TRUE(StartFleet({markup, refusing}));
    const std::string package = NewStylePackage(m_box);

    std::string out;
    ASSERT_EQ(
        Run({"--set", "TryUpgradeMaxCountSingle=1", "upgrade", "--package", package, "--all",
             "--password", "secret", "--yes", "--site", "Depot <7>", "--customer", "A&B \"Ltd\"",
             "--technician", "Jo</td><script>x</script>", "--report", m_box.File("r.html")},
            out),
        1)
        << m_err;
    EXPECT_NE(out.find("Report written: " + m_box.File("r.html") + "\n"), std::string::npos) << out;
    const std::string page = m_box.Read("r.html");

    // Typed fields, escaped.
    EXPECT_NE(page.find("id=\"site\">Depot &lt;7&gt;<"), std::string::npos) << page;
    EXPECT_NE(page.find("id=\"customer\">A&amp;B &quot;Ltd&quot;<"), std::string::npos) << page;
    EXPECT_NE(page.find("id=\"technician\">Jo&lt;/td&gt;&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos) << page;
    EXPECT_EQ(page.find("<b>"), std::string::npos) << page;
    EXPECT_EQ(page.find('\x1b'), std::string::npos) << page;

    // The package as the cameras got it, its digest worked out apart.
    const std::string bytes = m_box.Read(std::filesystem::path(package).filename().string());
    const std::string sha = DigestToHex(DigestSha256(bytes.data(), bytes.size()), false);
    EXPECT_NE(page.find(">fw.bin</span>, " + std::to_string(bytes.size()) + " bytes"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<code class=\"sha256\">" + sha + "</code>"), std::string::npos) << page;

    // A row per camera, the failed one with its reason in words.
    const std::string escapes = "\\x1B\\x1B\\x1B\\x1B\\x1B";
    EXPECT_NE(page.find("<td>" + escapes + "&lt;b&gt;x&lt;/b&gt;&amp;</td>"), std::string::npos);
    const size_t row = page.find("<tr class=\"failed\"><td>" + refusing.mac);
    ASSERT_NE(row, std::string::npos) << page;
    const std::string failedRow = page.substr(row, page.find("</tr>", row) - row);
    EXPECT_NE(failedRow.find("Gate &quot;north&quot;"), std::string::npos) << failedRow;
    EXPECT_NE(failedRow.find("<td>failed</td><td>"), std::string::npos) << failedRow;
    EXPECT_EQ(failedRow.find("<td>failed</td><td></td>"), std::string::npos)
        << "a failed row gives its reason: " << failedRow;

    // Lanes labelled with the cameras' names, the MAC in the hover text.
    EXPECT_NE(page.find("<title>Gate &quot;north&quot; (" + refusing.mac +
                        ")</title>Gate "
                        "&quot;north&quot;</text>"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("</title>" + escapes + "&lt;b&gt;x...</text>"), std::string::npos)
        << "a long name is shortened: " << page;
    EXPECT_EQ(Count(page, "<text x=\"0\""), 2u) << page;
}
