#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tavel::sim {

// Monotonic time and durations, in microseconds.
using Micros = std::chrono::microseconds;

inline constexpr std::int64_t kBaud = 4800;
inline constexpr std::int64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit

constexpr Micros air_time(std::size_t bytes) {
    return Micros{static_cast<std::int64_t>(bytes) * kBitsPerByte * 1'000'000 / kBaud};
}

}  // namespace tavel::sim
