#include "SimCrypto.h"

#include <openssl/evp.h>

#include <mutex>
#include <random>

namespace {

template <size_t N>
std::array<uint8_t, N> Digest(const EVP_MD* md, const void* data, size_t length) {
    std::array<uint8_t, N> out{};
    unsigned int outLength = 0;
    EVP_Digest(data, length, out.data(), &outLength, md, nullptr);
    return out;
}

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

}  // namespace

SimMd5 SimMd5Of(const void* data, size_t length) {
    return Digest<16>(EVP_md5(), data, length);
}

SimSha1 SimSha1Of(const void* data, size_t length) {
    return Digest<20>(EVP_sha1(), data, length);
}

std::string SimHex(const uint8_t* data, size_t length, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        text.push_back(digits[data[i] >> 4]);
        text.push_back(digits[data[i] & 0x0F]);
    }
    return text;
}

namespace {
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
}  // namespace

std::string SimBase64Encode(const std::string& bytes) {
    std::string out;
    size_t i = 0;
    while (i + 2 < bytes.size()) {
        const uint32_t v =
            (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
        i += 3;
    }
    const size_t rest = bytes.size() - i;
    if (rest == 1) {
        const uint32_t v = uint8_t(bytes[i]) << 16;
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

bool SimBase64Decode(const std::string& text, std::string* bytes) {
    if (text.size() % 4 != 0) {
        return false;
    }
    std::string out;
    for (size_t i = 0; i < text.size(); i += 4) {
        int v[4];
        int pad = 0;
        for (int j = 0; j < 4; ++j) {
            const char c = text[i + j];
            if (c == '=' && i + 4 == text.size() && j >= 2) {
                v[j] = 0;
                ++pad;
            } else if (pad > 0 || (v[j] = Base64Value(c)) < 0) {
                return false;
            }
        }
        const uint32_t w = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
        out += char(w >> 16);
        if (pad < 2)
            out += char((w >> 8) & 0xFF);
        if (pad < 1)
            out += char(w & 0xFF);
    }
    *bytes = std::move(out);
    return true;
}

struct CSimMd5Stream::Ctx {
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx{EVP_MD_CTX_new()};
};

CSimMd5Stream::CSimMd5Stream() : m_ctx(std::make_unique<Ctx>()) {
    Reset();
}
CSimMd5Stream::~CSimMd5Stream() = default;

void CSimMd5Stream::Reset() {
    EVP_DigestInit_ex(m_ctx->ctx.get(), EVP_md5(), nullptr);
}

void CSimMd5Stream::Update(const void* data, size_t length) {
    EVP_DigestUpdate(m_ctx->ctx.get(), data, length);
}

SimMd5 CSimMd5Stream::Final() {
    SimMd5 out{};
    unsigned int outLength = 0;
    EVP_DigestFinal_ex(m_ctx->ctx.get(), out.data(), &outLength);
    Reset();
    return out;
}

uint32_t SimRandom() {
    static std::mutex mutex;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard<std::mutex> lock(mutex);
    return generator();
}
