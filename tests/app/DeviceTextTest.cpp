#include <gtest/gtest.h>

#include "app/ActivationText.h"
#include "app/Language.h"
#include "model/DeviceText.h"

namespace {
DEVICE_S_INFO Record(const char* version, int build, const char* mask2 = "") {
    DEVICE_S_INFO record = *MakeEmptyDeviceInfo();
    CopyField(record.softwareVer, version);
    CopyField(record.mask2, mask2);
    record.build = build;
    return record;
}
}  // namespace

TEST(DeviceText, VersionCarriesBuildBeforeBeta) {
    EXPECT_EQ(DeviceVersionText(Record("3.1.0", 12)), "3.1.0(12)");
    EXPECT_EQ(DeviceVersionText(Record("3.1.0beta", 12)), "3.1.0(12)beta");
    EXPECT_EQ(DeviceVersionText(Record("2.0.1beta", 5)), "2.0.1(5)beta");
    EXPECT_EQ(DeviceVersionText(Record("2.0.1beta", -1)), "2.0.1beta");
    EXPECT_EQ(DeviceVersionText(Record("1beta2beta", 3)), "1(3)beta2(3)beta");
    EXPECT_EQ(DeviceVersionText(Record("", -1)), "");
    EXPECT_EQ(DeviceVersionText(Record("", 7)), "(7)");
    EXPECT_EQ(DeviceVersionText(Record("3.1.0", 0)), "3.1.0(0)");
}

TEST(DeviceText, Version342TakesFirstOctetOfSecondMask) {
    EXPECT_EQ(DeviceVersionText(Record("3.4.2", 7, "10.0.0.0")), "3.4.2.10(7)");
    EXPECT_EQ(DeviceVersionText(Record("3.4.2", 7, "255.255.255.0")), "3.4.2(7)");
    EXPECT_EQ(DeviceVersionText(Record("3.4.2", 7, "")), "3.4.2(7)");
    EXPECT_EQ(DeviceVersionText(Record("3.4.2", 7, "0.0.0.0")), "3.4.2(7)");
    EXPECT_EQ(DeviceVersionText(Record("3.4.2beta", 7, "20.255.0.0")), "3.4.2.20(7)beta");
    // 255, 0, no dot, no digits: unchanged.
    EXPECT_EQ(DeviceVersionText(Record("3.4.2", 7, "abc")), "3.4.2(7)");
    EXPECT_EQ(DeviceVersionText(Record("3.4.2", 7, "10")), "3.4.2(7)");
    EXPECT_EQ(DeviceVersionText(Record("3.4.20", -1, "12.0")), "3.4.2.120");
    EXPECT_EQ(DeviceVersionText(Record("1.3.4.2", 1, "10.0.0.0")), "1.3.4.2(1)");
}

TEST(DeviceText, ActivationAndUrl) {
    SetCurrentLanguage(UiLanguage::English);
    DEVICE_S_INFO record = *MakeEmptyDeviceInfo();
    std::string text;
    EXPECT_TRUE(DeviceActivationText(record, text));
    EXPECT_EQ(text, "Activated");
    record.deviceActivated = 1;
    EXPECT_TRUE(DeviceActivationText(record, text));
    EXPECT_EQ(text, "Nonactivated");
    record.deviceActivated = 2;
    EXPECT_FALSE(DeviceActivationText(record, text));
    EXPECT_EQ(DeviceWebUrl("192.168.1.64", 80), "http://192.168.1.64");
    EXPECT_EQ(DeviceWebUrl("192.168.1.64", 8080), "http://192.168.1.64:8080");
}
