#include "device/Encrypt.h"

#include "app/Logger.h"
#include "device/DeviceProtocol.h"

FH_LOG_SOURCE("NetDVSDevice");

void CEncrypt::Encrypt(std::span<uint8_t>, std::span<const uint8_t>) {
    // The device asked for a cipher this client does not know: the fields go
    // unchanged, and the login will most likely be refused.
    LOG_WARN("CEncrypt::Encrypt", "CEncrypt");
}

void CEncrypt::Decrypt(std::span<uint8_t>, std::span<const uint8_t>) {}

void CEncryptXOR::Encrypt(std::span<uint8_t> data, std::span<const uint8_t> key) {
    if (key.empty()) {
        return;
    }
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] ^= key[i % key.size()];
    }
}

void CEncryptXOR::Decrypt(std::span<uint8_t> data, std::span<const uint8_t> key) {
    Encrypt(data, key);
}

std::map<uint32_t, CredentialCipherFactory::Maker>& CredentialCipherFactory::Table() {
    static std::map<uint32_t, Maker> table;
    return table;
}

bool CredentialCipherFactory::Register(uint32_t encryptType, Maker maker) {
    return Table().emplace(encryptType, std::move(maker)).second;
}

std::unique_ptr<CEncrypt> CredentialCipherFactory::Make(uint32_t encryptType) {
    const auto& table = Table();
    const auto it = table.find(encryptType);
    if (it == table.end()) {
        return std::make_unique<CEncrypt>();
    }
    return it->second();
}

namespace {
// Filled during static initialisation, read only afterwards.
const bool g_xorRegistered = CredentialCipherFactory::Register(
    ENCRYPT_XOR, [] { return std::unique_ptr<CEncrypt>(std::make_unique<CEncryptXOR>()); });
}  // namespace
