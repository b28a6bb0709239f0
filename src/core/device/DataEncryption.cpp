#include "device/DataEncryption.h"

#include <openssl/evp.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/HexDigit.h"

namespace {

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

}  // namespace

CDataEncryption& CDataEncryption::Instance() {
    static CDataEncryption instance;
    return instance;
}

bool CDataEncryption::DecryptBlocks(const std::array<uint8_t, 16>& key, uint8_t* data,
                                    size_t length) const {
    if (length % 16 != 0) {
        return false;
    }
    if (length == 0) {
        return true;
    }
    // One context per call: a context is not to be shared between threads.
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx ||
        EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr) != 1) {
        return false;
    }
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    int written = 0;
    if (EVP_DecryptUpdate(ctx.get(), data, &written, data, static_cast<int>(length)) != 1) {
        return false;
    }
    int tail = 0;
    return EVP_DecryptFinal_ex(ctx.get(), data + written, &tail) == 1;
}

std::array<uint8_t, 16> ParseHexKey(const char* keyText) {
    std::array<uint8_t, 16> key{};
    if (keyText == nullptr) {
        return key;
    }
    for (size_t i = 0; i < key.size(); ++i) {
        const int high = platform::HexDigitValue(keyText[2 * i]);
        if (high < 0) {
            break;
        }
        const int low = platform::HexDigitValue(keyText[2 * i + 1]);
        if (low < 0) {
            break;
        }
        key[i] = static_cast<uint8_t>(high * 16 + low);
    }
    return key;
}

bool DecryptCmdData(uint8_t* data, size_t length, const char* keyText,
                    std::vector<uint8_t>& padded) {
    const auto key = ParseHexKey(keyText);
    if (length % 16 == 0) {
        CDataEncryption::Instance().DecryptBlocks(key, data, length);
        return false;
    }
    padded.assign((length + 15) / 16 * 16, 0);
    std::memcpy(padded.data(), data, length);
    CDataEncryption::Instance().DecryptBlocks(key, padded.data(), padded.size());
    return true;
}

std::string StreamKeyText(uint32_t loginNonce) {
    char text[24];
    std::snprintf(text, sizeof(text), "%016u", loginNonce);
    return text;
}
