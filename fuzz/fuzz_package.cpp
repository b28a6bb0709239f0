// The upgrade package: style, trailer and the compatibility check for any
// file and any camera, then the cut into 100 blocks exactly as the transfer
// sends them (block number and payload bytes through the reused buffer).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzInput.h"
#include "upgrade/UpgradePackage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const uint32_t softwareVersion = in.Le32();
    const uint32_t productType = in.Le32();
    const auto file = in.Rest();

    CUpgradePackage package;
    package.Assign(std::vector<uint8_t>(file.begin(), file.end()), "fuzz.bin");
    const bool newStyle = package.IsNewStyle();
    package.Trailer();
    if (!newStyle && !package.IsCompatible(softwareVersion, productType)) {
        return 0;  // refused with result 4; nothing is sent
    }
    SoftwareVersionText(softwareVersion);
    IsBareGzip(package.Data().data(), package.Length());

    const uint32_t payloadLength = package.PayloadLength();
    if (payloadLength > package.Length()) {
        std::abort();
    }
    const BlockLayout layout(payloadLength);
    std::vector<uint8_t> buffer(static_cast<size_t>(layout.firstBlockSize) + 4);
    const uint8_t* payload = package.Data().data();
    uint64_t total = 0;
    uint32_t expectedOffset = 0;
    for (uint32_t k = 1; k <= layout.blockCount; ++k) {
        const uint32_t blockSize = layout.Size(k);
        if (layout.Offset(k) != expectedOffset || blockSize + 4 > buffer.size()) {
            std::abort();  // blocks follow each other and fit the send buffer
        }
        std::memcpy(buffer.data(), &k, 4);
        if (blockSize > 0) {
            std::memcpy(buffer.data() + 4, payload + layout.Offset(k), blockSize);
        }
        expectedOffset += blockSize;
        total += blockSize;
    }
    if (total != payloadLength) {
        std::abort();  // the blocks carry the whole payload, nothing more
    }
    return 0;
}
