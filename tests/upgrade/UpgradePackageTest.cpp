#include <gtest/gtest.h>

#include <cstring>

#include "support/TestSupport.h"
#include "upgrade/UpgradePackage.h"

namespace {

std::vector<uint8_t> Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// An old-style package: body, then the 64-byte trailer.
std::vector<uint8_t> OldStyle(std::vector<uint8_t> body, uint32_t productType,
                              uint32_t headFlag = 0x64616568) {
    std::vector<uint8_t> trailer(64, 0xEE);
    std::memcpy(trailer.data(), Le32(headFlag).data(), 4);
    std::memcpy(trailer.data() + 4, Le32(7).data(), 4);
    std::memcpy(trailer.data() + 8, Le32(productType).data(), 4);
    body.insert(body.end(), trailer.begin(), trailer.end());
    return body;
}

std::vector<uint8_t> Gzip(size_t size) {
    std::vector<uint8_t> data(size, 0x55);
    const uint8_t head[] = {0x1F, 0x8B, 0x08, 0x00, 1, 2, 3, 4, 0x00, 0x03};
    std::memcpy(data.data(), head, sizeof(head));
    return data;
}

std::vector<uint8_t> NewStyle(size_t size) {
    auto data = Le32(NEW_PACKAGE_MAGIC);
    data.resize(size, 0x5A);
    return data;
}

std::string Write(const testing_support::CSandbox& box, const std::string& name,
                  const std::vector<uint8_t>& data) {
    box.Write(name, std::string(data.begin(), data.end()));
    return box.File(name);
}

CUpgradePackage Package(std::vector<uint8_t> data, std::string name = "fw.bin") {
    CUpgradePackage package;
    package.Assign(std::move(data), std::move(name));
    return package;
}

}  // namespace

TEST(UpgradePackage, NewStyleIsSentWholeToEveryCamera) {
    const auto package = Package(NewStyle(500));
    EXPECT_TRUE(package.IsNewStyle());
    EXPECT_EQ(package.PayloadLength(), 500u);
    EXPECT_TRUE(package.IsCompatible(0x03000000, 1));
    EXPECT_TRUE(package.IsCompatible(0x04000200, 99));
}

TEST(UpgradePackage, TooShortPackagesAreRefusedBeforeAnythingIsRead) {
    EXPECT_FALSE(Package({}).IsCompatible(0x04000200, 1));
    EXPECT_FALSE(Package({1, 2, 3}).IsCompatible(0x04000200, 1));
    EXPECT_FALSE(Package(std::vector<uint8_t>(63, 0)).IsCompatible(0x05000000, 0));
    EXPECT_EQ(Package({1, 2, 3}).PayloadLength(), 0u);
    EXPECT_FALSE(Package({0x18, 0x01, 0x22}).IsNewStyle());
}

TEST(UpgradePackage, VersionRulesAroundBareGzip) {
    const auto plain = Package(OldStyle(std::vector<uint8_t>(100, 1), 0x2020));
    const auto gzip = Package(OldStyle(Gzip(100), 0x2020));
    // 4.0.2 and later refuse a bare gzip.
    EXPECT_TRUE(plain.IsCompatible(0x04000200, 0x2020));
    EXPECT_FALSE(gzip.IsCompatible(0x04000200, 0x2020));
    // Earlier 4.x and 3.x accept only a bare gzip.
    EXPECT_FALSE(plain.IsCompatible(0x04000100, 0x2020));
    EXPECT_TRUE(gzip.IsCompatible(0x04000100, 0x2020));
    EXPECT_FALSE(plain.IsCompatible(0x03070000, 0x2020));
    EXPECT_TRUE(gzip.IsCompatible(0x03070000, 0x2020));
    // The comparison is textual: 4.0.10.0 sorts below 4.0.2.
    EXPECT_EQ(SoftwareVersionText(0x04000A00), "4.0.10.0");
    EXPECT_FALSE(plain.IsCompatible(0x04000A00, 0x2020));
    EXPECT_TRUE(gzip.IsCompatible(0x04000A00, 0x2020));
    // Other majors skip both rules.
    EXPECT_TRUE(plain.IsCompatible(0x05000000, 0x2020));
    EXPECT_TRUE(gzip.IsCompatible(0x05000000, 0x2020));
}

