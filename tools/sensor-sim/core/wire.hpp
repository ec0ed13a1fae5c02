#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavel::sim {

constexpr std::uint32_t read_le(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i > 0; --i) {
        value = value << 8 | bytes[at + i - 1];
    }
    return value;
}

constexpr void write_le(std::span<std::uint8_t> bytes, std::size_t at, std::size_t width, std::uint32_t value) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

constexpr std::uint16_t read_u16_le(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(read_le(bytes, at, 2));
}

constexpr void write_u16_be(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

}  // namespace tavel::sim
