// Base64 with the standard alphabet and "=" padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// `lineLength` inserts CR LF between lines of that many characters.
std::string Base64Encode(const uint8_t* data, size_t length, size_t lineLength = 2147483647);