TEST(UpgradePackage, TrailerMustCarryHeadFlagAndProductType) {
    EXPECT_FALSE(
        Package(OldStyle(std::vector<uint8_t>(100, 1), 0x2020)).IsCompatible(0x05000000, 0x2021));
    EXPECT_FALSE(Package(OldStyle(std::vector<uint8_t>(100, 1), 0x2020, 0x64616569))
                     .IsCompatible(0x05000000, 0x2020));
    const auto package = Package(OldStyle(std::vector<uint8_t>(1050, 1), 0x2020));
    EXPECT_EQ(package.PayloadLength(), 1050u);
    EXPECT_EQ(package.Trailer().deviceType, 7u);
}

TEST(UpgradePackage, GzipTestNeedsAllSixBytes) {
    auto data = Gzip(10);
    EXPECT_TRUE(IsBareGzip(data.data(), data.size()));
    EXPECT_FALSE(IsBareGzip(data.data(), 9));
    data[9] = 0x02;
    EXPECT_FALSE(IsBareGzip(data.data(), data.size()));
}

TEST(BlockLayout, FirstBlockTakesTheRemainder) {
    const BlockLayout layout(1050);
    EXPECT_EQ(layout.blockSize, 10u);
    EXPECT_EQ(layout.firstBlockSize, 60u);
    uint32_t total = 0;
    uint32_t expectedOffset = 0;
    for (uint32_t k = 1; k <= 100; ++k) {
        EXPECT_EQ(layout.Offset(k), expectedOffset) << k;
        expectedOffset += layout.Size(k);
        total += layout.Size(k);
    }
    EXPECT_EQ(total, 1050u);

    const BlockLayout tiny(42);
    EXPECT_EQ(tiny.blockSize, 0u);
    EXPECT_EQ(tiny.firstBlockSize, 42u);
    EXPECT_EQ(tiny.Size(2), 0u);
}

TEST(UpgradePackage, LoadReadsWholeFileAndItsName) {
    testing_support::CSandbox box;
    box.Write("pkg-4.1.0.bin", std::string("\x18\x01\x22\x20rest", 8));
    CUpgradePackage package;
    ASSERT_TRUE(package.Load(box.File("pkg-4.1.0.bin")));
    EXPECT_EQ(package.FileName(), "pkg-4.1.0.bin");
    EXPECT_EQ(package.Length(), 8u);
    EXPECT_TRUE(package.IsNewStyle());
    EXPECT_FALSE(package.Load(box.File("missing.bin")));
}

// Packages that cannot be right for any camera are refused before a batch
// contacts anything, with a reason that names the file.
TEST(PackageCheck, FilesThatCannotBeReadNameThemselvesAndTheReason) {
    testing_support::CSandbox box;
    const std::string missing = box.File("missing.bin");
    const std::string problem = CheckPackageFile(missing);
    EXPECT_NE(problem.find(missing), std::string::npos) << problem;
    EXPECT_NE(problem.find("No such file"), std::string::npos) << problem;
    EXPECT_NE(CheckPackageFile(box.Path()).find("folder"), std::string::npos);
}

TEST(PackageCheck, NewStyleNeedsOneByteForEachOfTheHundredBlocks) {
    testing_support::CSandbox box;
    // Only the magic: would have gone out as 100 empty blocks.
    const std::string magicOnly = Write(box, "magic.bin", NewStyle(4));
    EXPECT_NE(CheckPackageFile(magicOnly).find("magic.bin: a new-style package of 4 bytes"),
              std::string::npos)
        << CheckPackageFile(magicOnly);
    EXPECT_NE(CheckPackageFile(Write(box, "99.bin", NewStyle(99))), "");
    EXPECT_EQ(CheckPackageFile(Write(box, "100.bin", NewStyle(100))), "");
}

TEST(PackageCheck, OldStyleNeedsItsTrailerWithTheHeadFlagAndAHundredBytes) {
    testing_support::CSandbox box;
    const std::vector<uint8_t> body(99, 0x11);
    EXPECT_NE(CheckPackageFile(Write(box, "empty.bin", {})), "");
    EXPECT_NE(CheckPackageFile(Write(box, "short.bin", OldStyle(body, 0x2020))), "");
    const std::string noFlag = CheckPackageFile(
        Write(box, "noflag.bin", OldStyle(std::vector<uint8_t>(500, 0x11), 0x2020, 0x1234)));
    EXPECT_NE(noFlag.find("head flag 0x00001234"), std::string::npos) << noFlag;
    EXPECT_EQ(
        CheckPackageFile(Write(box, "ok.bin", OldStyle(std::vector<uint8_t>(100, 0x11), 0x2020))),
        "");
}
