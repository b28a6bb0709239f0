// Digests, hex, Base64 and random numbers for the simulated cameras, on
// OpenSSL's EVP interface.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using SimMd5 = std::array<uint8_t, 16>;
using SimSha1 = std::array<uint8_t, 20>;

SimMd5 SimMd5Of(const void* data, size_t length);
inline SimMd5 SimMd5Of(const std::string& text) {
    return SimMd5Of(text.data(), text.size());
}
SimSha1 SimSha1Of(const void* data, size_t length);
inline SimSha1 SimSha1Of(const std::string& text) {
    return SimSha1Of(text.data(), text.size());
}

// Hex text of bytes, upper or lower case.
std::string SimHex(const uint8_t* data, size_t length, bool upper);
template <size_t N>
std::string SimHex(const std::array<uint8_t, N>& bytes, bool upper) {
    return SimHex(bytes.data(), N, upper);
}

// Standard Base64 (RFC 4648, "=" padding). Decoding refuses bad input.
std::string SimBase64Encode(const std::string& bytes);
bool SimBase64Decode(const std::string& text, std::string* bytes);

// A running MD5 (one transfer's payload).
class CSimMd5Stream {
public:
    CSimMd5Stream();
    ~CSimMd5Stream();
    CSimMd5Stream(const CSimMd5Stream&) = delete;
    CSimMd5Stream& operator=(const CSimMd5Stream&) = delete;

    void Reset();
    void Update(const void* data, size_t length);
    SimMd5 Final();

private:
    struct Ctx;
    std::unique_ptr<Ctx> m_ctx;
};

// Random numbers for nonces, keys and boot ids (not for secrets).
uint32_t SimRandom();
