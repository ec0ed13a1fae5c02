#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tavel::sim {

inline constexpr std::size_t kClockRecordSize = 40;

using ClockRecord = std::array<std::uint8_t, kClockRecordSize>;

enum class ClockField { Pllm, Plln, Pllp, AhbPsc, Hclk, Apb1Psc, Smpl, Full };

struct ClockFieldLayout {
    ClockField field;
    std::size_t offset;
    std::size_t width;
};

inline constexpr std::array<ClockFieldLayout, 8> kClockLayout{{
    {ClockField::Pllm, 4, 2},
    {ClockField::Plln, 6, 2},
    {ClockField::Pllp, 8, 2},
    {ClockField::AhbPsc, 16, 2},
    {ClockField::Hclk, 20, 4},
    {ClockField::Apb1Psc, 24, 2},
    {ClockField::Smpl, 32, 2},
    {ClockField::Full, 34, 2},
}};

static_assert(kClockLayout.back().offset + kClockLayout.back().width <= kClockRecordSize);

class ClockSettings {
public:
    static ClockSettings defaults();

    std::uint32_t get(ClockField field) const;

    // Fields that are all ones carry no value and leave the stored one alone.
    void apply(std::span<const std::uint8_t, kClockRecordSize> record);

    // The stored values at their places; bytes that no field uses are 0.
    ClockRecord encode() const;

    static bool is_read_request(std::span<const std::uint8_t, kClockRecordSize> record);

private:
    std::array<std::uint32_t, kClockLayout.size()> values_{};
};

}  // namespace tavel::sim
