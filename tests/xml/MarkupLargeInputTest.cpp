// Replies up to the HTTP client's 1 MiB limit parse in time linear in their
// length, whatever their tags: an end tag that matches no open element used
// to walk the whole stack of open elements, so a reply of many open tags and
// many stray end tags kept the window thread busy for over a minute.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/TestSupport.h"
#include "xml/MarkupSTL.h"

namespace {

constexpr size_t kReplyLimit = 1 << 20;

// Parses `text`; true when the parse ends within a bound that a linear parse
// meets with a wide margin, even under a sanitizer, and the old walk did not.
bool ParsesInTime(const std::string& text, CMarkupSTL& xml) {
    return testing_support::ReturnsWithin(std::chrono::seconds(10), [&] { xml.SetDoc(text); });
}

}  // namespace

TEST(MarkupLargeInput, ManyOpenTagsThenStrayEndTags) {
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "<a>";
    }
    while (text.size() < kReplyLimit) {
        text += "</b>";
    }
    CMarkupSTL xml;
    EXPECT_TRUE(ParsesInTime(text, xml));
    EXPECT_EQ(xml.ElementCount(), 20000u);
    EXPECT_EQ(xml.GetError().rfind("No start tag for end tag 'b' at offset 60000", 0), 0u)
        << xml.GetError();
}

TEST(MarkupLargeInput, EveryEndTagClosesAnOuterElement) {
    // The first "</r>" closes the root over an open "a"; every later one
    // matches nothing while the "a" elements nest ever deeper.
    std::string text = "<r>";
    while (text.size() < kReplyLimit) {
        text += "<a><c/></r>";
    }
    CMarkupSTL xml;
    EXPECT_TRUE(ParsesInTime(text, xml));
    ASSERT_TRUE(xml.FindElement("r"));
    EXPECT_TRUE(xml.FindElement("a"));  // the first "a" was moved up beside "r"
}

TEST(MarkupLargeInput, IgnoreCaseMatchesEndTagsAsBefore) {
    CMarkupSTL xml;
    xml.SetIgnoreCase(true);
    xml.SetDoc("<Root><Item>1</ITEM></root>");
    EXPECT_TRUE(xml.IsWellFormed()) << xml.GetError();
    xml.SetIgnoreCase(false);
    xml.SetDoc("<Root><Item>1</ITEM></root>");
    EXPECT_FALSE(xml.IsWellFormed());
}
