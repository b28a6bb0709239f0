#include <gtest/gtest.h>

#include "DeviceListRules.h"
#include "GuiTestSupport.h"

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

TEST(DeviceListRules, FileFilterOfTheStringTableForm) {
    EXPECT_EQ(FileDialogFilter("upgrade file(*.*)|*.*||"), "upgrade file (*)");
    EXPECT_EQ(FileDialogFilter("Packages (*.bin)|*.bin;*.img|All|*.*||"),
              "Packages (*.bin *.img);;All (*)");
    EXPECT_EQ(FileDialogFilter(""), "");
}
