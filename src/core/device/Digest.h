// MD5, SHA-1 and SHA-256 digests, whole or running.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

using MD5_DIGEST = std::array<uint8_t, 16>;
using SHA1_DIGEST = std::array<uint8_t, 20>;
using SHA256_DIGEST = std::array<uint8_t, 32>;

MD5_DIGEST DigestMd5(const void* data, size_t length);
SHA1_DIGEST DigestSha1(const void* data, size_t length);
SHA256_DIGEST DigestSha256(const void* data, size_t length);

// The digest as hexadecimal text in upper or lower case.
std::string DigestToHex(const uint8_t* digest, size_t length, bool upperCase);
template <size_t N>
std::string DigestToHex(const std::array<uint8_t, N>& digest, bool upperCase) {
    return DigestToHex(digest.data(), N, upperCase);
}

// An MD5 over data fed in pieces.
class CRunningMd5 {
public:
    CRunningMd5();
    ~CRunningMd5();
    CRunningMd5(const CRunningMd5&) = delete;
    CRunningMd5& operator=(const CRunningMd5&) = delete;

    void Update(const void* data, size_t length);
    // The digest of everything fed so far; the object starts over afterwards.
    MD5_DIGEST Final();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
