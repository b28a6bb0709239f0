#include <gtest/gtest.h>

#include "DeviceListRules.h"
#include "GuiTestSupport.h"
#include "app/Language.h"
#include "app/StringTable.h"

namespace {

std::string VersionOf(const std::string& version, int32_t build, const std::string& mask2 = "") {
    DeviceFields fields;
    fields.mac = "00:11:22:33:44:55";
    fields.version = version;
    fields.build = build;
    fields.mask2 = mask2;
    return DeviceVersionText(*MakeDevice(fields));
}

}  // namespace

TEST(DeviceListRules, VersionTextCarriesTheBuildNumber) {
    EXPECT_EQ(VersionOf("3.1.0", 12), "3.1.0(12)");
    EXPECT_EQ(VersionOf("3.1.0beta", 12), "3.1.0(12)beta");
    EXPECT_EQ(VersionOf("2.0.1beta", 5), "2.0.1(5)beta");
    EXPECT_EQ(VersionOf("2.0.1beta", -1), "2.0.1beta");
    EXPECT_EQ(VersionOf("1beta2beta", 3), "1(3)beta2(3)beta");  // every "beta"
    EXPECT_EQ(VersionOf("", 7), "(7)");
    EXPECT_EQ(VersionOf("3.1.0", 0), "3.1.0(0)");
}

TEST(DeviceListRules, VersionTextSecondMaskRule) {
    EXPECT_EQ(VersionOf("3.4.2", 7, "10.0.0.0"), "3.4.2.10(7)");
    EXPECT_EQ(VersionOf("3.4.2beta", 7, "20.255.0.0"), "3.4.2.20(7)beta");
    // 255, 0, no dot, no digits: unchanged.
    EXPECT_EQ(VersionOf("3.4.2", 7, "255.255.255.0"), "3.4.2(7)");
    EXPECT_EQ(VersionOf("3.4.2", 7, ""), "3.4.2(7)");
    EXPECT_EQ(VersionOf("3.4.2", 7, "0.0.0.0"), "3.4.2(7)");
    EXPECT_EQ(VersionOf("3.4.2", 7, "10"), "3.4.2(7)");
    EXPECT_EQ(VersionOf("3.4.2", 7, "x.1.1.1"), "3.4.2(7)");
    // Only a version that begins with 3.4.2 takes the rule.
    EXPECT_EQ(VersionOf("1.3.4.2", 7, "10.0.0.0"), "1.3.4.2(7)");
    EXPECT_EQ(VersionOf("3.4.2", -1, "10.0.0.0"), "3.4.2.10");
}

TEST(DeviceListRules, ActivationTexts) {
    EXPECT_EQ(ActivationStringId(0), IDS_ACTIVATED);
    EXPECT_EQ(ActivationStringId(1), IDS_NONACTIVATED);
    EXPECT_EQ(ActivationStringId(2), 0);
    EXPECT_EQ(ActivationStringId(-1), 0);
    EXPECT_EQ(LoadString(IDS_ACTIVATED, UiLanguage::English), "Activated");
}

TEST(DeviceListRules, MacComparisonIgnoresCase) {
    EXPECT_TRUE(MacEqualsNoCase("AA:bb:CC:01:02:03", "aa:BB:cc:01:02:03"));
    EXPECT_FALSE(MacEqualsNoCase("AA:BB", "AA:BC"));
    EXPECT_FALSE(MacEqualsNoCase("AA:BB", "AA:BB:"));
    EXPECT_EQ(MacKey("AA:Bb:0F"), "aa:bb:0f");
}

TEST(DeviceListRules, AddressesReadLikeInetAddr) {
    EXPECT_EQ(Ipv4HostOrder("192.168.1.2"), 0xC0A80102u);
    EXPECT_EQ(Ipv4HostOrder("10.1"), 0x0A000001u);
    EXPECT_EQ(Ipv4HostOrder("10.1.2"), 0x0A010002u);
    EXPECT_EQ(Ipv4HostOrder("0x7f.0.0.010"), 0x7F000008u);
    EXPECT_EQ(Ipv4HostOrder("1.2.3.4 "), 0x01020304u);
    EXPECT_EQ(Ipv4HostOrder("0.0.0.0"), 0u);
    const uint32_t none = 0xFFFFFFFFu;
    EXPECT_EQ(Ipv4HostOrder(""), none);
    EXPECT_EQ(Ipv4HostOrder("1.2.3.256"), none);
    EXPECT_EQ(Ipv4HostOrder("1.2.3.4.5"), none);
    EXPECT_EQ(Ipv4HostOrder("1.2.3."), none);
    EXPECT_EQ(Ipv4HostOrder("08.1.1.1"), none);
    EXPECT_EQ(Ipv4HostOrder("host"), none);
    EXPECT_EQ(Ipv4HostOrder("99999999999"), none);
}

