#include "upgrade/PackageDigests.h"

#include "device/Digest.h"
#include "upgrade/UpgradePackage.h"

std::string CPackageDigests::BlockMd5(const CUpgradePackage& package, uint32_t k) {
    if (k < 1 || k > UPGRADE_BLOCK_COUNT) {
        return "";
    }
    std::call_once(m_once, [&] { Compute(package); });
    return DigestToHex(m_blocks[k - 1], true);
}

std::string CPackageDigests::TransferMd5(const CUpgradePackage& package) {
    std::call_once(m_once, [&] { Compute(package); });
    return DigestToHex(m_transfer, true);
}

void CPackageDigests::Compute(const CUpgradePackage& package) {
    const BlockLayout layout(package.PayloadLength());
    const uint8_t* payload = package.Data().data();
    CRunningMd5 block;
    CRunningMd5 transfer;
    for (uint32_t k = 1; k <= UPGRADE_BLOCK_COUNT; ++k) {
        const uint8_t number[4] = {static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
                                   static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 24)};
        const uint32_t size = layout.Size(k);
        block.Update(number, sizeof(number));
        transfer.Update(number, sizeof(number));
        if (size > 0) {
            block.Update(payload + layout.Offset(k), size);
            transfer.Update(payload + layout.Offset(k), size);
        }
        m_blocks[k - 1] = block.Final();
    }
    m_transfer = transfer.Final();
}
