// The MD5s a transfer logs, the same for every camera of a batch: each
// block's (its number and bytes, as they go out) and the running one of the
// whole transfer (every block in order). Worked out in one pass, once per
// package, by the first worker that asks; the others wait for it.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

class CUpgradePackage;

class CPackageDigests {
public:
    // Upper-case hexadecimal text of block k (1..100); "" for another k.
    std::string BlockMd5(const CUpgradePackage& package, uint32_t k);
    // Upper-case hexadecimal text of all 100 blocks in order.
    std::string TransferMd5(const CUpgradePackage& package);

private:
    void Compute(const CUpgradePackage& package);

    std::once_flag m_once;
    std::array<std::array<uint8_t, 16>, 100> m_blocks{};
    std::array<uint8_t, 16> m_transfer{};
};
