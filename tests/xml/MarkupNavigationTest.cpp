#include <gtest/gtest.h>

#include "xml/MarkupSTL.h"

TEST(MarkupNavigation, SiblingsAreFoundInOrderThenNoMore) {
    CMarkupSTL xml("<a><b>1</b><c/><b>2</b></a>");
    EXPECT_TRUE(xml.IsWellFormed()) << xml.GetError();
    ASSERT_TRUE(xml.FindElement("a"));
    ASSERT_TRUE(xml.EnterElement());
    ASSERT_TRUE(xml.FindElement("b"));
    EXPECT_EQ(xml.GetElementText(), "1");
    ASSERT_TRUE(xml.FindElement("b"));
    EXPECT_EQ(xml.GetElementText(), "2");
    EXPECT_FALSE(xml.FindElement("b"));
    EXPECT_EQ(xml.GetElementText(), "2") << "a failed search leaves the position";
}

TEST(MarkupNavigation, ResetAfterLeaveFindsTheFirstSiblingAgain) {
    CMarkupSTL xml("<r><x><y>in</y></x><p>1</p><q>2</q></r>");
    ASSERT_TRUE(xml.FindElement("r"));
    ASSERT_TRUE(xml.EnterElement());
    ASSERT_TRUE(xml.FindElement("q"));
    EXPECT_FALSE(xml.FindElement("p")) << "p lies before the main position";
    xml.ResetMainPosition();
    ASSERT_TRUE(xml.FindElement("p"));
    EXPECT_EQ(xml.GetElementText(), "1");

    xml.ResetMainPosition();
    ASSERT_TRUE(xml.FindElement("x"));
    ASSERT_TRUE(xml.EnterElement());
    ASSERT_TRUE(xml.FindElement("y"));
    ASSERT_TRUE(xml.LeaveElement());
    EXPECT_EQ(xml.GetTagName(), "x");
    EXPECT_EQ(xml.GetChildTagName(), "y") << "the old main position becomes the child";
    xml.ResetMainPosition();
    ASSERT_TRUE(xml.FindElement("q"));
    EXPECT_EQ(xml.GetElementText(), "2");
}

TEST(MarkupNavigation, ChildSearchLeavesTheMainPosition) {
    CMarkupSTL xml("<item><ip>1.2.3.4</ip><mask>255.0.0.0</mask><ip>dup</ip></item>");
    // Without a main position the child search first takes the next element.
    ASSERT_TRUE(xml.FindChildElement("mask"));
    EXPECT_EQ(xml.GetTagName(), "item");
    EXPECT_EQ(xml.GetChildText(), "255.0.0.0");
    EXPECT_FALSE(xml.FindChildElement("mask"));
    xml.ResetChildPosition();
    ASSERT_TRUE(xml.FindChildElement("ip"));
    EXPECT_EQ(xml.GetChildText(), "1.2.3.4");
    ASSERT_TRUE(xml.FindChildElement());
    EXPECT_EQ(xml.GetChildTagName(), "mask") << "no name takes the next element of any name";
    EXPECT_EQ(xml.GetElementText(), "") << "an element with children has no text";
}

TEST(MarkupNavigation, EnterAndLeaveAtTheEdges) {
    CMarkupSTL xml("<a><b/></a>");
    EXPECT_FALSE(xml.EnterElement()) << "no main position yet";
    EXPECT_FALSE(xml.LeaveElement()) << "the parent is the document";
    ASSERT_TRUE(xml.FindElement());
    ASSERT_TRUE(xml.EnterElement());
    EXPECT_EQ(xml.GetTagName(), "") << "no child was found before entering";
    ASSERT_TRUE(xml.FindElement());
    EXPECT_EQ(xml.GetTagName(), "b");
    EXPECT_EQ(xml.GetElementText(), "");
    ASSERT_TRUE(xml.EnterElement()) << "an empty element may be entered";
    EXPECT_FALSE(xml.FindElement());
    ASSERT_TRUE(xml.LeaveElement());
    ASSERT_TRUE(xml.LeaveElement());
    EXPECT_EQ(xml.GetTagName(), "a");
    EXPECT_FALSE(xml.LeaveElement());
}

TEST(MarkupNavigation, NamesMatchWholeAndCaseSensitive) {
    CMarkupSTL xml("<root><item>lower</item><items>plural</items><Item>upper</Item></root>");
    ASSERT_TRUE(xml.FindElement("root"));
    ASSERT_TRUE(xml.EnterElement());
    ASSERT_TRUE(xml.FindElement("Item"));
    EXPECT_EQ(xml.GetElementText(), "upper");
    xml.ResetMainPosition();
    ASSERT_TRUE(xml.FindElement("item"));
    EXPECT_EQ(xml.GetElementText(), "lower");
    EXPECT_FALSE(xml.FindElement("ite")) << "a prefix of a name does not match";
    xml.ResetMainPosition();
    ASSERT_TRUE(xml.FindElement("items"));
    EXPECT_EQ(xml.GetElementText(), "plural");

    CMarkupSTL loose("<Root><ITEM>x</ITEM></Root>");
    loose.SetIgnoreCase(true);
    ASSERT_TRUE(loose.FindElement("root"));
    ASSERT_TRUE(loose.FindChildElement("item"));
    EXPECT_EQ(loose.GetChildText(), "x");
}

TEST(MarkupNavigation, TagsWithAttributesAndQuotedBrackets) {
    CMarkupSTL xml(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY e \"v\">]>\n"
        "<r a=\"x>y\" b='/'><e1 k=\"v\"/><e2 k=v/>text</e2><e3\n/><!-- <e4> --></r>");
    EXPECT_TRUE(xml.IsWellFormed()) << xml.GetError();
    EXPECT_EQ(xml.ElementCount(), 4u);
    ASSERT_TRUE(xml.FindElement("r"));
    ASSERT_TRUE(xml.FindChildElement("e2"));
    EXPECT_EQ(xml.GetChildText(), "text") << "'/' after an unquoted value is not '/>'";
    ASSERT_TRUE(xml.FindChildElement("e3"));
    EXPECT_FALSE(xml.FindChildElement("e4")) << "comments hold no elements";
}
