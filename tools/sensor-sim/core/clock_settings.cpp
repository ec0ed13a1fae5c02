#include "core/clock_settings.hpp"

#include "core/wire.hpp"

#include <algorithm>

namespace tavel::sim {
namespace {

constexpr std::uint32_t all_ones(std::size_t width) {
    return width >= 4 ? 0xFFFF'FFFFu : (1u << (8 * width)) - 1;
}

}  // namespace

ClockSettings ClockSettings::defaults() {
    ClockSettings settings;
    settings.values_ = {8, 336, 4, 1, 84'000'000, 2, 1000, 200};
    return settings;
}

std::uint32_t ClockSettings::get(ClockField field) const {
    return values_[static_cast<std::size_t>(field)];
}

void ClockSettings::apply(std::span<const std::uint8_t, kClockRecordSize> record) {
    for (const ClockFieldLayout& layout : kClockLayout) {
        const std::uint32_t value = read_le(record, layout.offset, layout.width);
        if (value != all_ones(layout.width)) {
            values_[static_cast<std::size_t>(layout.field)] = value;
        }
    }
}

ClockRecord ClockSettings::encode() const {
    ClockRecord record{};
    for (const ClockFieldLayout& layout : kClockLayout) {
        write_le(record, layout.offset, layout.width, get(layout.field));
    }
    return record;
}

bool ClockSettings::is_read_request(std::span<const std::uint8_t, kClockRecordSize> record) {
    return std::all_of(record.begin(), record.end(), [](std::uint8_t byte) { return byte == 0xFF; });
}

}  // namespace tavel::sim
