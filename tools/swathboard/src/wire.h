// Little-endian byte access for packets and replies.
//
// The board is little-endian on the wire throughout; these helpers are the
// only place where multi-byte values are split into or joined from bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace swathboard::wire {

constexpr std::uint32_t Get(const std::uint8_t *p, std::size_t width) {
    std::uint32_t v = 0;
    for (std::size_t i = width; i > 0; --i) v = (v << 8) | p[i - 1];
    return v;
}

constexpr void Put(std::uint8_t *p, std::size_t width, std::uint32_t v) {
    for (std::size_t i = 0; i < width; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

constexpr std::uint16_t Get16(const std::uint8_t *p) { return static_cast<std::uint16_t>(Get(p, 2)); }
constexpr std::uint32_t Get32(const std::uint8_t *p) { return Get(p, 4); }
constexpr void Put16(std::uint8_t *p, std::uint16_t v) { Put(p, 2, v); }
constexpr void Put32(std::uint8_t *p, std::uint32_t v) { Put(p, 4, v); }

}  // namespace swathboard::wire
