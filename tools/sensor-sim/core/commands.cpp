#include "core/commands.hpp"

#include "core/clock_settings.hpp"
#include "core/wire.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace tavel::sim {
namespace {

struct HeaderRule {
    char code;
    std::uint16_t min_number;
    std::uint16_t max_number;
    std::uint16_t length;
};

constexpr std::array<HeaderRule, 10> kHeaderRules{{
    {'p', 1, 1, 5},
    {'i', 0, 0, 2},
    {'j', 0, 0, 2},
    {'z', 0, 0, 2},
    {'t', 0, 11, 128},
    {'g', 0, 0, 0},
    {'n', 0, 0xFFFF, 128},
    {'q', 0, 0xFFFF, 128},
    {'s', 1, 1, 128},
    {'x', 1, 1, 128},
}};

constexpr std::array<std::string_view, kClockLayout.size()> kClockFieldNames{
    "PLLM", "PLLN", "PLLP", "AHB_Psc", "HCLK", "APB1_Psc", "Smpl", "Full"};

constexpr std::size_t kSensorIndexAt = kClockRecordSize;
constexpr std::size_t kExtendedParams = 6;

std::string header_warning(const Command& command) {
    for (const HeaderRule& rule : kHeaderRules) {
        if (rule.code != command.code) {
            continue;
        }
        if (command.number < rule.min_number || command.number > rule.max_number || command.length != rule.length) {
            return "unexpected number/length";
        }
        return {};
    }
    return "unknown code";
}

bool is_digit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

std::string on_off(bool on) {
    return on ? "on" : "off";
}

std::string describe_settings(const CommandData& data) {
    const bool well_formed = data[0] == '1' && is_digit(data[1]) && is_digit(data[2]) &&
                             (data[3] == 'F' || data[3] == 'G') && (data[4] == 'P' || data[4] == 'Q');
    if (!well_formed) {
        return "malformed settings";
    }
    const int interval = (data[1] - '0') * 10 + (data[2] - '0');
    std::string text = "interval " + std::to_string(interval) + " min, FULL " + on_off(data[3] == 'G') +
                       ", low power " + on_off(data[4] == 'Q');
    if (interval < 1 || interval > 10) {
        text += ", interval out of range";
    }
    return text;
}

std::string describe_clock(const CommandData& data) {
    const std::span<const std::uint8_t, kClockRecordSize> record{data.data(), kClockRecordSize};
    const std::string sensor = "sensor index " + std::to_string(data[kSensorIndexAt]);
    if (ClockSettings::is_read_request(record)) {
        return "read clock settings, " + sensor;
    }
    std::string text = "write clock settings";
    for (std::size_t i = 0; i < kClockLayout.size(); ++i) {
        const ClockFieldLayout& layout = kClockLayout[i];
        const std::uint32_t value = read_le(record, layout.offset, layout.width);
        const bool given = layout.width == 4 ? value != 0xFFFF'FFFFu : value != 0xFFFFu;
        if (given) {
            text += " " + std::string(kClockFieldNames[i]) + "=" + std::to_string(value);
        }
    }
    return text + ", " + sensor;
}

std::string describe_extended(const CommandData& data) {
    std::string text = "params";
    for (std::size_t i = 0; i < kExtendedParams; ++i) {
        text += " " + std::to_string(static_cast<std::int32_t>(read_le(data, 4 * i, 4)));
    }
    return text;
}

std::string describe_body(const Command& command) {
    switch (command.code) {
        case 'p': return describe_settings(command.data);
        case 'i': return "id " + std::to_string(read_u16_le(command.data, 0));
        case 'j': return describe_clock(command.data);
        case 'z': return describe_extended(command.data);
        default: return {};
    }
}

}  // namespace

std::string describe(const Command& command) {
    const std::string body = describe_body(command);
    const std::string warning = header_warning(command);
    if (body.empty() || warning.empty()) {
        return body + warning;
    }
    return body + "; " + warning;
}

}  // namespace tavel::sim
