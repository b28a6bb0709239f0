// Credential ciphers: the device names one in its server information
// (`encryptType`, key bytes `encryptParam`) and the login applies it to the
// user name and password fields.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>

// The base cipher: a type the client has no cipher for. Encrypt leaves the
// data unchanged and writes a warning "CEncrypt" to the log instead of
// blocking the worker with a dialog.
class CEncrypt {
public:
    virtual ~CEncrypt() = default;
    virtual void Encrypt(std::span<uint8_t> data, std::span<const uint8_t> key);
    virtual void Decrypt(std::span<uint8_t> data, std::span<const uint8_t> key);
};

// XOR of data byte i with key byte (i mod key length).
class CEncryptXOR : public CEncrypt {
public:
    void Encrypt(std::span<uint8_t> data, std::span<const uint8_t> key) override;
    void Decrypt(std::span<uint8_t> data, std::span<const uint8_t> key) override;
};

// Makes the cipher for an `encryptType`; a type without an entry makes the
// base CEncrypt. Filled at start-up, read only afterwards.
class CredentialCipherFactory {
public:
    using Maker = std::function<std::unique_ptr<CEncrypt>()>;
    static std::unique_ptr<CEncrypt> Make(uint32_t encryptType);
    static bool Register(uint32_t encryptType, Maker maker);

private:
    static std::map<uint32_t, Maker>& Table();
};
