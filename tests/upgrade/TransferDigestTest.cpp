// The MD5s a transfer logs, worked out once per package, are those of the
// blocks that actually went out (number and bytes), one by one and in all.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "device/Digest.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradePackage.h"
#include "upgrade/UpgradeResult.h"

TEST(TransferDigests, LoggedDigestsAreThoseOfTheBlocksSent) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    // 100 blocks of 123 bytes, the first with the 45 left over.
    const std::string path = h.NewStylePackage("fw.bin", 12341);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> package((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
    h.RunBatch({cam.mac}, path);
    ASSERT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);

    const BlockLayout layout(static_cast<uint32_t>(package.size()));
    CRunningMd5 all;
    uint32_t sent = 0;
    for (uint32_t k = 1; k <= 100; ++k) {
        std::vector<uint8_t> block = {static_cast<uint8_t>(k), 0, 0, 0};
        block.insert(block.end(), package.begin() + layout.Offset(k),
                     package.begin() + layout.Offset(k) + layout.Size(k));
        all.Update(block.data(), block.size());
        sent += layout.Size(k);
        EXPECT_EQ(h.Log().Count(std::to_string(k) + " times send data succeed, mac: " + cam.mac +
                                ", sentSize: " + std::to_string(sent) + ", blockMD5: " +
                                DigestToHex(DigestMd5(block.data(), block.size()), true)),
                  1)
            << "block " << k;
    }
    EXPECT_EQ(h.Log().Count("send data succeed 0, mac: " + cam.mac +
                            ", dataMD5: " + DigestToHex(all.Final(), true)),
              1);
}
