#include "device/Digest.h"

#include <openssl/evp.h>

namespace {

template <size_t N>
std::array<uint8_t, N> OneShot(const EVP_MD* md, const void* data, size_t length) {
    std::array<uint8_t, N> digest{};
    unsigned int size = 0;
    EVP_Digest(data, length, digest.data(), &size, md, nullptr);
    return digest;
}

}  // namespace

MD5_DIGEST DigestMd5(const void* data, size_t length) {
    return OneShot<16>(EVP_md5(), data, length);
}

SHA1_DIGEST DigestSha1(const void* data, size_t length) {
    return OneShot<20>(EVP_sha1(), data, length);
}

SHA256_DIGEST DigestSha256(const void* data, size_t length) {
    return OneShot<32>(EVP_sha256(), data, length);
}

std::string DigestToHex(const uint8_t* digest, size_t length, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 0x0F];
    }
    return text;
}

struct CRunningMd5::Context {
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> ctx{EVP_MD_CTX_new()};
};

CRunningMd5::CRunningMd5() : m_context(std::make_unique<Context>()) {
    EVP_DigestInit_ex(m_context->ctx.get(), EVP_md5(), nullptr);
}

CRunningMd5::~CRunningMd5() = default;

void CRunningMd5::Update(const void* data, size_t length) {
    EVP_DigestUpdate(m_context->ctx.get(), data, length);
}

MD5_DIGEST CRunningMd5::Final() {
    MD5_DIGEST digest{};
    unsigned int size = 0;
    EVP_DigestFinal_ex(m_context->ctx.get(), digest.data(), &size);
    EVP_DigestInit_ex(m_context->ctx.get(), EVP_md5(), nullptr);
    return digest;
}
