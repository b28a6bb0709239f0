// A camera's MAC address: parsed once from six hex pairs joined by ':' or
// '-' in any case, compared by its bytes and printed one way, upper case
// with colons ("00:1A:2B:3C:4D:5E"), as the reports and journals hold it.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class CMacAddress {
public:
    using Bytes = std::array<uint8_t, 6>;

    CMacAddress() = default;
    explicit CMacAddress(const Bytes& bytes) : m_bytes(bytes) {}

    // Empty when `text` is not six hex pairs joined by one separator kind.
    static std::optional<CMacAddress> Parse(std::string_view text);

    std::string Text() const;
    const Bytes& Octets() const { return m_bytes; }

    auto operator<=>(const CMacAddress&) const = default;

private:
    Bytes m_bytes{};
};

// What a table keys a camera by: the MAC's one text, or for a text that is
// no MAC (a camera that sends nonsense) that text in upper case, so that it
// still names one row and never matches a real address.
std::string MacKey(std::string_view text);

// How a MAC is shown in outcomes and reports: the address's one text, or a
// text that is no MAC as it came.
std::string MacShown(std::string_view text);

// The one comparison of two MAC texts: the same address however written.
bool SameMac(std::string_view a, std::string_view b);
