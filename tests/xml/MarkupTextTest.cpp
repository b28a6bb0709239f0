#include <gtest/gtest.h>

#include "xml/MarkupSTL.h"

namespace {

std::string TextOf(const std::string& doc) {
    CMarkupSTL xml(doc);
    EXPECT_TRUE(xml.FindElement());
    return xml.GetElementText();
}

}  // namespace

TEST(MarkupText, ReferencesAreDecoded) {
    EXPECT_EQ(TextOf("<a>x &amp; y &#65;&#x42;</a>"), "x & y AB");
    EXPECT_EQ(TextOf("<a>&lt;&gt;&apos;&quot;&amp;amp;</a>"), "<>'\"&amp;");
    EXPECT_EQ(TextOf("<a>&nbsp;&copy; &unknown</a>"), "&nbsp;&copy; &unknown");
    EXPECT_EQ(TextOf("<a>&#xe9;&#20013;&#x10041;</a>"),
              "\xC3\xA9"
              "\xE4\xB8\xAD"
              "\xE0\x81\x81")
        << "two bytes below 0x800, else three from the low 16 bits";
}

TEST(MarkupText, MalformedCharacterReferencesStayAsWritten) {
    EXPECT_EQ(TextOf("<a>&#0;</a>"), "&#0;");
    EXPECT_EQ(TextOf("<a>&#;&#x;&#12a;</a>"), "&#;&#x;&#12a;");
    EXPECT_EQ(TextOf("<a>&#1234567;</a>"), "&#1234567;") << "';' beyond 7 characters";
    EXPECT_EQ(TextOf("<a>&#123456;</a>"), "\xEE\x89\x80");
    EXPECT_EQ(TextOf("<a>&#65</a>"), "&#65");
    EXPECT_EQ(TextOf("<a>&</a>"), "&");
}

TEST(MarkupText, CDataAndMixedContent) {
    EXPECT_EQ(TextOf("<a><![CDATA[<b>&amp;]]> tail &amp; more</a>"), "<b>&amp; tail & more");
    EXPECT_EQ(TextOf("<a><![CDATA[]]></a>"), "");
    EXPECT_EQ(TextOf("<a>  <!-- note -->\n  v<?pi x?>w  </a>"), "\n  vw  ")
        << "comments, instructions and blank pieces are dropped";
    EXPECT_EQ(TextOf("<a> <![CDATA[ x ]]> </a>"), " x ") << "blank pieces are dropped";
    EXPECT_EQ(TextOf("<a>1 < 2</a>"), "1 < 2") << "a stray '<' stays in the text";
}

TEST(MarkupText, ElementsWithoutText) {
    EXPECT_EQ(TextOf("<a/>"), "");
    EXPECT_EQ(TextOf("<a></a>"), "");
    EXPECT_EQ(TextOf("<a>x<b/>y</a>"), "") << "an element with children has no text";
    CMarkupSTL xml("<a>text</a>");
    EXPECT_EQ(xml.GetElementText(), "") << "no main position";
    EXPECT_EQ(xml.GetChildText(), "");
    EXPECT_EQ(TextOf("<a>  spaced  </a>"), "  spaced  ") << "plain text keeps its blanks";
}
