// Whatever the input, parsing completes and navigation stays inside the
// index. Run under AddressSanitizer, a read outside the text fails the test.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "xml/MarkupSTL.h"

namespace {

const std::string kReport =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<multicastSearchResult><mac>00:1A:2B:3C:4D:5E</mac><bootId>8c1f</bootId>"
    "<productInfo><productSeries>KMR_IPC_X</productSeries><devName>Gate &amp; 1</devName>"
    "<build>230118</build></productInfo><!-- c --><tcpIp><ipAddr>"
    "<item><ip>192.168.1.64</ip><mask>255.255.255.0</mask></item>"
    "<item><ip>10.10.1.64</ip><mask><![CDATA[255.255.0.0]]></mask></item>"
    "</ipAddr></tcpIp><port a='>'><dataPort>9008</dataPort><httpPort/></port>"
    "</multicastSearchResult>";

// Walks every element depth first, reading every text on the way. Returns
// the number of elements visited.
size_t WalkAll(CMarkupSTL& xml, int depth = 0) {
    size_t count = 0;
    while (xml.FindElement()) {
        ++count;
        (void)xml.GetTagName();
        (void)xml.GetElementText();
        while (xml.FindChildElement()) {
            (void)xml.GetChildText();
        }
        xml.ResetChildPosition();
        if (depth < 10000 && xml.EnterElement()) {
            count += WalkAll(xml, depth + 1);
            EXPECT_TRUE(xml.LeaveElement());
        }
    }
    return count;
}

void CheckDocument(const std::string& text) {
    CMarkupSTL xml(text);
    if (text.empty()) {
        EXPECT_EQ(xml.GetError(), "Empty document");
    }
    const size_t visited = WalkAll(xml);
    EXPECT_EQ(visited, xml.ElementCount()) << "every element sits once in the tree";
    EXPECT_FALSE(xml.LeaveElement()) << "the walk came back to the document";
    xml.ResetPosition();
    (void)xml.FindChildElement("productInfo");
    (void)xml.FindElement("a b");
}

}  // namespace

TEST(MarkupProperty, EveryTruncationOfAReportParses) {
    for (size_t n = 0; n <= kReport.size(); ++n) {
        CheckDocument(kReport.substr(0, n));
    }
    CMarkupSTL whole(kReport);
    EXPECT_TRUE(whole.IsWellFormed()) << whole.GetError();
}

TEST(MarkupProperty, RandomBytesAndMutationsNeverEscapeTheText) {
    std::mt19937 rng(20240611);
    const std::string alphabet = "<>/!?-[]CDATA=\"' \t\nabx&#;:";
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int kind = round % 3;
        if (kind == 0) {
            // Raw bytes, NUL and high bytes included.
            text.resize(rng() % 200);
            for (char& c : text) {
                c = static_cast<char>(rng() & 0xFF);
            }
        } else if (kind == 1) {
            // Markup-heavy noise.
            const size_t n = rng() % 300;
            for (size_t i = 0; i < n; ++i) {
                text += alphabet[rng() % alphabet.size()];
            }
        } else {
            // The report with a few bytes flipped, dropped or duplicated.
            text = kReport;
            for (int m = 0; m < 1 + static_cast<int>(rng() % 6) && !text.empty(); ++m) {
                const size_t at = rng() % text.size();
                switch (rng() % 3) {
                    case 0:
                        text[at] = alphabet[rng() % alphabet.size()];
                        break;
                    case 1:
                        text.erase(at, 1 + rng() % 20);
                        break;
                    default:
                        text.insert(at, text.substr(at, rng() % 40));
                        break;
                }
            }
        }
        CheckDocument(text);
    }
}

TEST(MarkupProperty, DeepNestingAndManyUnendedElements) {
    std::string deep;
    for (int i = 0; i < 5000; ++i) {
        deep += "<e>";
    }
    CheckDocument(deep);
    CheckDocument("<r>" + deep + "</r>");
    std::string wide = "<r>";
    for (int i = 0; i < 5000; ++i) {
        wide += "<a><b>";
    }
    wide += "</r>";
    CMarkupSTL xml(wide);
    EXPECT_EQ(xml.ElementCount(), 10001u);
    ASSERT_TRUE(xml.FindElement("r"));
    ASSERT_TRUE(xml.EnterElement());
    size_t children = 0;
    while (xml.FindElement()) {
        ++children;
    }
    EXPECT_EQ(children, 10000u) << "every unended element moved up under r";
}
