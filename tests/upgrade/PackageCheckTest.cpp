// Packages that cannot be right for any camera are refused before a batch
// contacts anything, with a reason that names the file.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "support/TestSupport.h"
#include "upgrade/UpgradePackage.h"

namespace {

void Le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

std::string Write(const testing_support::CSandbox& box, const std::string& name,
                  const std::vector<uint8_t>& data) {
    std::ofstream(box.File(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return box.File(name);
}

std::vector<uint8_t> NewStyle(size_t size) {
    std::vector<uint8_t> data(size, 0x5A);
    Le32(data.data(), NEW_PACKAGE_MAGIC);
    return data;
}

std::vector<uint8_t> OldStyle(size_t body, uint32_t headFlag) {
    std::vector<uint8_t> data(body + PACKAGE_TRAILER_SIZE, 0x11);
    Le32(data.data() + body, headFlag);
    return data;
}

}  // namespace

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
    EXPECT_NE(CheckPackageFile(Write(box, "empty.bin", {})), "");
    EXPECT_NE(CheckPackageFile(Write(box, "short.bin", OldStyle(99, PACKAGE_HEAD_FLAG))), "");
    const std::string noFlag = CheckPackageFile(Write(box, "noflag.bin", OldStyle(500, 0x1234)));
    EXPECT_NE(noFlag.find("head flag 0x00001234"), std::string::npos) << noFlag;
    EXPECT_EQ(CheckPackageFile(Write(box, "ok.bin", OldStyle(100, PACKAGE_HEAD_FLAG))), "");
}