TEST(DeviceListRules, SortComparisonAndDirection) {
    DeviceFields a;
    DeviceFields b;
    a.mac = "aa";
    b.mac = "bb";
    a.ip = "9.0.0.1";
    b.ip = "10.0.0.1";
    a.name = "zeta";
    b.name = "\xC3\xA9t\xC3\xA9";  // UTF-8 bytes sort after ASCII letters
    a.ip2 = "";
    b.ip2 = "1.1.1.1";
    const auto ra = MakeDevice(a);
    const auto rb = MakeDevice(b);

    EXPECT_LT(CompareDevicesForSort(COL_IP, *ra, *rb, true), 0);  // by value, not text
    EXPECT_GT(CompareDevicesForSort(COL_IP, *ra, *rb, false), 0);
    EXPECT_EQ(CompareDevicesForSort(COL_IP, *ra, *ra, false), 0);
    EXPECT_LT(CompareDevicesForSort(COL_NAME, *ra, *rb, true), 0);
    EXPECT_LT(CompareDevicesForSort(COL_MAC, *ra, *rb, true), 0);
    EXPECT_GT(CompareDevicesForSort(COL_MAC, *ra, *rb, false), 0);
    // An empty address reads as 0xFFFFFFFF and sorts last ascending.
    EXPECT_GT(CompareDevicesForSort(COL_SLAVE_IP, *ra, *rb, true), 0);

    for (int column = 0; column < COL_COUNT; ++column) {
        const bool sortable = column == COL_NAME || column == COL_IP || column == COL_SLAVE_IP ||
                              column == COL_MAC || column == COL_PRODUCT || column == COL_VERSION ||
                              column == COL_KERNEL;
        EXPECT_EQ(IsSortableColumn(column), sortable) << column;
    }
    EXPECT_EQ(CompareDevicesForSort(COL_BUILD_DATE, *ra, *rb, true), 0);
}

TEST(DeviceListRules, ResultCodesAndProgress) {
    SetCurrentLanguage(UiLanguage::English);
    const std::pair<int, const char*> texts[] = {
        {0, "Upgraded successfully!"},
        {1, "Upgrade failed!"},
        {2, "Upgrade failed!"},
        {3, "Failed to open the file!"},
        {4, "Upgrade package error!"},
        {5, "Wrong IP Address!"},
        {6, "Wrong Port!"},
        {7, "The upgrade is complete (but the version has not changed)."},
        {8, "This device is not supported!"},
        {9, "Network Disconnected!"},
        {10, "Device connection failed!"},
        {11, "Incorrect Username/Password!"},
        {12, "Maximum number of connections exceeded!"},
        {15, "Failed to send upgrade package!"},
        {16, "Upgrading, Please wait...."},
        {17, "Wait for restart to enter upgrade mode"},
        {18, "Wait for the device to complete the upgrade"},
        {19, "Upgrade timeout!"},
        {22, "MES get in station fail"},
        {23, "Upgraded elsewhere right now"},
    };
    for (const auto& [code, expected] : texts) {
        std::string text;
        EXPECT_TRUE(ResultCodeToText(code, text)) << code;
        EXPECT_EQ(text, expected) << code;
    }
    for (int code : {13, 14, 20, 21, 29, 100, -1}) {
        std::string text = "old";
        EXPECT_FALSE(ResultCodeToText(code, text)) << code;
        EXPECT_EQ(text, "") << code;
    }
    EXPECT_EQ(ProgressText(0), "0%");
    EXPECT_EQ(ProgressText(45), "45%");
    EXPECT_EQ(ProgressText(99), "99%");
    EXPECT_EQ(ProgressText(-1), "-1%");
}

TEST(DeviceListRules, FileFilterAndWebPage) {
    EXPECT_EQ(FileDialogFilter("upgrade file(*.*)|*.*||"), "upgrade file (*)");
    EXPECT_EQ(FileDialogFilter("Packages (*.bin)|*.bin;*.img|All|*.*||"),
              "Packages (*.bin *.img);;All (*)");
    EXPECT_EQ(FileDialogFilter(""), "");
    EXPECT_EQ(DeviceWebUrl("192.168.1.5", 80), "http://192.168.1.5");
    EXPECT_EQ(DeviceWebUrl("192.168.1.5", 8080), "http://192.168.1.5:8080");
}

TEST(DeviceListRules, ColumnTable) {
    const int widths[COL_COUNT] = {25, 45, 95, 110, 110, 125, 95, 115, 90, 85, 85, 0, 0, 0, 0, 230};
    const int headings[COL_COUNT] = {0,    1048, 1040, 1033, 1068, 1010, 1011, 1012,
                                     1013, 1014, 1050, 1053, 1054, 1056, 1055, 1015};
    for (int column = 0; column < COL_COUNT; ++column) {
        EXPECT_EQ(DeviceColumnDef(column).width, widths[column]) << column;
        EXPECT_EQ(DeviceColumnDef(column).headingId, headings[column]) << column;
    }
}
