// Reads a fuzzer's input as a sequence of small fields; every read past the
// end yields zeros or an empty span, so a target never reads out of bounds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CFuzzInput {
public:
    CFuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Empty() const { return m_pos >= m_size; }
    size_t Remaining() const { return m_size - m_pos; }

    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint16_t Le16() {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }
    uint32_t Le32() {
        const uint32_t low = Le16();
        return low | (static_cast<uint32_t>(Le16()) << 16);
    }
    // Up to `count` bytes (fewer at the end).
    std::span<const uint8_t> Bytes(size_t count) {
        const size_t n = std::min(count, Remaining());
        std::span<const uint8_t> out(m_data + m_pos, n);
        m_pos += n;
        return out;
    }
    std::span<const uint8_t> Rest() { return Bytes(Remaining()); }
    // A chunk with a 16-bit length in front.
    std::span<const uint8_t> Chunk() { return Bytes(Le16()); }
    std::string Text(size_t count) {
        const auto bytes = Bytes(count);
        return std::string(bytes.begin(), bytes.end());
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Splits `text` at every occurrence of `separator`.
template <typename Fn>
void ForEachPart(std::string_view text, std::string_view separator, Fn&& fn) {
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            fn(text.substr(start));
            return;
        }
        fn(text.substr(start, at - start));
        start = at + separator.size();
    }
}
