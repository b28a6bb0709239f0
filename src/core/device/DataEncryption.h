// AES-128 decryption of 16-byte blocks (each block on its own) for the
// encrypted part of live-stream frames, and the key derived from the login
// nonce.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CDataEncryption {
public:
    // The one object of the process, made on first use.
    static CDataEncryption& Instance();

    // Decrypts `length` bytes (a multiple of 16) in place. False when the
    // length is not a multiple of 16 or the cipher fails.
    bool DecryptBlocks(const std::array<uint8_t, 16>& key, uint8_t* data, size_t length) const;

private:
    CDataEncryption() = default;
};

// Reads up to 16 pairs of hexadecimal digits (either case) into key bytes,
// stopping at the first character that is not a hex digit; the rest stay 0.
std::array<uint8_t, 16> ParseHexKey(const char* keyText);

// Decrypts `data` with the key text. A length that is a multiple of 16 is
// decrypted in place (false is returned); any other length is copied into
// `padded`, zero-filled up to a multiple of 16, and decrypted there (true).
bool DecryptCmdData(uint8_t* data, size_t length, const char* keyText,
                    std::vector<uint8_t>& padded);

// The stream key text of a login nonce: the nonce as 16 decimal digits.
std::string StreamKeyText(uint32_t loginNonce);

// How many bytes at the start of a stream frame's media data are encrypted.
constexpr size_t STREAM_ENCRYPTED_BYTES = 128;
