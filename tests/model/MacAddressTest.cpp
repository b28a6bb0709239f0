// A MAC however a camera, a file or a technician writes it names one camera:
// the device table, the job table, the CLI's selection, the journal and the
// window all compare it through CMacAddress.
#include <gtest/gtest.h>

#include "model/MacAddress.h"

TEST(MacAddress, ColonsDashesAndAnyCaseReadAsOneAddress) {
    const auto colons = CMacAddress::Parse("02:cc:0A:bB:ff:00");
    const auto dashes = CMacAddress::Parse("02-CC-0a-BB-FF-00");
    ASSERT_TRUE(colons && dashes);
    EXPECT_EQ(*colons, *dashes);
    // Printed as the reports and journals hold it.
    EXPECT_EQ(colons->Text(), "02:CC:0A:BB:FF:00");
    EXPECT_EQ(dashes->Text(), "02:CC:0A:BB:FF:00");
    EXPECT_EQ(colons->Octets()[2], 0x0A);
    EXPECT_NE(*colons, *CMacAddress::Parse("02:CC:0A:BB:FF:01"));
    EXPECT_LT(*colons, *CMacAddress::Parse("02:CC:0A:BB:FF:01"));
}

TEST(MacAddress, MalformedTextIsNoAddress) {
    for (const char* bad :
         {"", "02:CC:0A:BB:FF", "02:CC:0A:BB:FF:00:11", "02:CC-0A:BB:FF:00", "02:CC:0A:BB:FF:0G",
          "02:CC:0A:BB:FF:0", " 2:CC:0A:BB:FF:00", "02CC0ABBFF00", "02:CC:0A:BB:FF:00 ",
          "02.CC.0A.BB.FF.00", "0x:CC:0A:BB:FF:00", "02::CC:0A:BB:FF0"}) {
        EXPECT_FALSE(CMacAddress::Parse(bad)) << bad;
    }
    // Bytes past a NUL are never taken for hex digits.
    EXPECT_FALSE(CMacAddress::Parse(std::string_view("02:CC:0A:BB:FF:0\0", 17)));
}

TEST(MacAddress, OneComparisonForTablesAndLookups) {
    EXPECT_TRUE(SameMac("aa:bb:cc:01:02:03", "AA-BB-CC-01-02-03"));
    EXPECT_FALSE(SameMac("AA:BB:CC:01:02:03", "AA:BB:CC:01:02:04"));
    EXPECT_EQ(MacKey("aa-bb-cc-01-02-03"), "AA:BB:CC:01:02:03");
    // A camera that sends no MAC still names its one row, in any case,
    // and never that of a real address.
    EXPECT_TRUE(SameMac("cam-a", "CAM-A"));
    EXPECT_FALSE(SameMac("AA:BB", "AA:BC"));
    EXPECT_FALSE(SameMac("AA:BB", "AA:BB:"));
    EXPECT_FALSE(SameMac("AA:BB:CC:01:02:03 ", "AA:BB:CC:01:02:03"));
    EXPECT_EQ(MacKey("cam-a"), "CAM-A");
    EXPECT_EQ(MacShown("02-cc-0a-bb-ff-00"), "02:CC:0A:BB:FF:00");
    EXPECT_EQ(MacShown("cam-a"), "cam-a");
    for (const char* a :
         {"aa:bb:cc:01:02:03", "AA-BB-CC-01-02-03", "cam-a", "CAM-A", "", "AA:BB"}) {
        for (const char* b : {"AA:BB:CC:01:02:03", "aa-bb-cc-01-02-04", "Cam-A", "", "aa:bb"}) {
            EXPECT_EQ(SameMac(a, b), MacKey(a) == MacKey(b)) << a << " / " << b;
        }
    }
}
