#include <gtest/gtest.h>

#include "xml/MarkupSTL.h"

TEST(MarkupErrors, DocumentLevelErrors) {
    EXPECT_EQ(CMarkupSTL("").GetError(), "Empty document");
    EXPECT_EQ(CMarkupSTL().GetError(), "Empty document");
    EXPECT_EQ(CMarkupSTL("just text").GetError(), "No root element");
    EXPECT_EQ(CMarkupSTL("<a/><b/>").GetError(), "Root element has sibling");
    EXPECT_EQ(CMarkupSTL("<?xml version=\"1.0\"?>\r\n<a>ok</a>\n").GetError(), "");
    EXPECT_EQ(CMarkupSTL("</x>").GetError(),
              "No start tag for end tag 'x' at offset 0, No root element")
        << "a scan error and a document error are joined";
}

TEST(MarkupErrors, MismatchedEndTagEndsTheInnerElement) {
    CMarkupSTL xml("<a><b>x</a>");
    EXPECT_EQ(xml.GetError(), "End tag 'a' at offset 7 does not match start tag 'b' at offset 3");
    ASSERT_TRUE(xml.FindElement("a"));
    EXPECT_FALSE(xml.FindElement()) << "a is the only root";
    ASSERT_TRUE(xml.FindChildElement("b"));
    EXPECT_EQ(xml.GetChildText(), "") << "an element not ended keeps only its start tag";
}

TEST(MarkupErrors, ChildrenOfAnUnendedElementMoveUp) {
    CMarkupSTL xml("<r><u><c1/><v><c2/></r>");
    EXPECT_EQ(xml.GetError(), "End tag 'r' at offset 19 does not match start tag 'v' at offset 11");
    ASSERT_TRUE(xml.FindElement("r"));
    ASSERT_TRUE(xml.EnterElement());
    std::string order;
    while (xml.FindElement()) {
        order += xml.GetTagName() + " ";
    }
    EXPECT_EQ(order, "u c1 v c2 ") << "document order, all under r";
}

TEST(MarkupErrors, EndTagWithoutStartTagIsIgnored) {
    CMarkupSTL xml("</x><a>1</a>");
    EXPECT_EQ(xml.GetError(), "No start tag for end tag 'x' at offset 0");
    ASSERT_TRUE(xml.FindElement("a"));
    EXPECT_EQ(xml.GetElementText(), "1");

    CMarkupSTL inner("<a><b>1</c></b></a>");
    EXPECT_EQ(inner.GetError(), "No start tag for end tag 'c' at offset 7");
    ASSERT_TRUE(inner.FindChildElement("b"));
    EXPECT_EQ(inner.GetChildText(), "1");
}

TEST(MarkupErrors, UnterminatedConstructs) {
    EXPECT_EQ(CMarkupSTL("<a").GetError(), "Element tag at offset 0 unterminated");
    EXPECT_EQ(CMarkupSTL("<a></a").GetError(), "Element end tag at offset 3 unterminated");
    EXPECT_EQ(CMarkupSTL("<a><![CDATA[x</a>").GetError(), "CDATA Section at offset 3 unterminated");
    EXPECT_EQ(CMarkupSTL("<a/><?pi").GetError(), "Processing instruction at offset 4 unterminated");
    EXPECT_EQ(CMarkupSTL("<a/><!-- x").GetError(), "Comment at offset 4 unterminated");
    EXPECT_EQ(CMarkupSTL("<!DOCTYPE a [ > ").GetError(),
              "Doctype at offset 0 unterminated, No root element");
    EXPECT_EQ(CMarkupSTL("<a/><!ENTITY").GetError(), "tag at offset 4 unterminated");
    EXPECT_EQ(CMarkupSTL("<a/><").GetError(), "tag at offset 4 unterminated");
    EXPECT_EQ(CMarkupSTL("<a><b>x").GetError(), "Element 'b' at offset 3 not ended");
}

TEST(MarkupErrors, IncorrectConstructs) {
    EXPECT_EQ(CMarkupSTL("<a>< b</a>").GetError(), "Incorrect tag name character at offset 3");
    EXPECT_EQ(CMarkupSTL("<a><1/></a>").GetError(), "Incorrect tag name character at offset 3");
    EXPECT_EQ(CMarkupSTL("<a><!x></a>").GetError(), "Incorrect ! tag at offset 3");
    EXPECT_EQ(CMarkupSTL("<a><!-x></a>").GetError(), "Incorrect comment tag at offset 3");
    EXPECT_EQ(CMarkupSTL("<a><![x[]]></a>").GetError(), "Incorrect tag at offset 3");
    EXPECT_EQ(CMarkupSTL("<a><!ELEMENT a ANY></a>").GetError(), "")
        << "markup declarations are stepped over";
}

TEST(MarkupErrors, OnlyTheFirstScanErrorIsKept) {
    CMarkupSTL xml("<a></b></c><d>");
    EXPECT_EQ(xml.GetError(), "No start tag for end tag 'b' at offset 3");
    CMarkupSTL twice("<a/>");
    EXPECT_TRUE(twice.IsWellFormed());
    EXPECT_FALSE(twice.SetDoc("<a><b></a>"));
    EXPECT_TRUE(twice.SetDoc("<c/>")) << "each parse starts with a clean error";
}

TEST(MarkupErrors, TruncatedDocumentKeepsWhatItHas) {
    CMarkupSTL xml("<r><mac>00:11</mac><info><name>cam");
    EXPECT_EQ(xml.GetError(), "Element 'name' at offset 25 not ended");
    ASSERT_TRUE(xml.FindElement("r"));
    ASSERT_TRUE(xml.FindChildElement("mac"));
    EXPECT_EQ(xml.GetChildText(), "00:11");
    ASSERT_TRUE(xml.EnterElement());
    ASSERT_TRUE(xml.FindElement("info"));
    ASSERT_TRUE(xml.FindChildElement("name"));
    EXPECT_EQ(xml.GetChildText(), "cam") << "an element open at the end runs to the end";
}
