#include "upgrade/UpgradePackage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

std::string CheckPackageFile(const std::string& path) {
    CUpgradePackage package;
    std::string error;
    if (!package.Load(path, &error)) {
        return error;
    }
    const std::string problem = package.Problem();
    return problem.empty() ? problem : path + ": " + problem;
}

bool IsBareGzip(const uint8_t* data, size_t length) {
    if (data == nullptr || length < 10) {
        return false;
    }
    return data[0] == 0x1F && data[1] == 0x8B && data[2] == 0x08 && data[3] == 0x00 &&
           data[8] == 0x00 && data[9] == 0x03;
}

std::string SoftwareVersionText(uint32_t v) {
    char text[48];
    std::snprintf(text, sizeof(text), "%d.%d.%d.%d", static_cast<int>(v >> 24),
                  static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>(v & 0xFF));
    return text;
}

bool CUpgradePackage::Load(const std::string& path, std::string* error) {
    const auto fail = [&](const std::string& reason) {
        if (error != nullptr) {
            *error = path + ": " + reason;
        }
        return false;
    };
    std::error_code code;
    const auto status = std::filesystem::status(path, code);
    if (code) {
        return fail(code.message());
    }
    if (std::filesystem::is_directory(status)) {
        return fail("is a folder, not a file");
    }
    if (!std::filesystem::is_regular_file(status)) {
        return fail("is not a regular file");
    }
    errno = 0;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return fail(errno != 0 ? std::strerror(errno) : "cannot be opened");
    }
    const std::streamoff size = in.tellg();
    // The length travels as a signed 32-bit value.
    if (size < 0 || size > 0x7FFFFFFF) {
        return fail("larger than 2 GiB");
    }
    std::vector<uint8_t> data(static_cast<size_t>(size), 0);
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size)) {
        return fail("cannot be read");
    }
    const auto slash = path.find_last_of('/');
    m_path = path;
    m_fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    m_data = std::move(data);
    m_digests = std::make_shared<CPackageDigests>();
    return true;
}

void CUpgradePackage::Assign(std::vector<uint8_t> data, std::string fileName) {
    m_data = std::move(data);
    m_digests = std::make_shared<CPackageDigests>();
    m_path = fileName;
    m_fileName = std::move(fileName);
}

std::string CUpgradePackage::Problem() const {
    if (IsNewStyle()) {
        if (m_data.size() < UPGRADE_BLOCK_COUNT) {
            return "a new-style package of " + std::to_string(m_data.size()) + " bytes; at least " +
                   std::to_string(UPGRADE_BLOCK_COUNT) + " are needed";
        }
        return {};
    }
    if (m_data.size() < PACKAGE_TRAILER_SIZE + UPGRADE_BLOCK_COUNT) {
        return "a package of " + std::to_string(m_data.size()) + " bytes; at least " +
               std::to_string(PACKAGE_TRAILER_SIZE + UPGRADE_BLOCK_COUNT) +
               " are needed (a 64-byte trailer and 100 blocks)";
    }
    if (Trailer().headFlag != PACKAGE_HEAD_FLAG) {
        char flag[16];
        std::snprintf(flag, sizeof(flag), "0x%08X", Trailer().headFlag);
        return std::string("neither a new-style package nor one with a trailer (head flag ") +
               flag + ")";
    }
    return {};
}

bool CUpgradePackage::IsNewStyle() const {
    return m_data.size() >= 4 && ReadLe32(m_data.data()) == NEW_PACKAGE_MAGIC;
}

PACKAGE_TRAILER CUpgradePackage::Trailer() const {
    PACKAGE_TRAILER trailer{};
    if (m_data.size() >= PACKAGE_TRAILER_SIZE) {
        const uint8_t* p = m_data.data() + m_data.size() - PACKAGE_TRAILER_SIZE;
        trailer.headFlag = ReadLe32(p);
        trailer.deviceType = ReadLe32(p + 4);
        trailer.productType = ReadLe32(p + 8);
    }
    return trailer;
}

uint32_t CUpgradePackage::PayloadLength() const {
    if (IsNewStyle()) {
        return static_cast<uint32_t>(m_data.size());
    }
    return m_data.size() >= PACKAGE_TRAILER_SIZE
               ? static_cast<uint32_t>(m_data.size() - PACKAGE_TRAILER_SIZE)
               : 0;
}

bool CUpgradePackage::IsCompatible(uint32_t softwareVersion, uint32_t productType) const {
    if (IsNewStyle()) {
        return true;
    }
    // Too short to hold a style word or a trailer: nothing else can be read.
    if (m_data.size() < 4 || m_data.size() < PACKAGE_TRAILER_SIZE) {
        return false;
    }
    const std::string version = SoftwareVersionText(softwareVersion);
    const uint32_t major = softwareVersion >> 24;
    if (m_data.size() < 10) {
        return false;
    }
    const bool bareGzip = IsBareGzip(m_data.data(), m_data.size());
    const bool atLeast402 = std::strcmp(version.c_str(), "4.0.2") >= 0;
    if (major == 4 && atLeast402 && bareGzip) {
        return false;
    }
    if ((major == 3 || (major == 4 && !atLeast402)) && !bareGzip) {
        return false;
    }
    const PACKAGE_TRAILER trailer = Trailer();
    if (trailer.headFlag != PACKAGE_HEAD_FLAG) {
        return false;
    }
    return trailer.productType == productType;
}
