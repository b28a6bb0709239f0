// The upgrade package: held once per batch and shared read-only by every
// worker; recognised by its first word, checked per camera, cut into 100
// numbered blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "upgrade/PackageDigests.h"

constexpr uint32_t NEW_PACKAGE_MAGIC = 0x20220118;
constexpr uint32_t PACKAGE_HEAD_FLAG = 0x64616568;  // "head"
constexpr size_t PACKAGE_TRAILER_SIZE = 64;
constexpr uint32_t UPGRADE_BLOCK_COUNT = 100;

// The last 64 bytes of an old-style package (little-endian on the wire).
struct PACKAGE_TRAILER {
    uint32_t headFlag;
    uint32_t deviceType;
    uint32_t productType;
};

// True when the data starts like a bare gzip stream as the cameras build it.
bool IsBareGzip(const uint8_t* data, size_t length);

// Block sizes of a payload of `payloadLength` bytes: every block but the
// first carries `blockSize` bytes, the first one the rest as well.
struct BlockLayout {
    uint32_t blockSize = 0;
    uint32_t firstBlockSize = 0;
    uint32_t blockCount = UPGRADE_BLOCK_COUNT;

    explicit BlockLayout(uint32_t payloadLength)
        : blockSize(payloadLength / UPGRADE_BLOCK_COUNT),
          firstBlockSize(payloadLength % UPGRADE_BLOCK_COUNT +
                         payloadLength / UPGRADE_BLOCK_COUNT) {}

    // Offset and size of block k (1..100) inside the payload.
    uint32_t Offset(uint32_t k) const { return k == 1 ? 0 : firstBlockSize + (k - 2) * blockSize; }
    uint32_t Size(uint32_t k) const { return k == 1 ? firstBlockSize : blockSize; }
};

// "%d.%d.%d.%d" of a camera's software version word.
std::string SoftwareVersionText(uint32_t versionWord);

class CUpgradePackage {
public:
    // Reads the whole file. False when it is not a regular file or cannot be
    // opened or read; `error` then names the file and the system's reason.
    bool Load(const std::string& path, std::string* error = nullptr);
    // What makes the package wrong for every camera, or "" when nothing
    // does: a new-style payload under 100 bytes (one per block), an
    // old-style package without room for its 64-byte trailer and 100 bytes,
    // or a trailer without its head flag. The per-camera checks stay in
    // IsCompatible.
    std::string Problem() const;
    // For tests and tools: a package held in memory under a file name.
    void Assign(std::vector<uint8_t> data, std::string fileName);

    const std::string& Path() const { return m_path; }
    // The file's name without its folder.
    const std::string& FileName() const { return m_fileName; }
    const std::vector<uint8_t>& Data() const { return m_data; }
    size_t Length() const { return m_data.size(); }

    bool IsNewStyle() const;
    // Old-style packages only; zeros when the package is too short.
    PACKAGE_TRAILER Trailer() const;
    // Whole file for new-style packages; without the trailer for old ones.
    uint32_t PayloadLength() const;

    // The compatibility check of an old-style package for a camera with
    // this version word and product type. New-style packages always pass.
    // Packages too short to hold what is read are refused.
    bool IsCompatible(uint32_t softwareVersion, uint32_t productType) const;

    // The MD5 texts a transfer logs, worked out once for every worker.
    std::string BlockMd5(uint32_t k) const { return m_digests->BlockMd5(*this, k); }
    std::string TransferMd5() const { return m_digests->TransferMd5(*this); }

private:
    std::string m_path;
    std::string m_fileName;
    std::vector<uint8_t> m_data;
    // Shared by copies of the same data; new data gets new digests.
    std::shared_ptr<CPackageDigests> m_digests = std::make_shared<CPackageDigests>();
};

using UpgradePackagePtr = std::shared_ptr<const CUpgradePackage>;

// Reads the file and applies the checks that hold for every camera (Load,
// Problem). "" when the package may be sent; else what is wrong, naming
// the file.
std::string CheckPackageFile(const std::string& path);
