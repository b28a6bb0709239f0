// Camera text at the program's edges: terminal, log, tables and CSV.
#include <gtest/gtest.h>

#include "model/SafeText.h"

TEST(SafeText, ControlCharactersBecomeVisibleEscapes) {
    EXPECT_EQ(VisibleText("\x1b]2;PWNED\x07\x1b[31mRED"), "\\x1B]2;PWNED\\x07\\x1B[31mRED");
    EXPECT_EQ(VisibleText("a\r\nb\tc"), "a\\x0D\\x0Ab\\x09c");
    EXPECT_EQ(VisibleText(std::string("nul\0end", 7)), "nul\\x00end");
    EXPECT_EQ(VisibleText("del\x7f"), "del\\x7F");
    // C1 as UTF-8 (U+009B is CSI), a lone C1 byte, a right-to-left override.
    EXPECT_EQ(VisibleText("\xc2\x9b"
                          "31m"),
              "\\u009B31m");
    EXPECT_EQ(VisibleText("\x9b"
                          "31m"),
              "\\x9B31m");
    EXPECT_EQ(VisibleText("ab\xe2\x80\xae"
                          "cd"),
              "ab\\u202Ecd");
    // Overlong and cut sequences are no UTF-8: each byte is escaped.
    EXPECT_EQ(VisibleText("\xc0\x9b"), "\\xC0\\x9B");
    EXPECT_EQ(VisibleText("x\xe6\x91"), "x\\xE6\\x91");
}

TEST(SafeText, PrintableTextStaysAsItIs) {
    for (const char* text : {"Gate 1", "門口 カメラ", "C:\\path", "<b>&amp;</b>", "", "émoji 😀"}) {
        EXPECT_EQ(VisibleText(text), text);
    }
}

TEST(SafeText, CsvCellsDefuseFormulasAndQuote) {
    EXPECT_EQ(CsvCell("=HYPERLINK(\"http://x\",\"y\")"),
              "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
    EXPECT_EQ(CsvCell("+1"), "'+1");
    EXPECT_EQ(CsvCell("-2+3"), "'-2+3");
    EXPECT_EQ(CsvCell("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(CsvCell("\t=1"), "'\\x09=1");
    EXPECT_EQ(CsvCell("\r=1"), "'\\x0D=1");
    EXPECT_EQ(CsvCell("a\r\nb"), "a\\x0D\\x0Ab");  // one record stays one line
    EXPECT_EQ(CsvCell("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvCell("Cam 1"), "Cam 1");
    EXPECT_EQ(CsvCell("4.0.2(230119)"), "4.0.2(230119)");
}
