#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

namespace tavel::sim {

inline constexpr std::size_t kCommandFrameSize = 140;
inline constexpr std::size_t kCommandDataSize = 128;

namespace command_at {
inline constexpr std::size_t kStart = 0;
inline constexpr std::size_t kCode = 1;
inline constexpr std::size_t kNumber = 2;
inline constexpr std::size_t kLength = 4;
inline constexpr std::size_t kReserved = 6;
inline constexpr std::size_t kData = 8;
inline constexpr std::size_t kChecksum = 136;
inline constexpr std::size_t kTrailer = 138;
}  // namespace command_at

static_assert(command_at::kReserved + 2 == command_at::kData);
static_assert(command_at::kData + kCommandDataSize == command_at::kChecksum);
static_assert(command_at::kTrailer + 2 == kCommandFrameSize);

inline constexpr std::size_t kResponseFrameSize = 71;
inline constexpr std::size_t kPayloadSize = 62;

namespace response_at {
inline constexpr std::size_t kStart = 0;
inline constexpr std::size_t kMarker = 1;
inline constexpr std::size_t kCode = 5;
inline constexpr std::size_t kPayload = 6;
inline constexpr std::size_t kPayloadSum = 68;
inline constexpr std::size_t kEnd = 70;
}  // namespace response_at

static_assert(response_at::kMarker + 4 == response_at::kCode);
static_assert(response_at::kPayload + kPayloadSize == response_at::kPayloadSum);
static_assert(response_at::kEnd + 1 == kResponseFrameSize);

inline constexpr std::uint8_t kCommandStart = '*';
inline constexpr std::uint8_t kResponseStart = '~';
inline constexpr std::uint8_t kResponseEnd = 0x0D;

using CommandBytes = std::array<std::uint8_t, kCommandFrameSize>;
using CommandData = std::array<std::uint8_t, kCommandDataSize>;
using ResponseBytes = std::array<std::uint8_t, kResponseFrameSize>;
using Payload = std::array<std::uint8_t, kPayloadSize>;

struct Command {
    char code = 0;
    std::uint16_t number = 0;
    std::uint16_t length = 0;
    CommandData data{};
};

enum class FrameFault { BadStart, BadChecksum, NonZeroReserved, NonZeroTrailer };

std::string_view to_string(FrameFault fault);

// Sum of bytes 1..134: neither the start byte nor the last data byte is summed.
std::uint16_t command_checksum(const CommandBytes& frame);

// 0x55 plus the payload bytes.
std::uint16_t payload_checksum(const Payload& payload);

std::variant<Command, FrameFault> decode_command(const CommandBytes& frame);

ResponseBytes encode_response(char code, const Payload& payload, std::uint16_t payload_sum);
ResponseBytes encode_response(char code, const Payload& payload);

}  // namespace tavel::sim
