#include "core/frames.hpp"

#include "core/wire.hpp"

#include <algorithm>
#include <numeric>

namespace tavel::sim {
namespace {

constexpr std::array<std::uint8_t, 4> kMarker{'H', 'E', 'A', 'D'};
constexpr std::size_t kSummedFirst = command_at::kCode;
constexpr std::size_t kSummedEnd = command_at::kChecksum - 1;  // excludes the last data byte

std::uint16_t sum16(std::span<const std::uint8_t> bytes, std::uint16_t start) {
    return std::accumulate(bytes.begin(), bytes.end(), start,
                           [](std::uint16_t sum, std::uint8_t byte) { return static_cast<std::uint16_t>(sum + byte); });
}

bool all_zero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t byte) { return byte == 0; });
}

}  // namespace

std::string_view to_string(FrameFault fault) {
    switch (fault) {
        case FrameFault::BadStart: return "bad start";
        case FrameFault::BadChecksum: return "bad checksum";
        case FrameFault::NonZeroReserved: return "reserved bytes not zero";
        case FrameFault::NonZeroTrailer: return "trailer bytes not zero";
    }
    return "unknown fault";
}

std::uint16_t command_checksum(const CommandBytes& frame) {
    const std::span<const std::uint8_t> summed{frame.begin() + kSummedFirst, frame.begin() + kSummedEnd};
    return sum16(summed, 0);
}

std::uint16_t payload_checksum(const Payload& payload) {
    return sum16(payload, 0x55);
}

std::variant<Command, FrameFault> decode_command(const CommandBytes& frame) {
    const std::span<const std::uint8_t> bytes{frame};
    if (frame[command_at::kStart] != kCommandStart) {
        return FrameFault::BadStart;
    }
    if (read_u16_le(bytes, command_at::kChecksum) != command_checksum(frame)) {
        return FrameFault::BadChecksum;
    }
    if (!all_zero(bytes.subspan(command_at::kReserved, 2))) {
        return FrameFault::NonZeroReserved;
    }
    if (!all_zero(bytes.subspan(command_at::kTrailer, 2))) {
        return FrameFault::NonZeroTrailer;
    }
    Command command;
    command.code = static_cast<char>(frame[command_at::kCode]);
    command.number = read_u16_le(bytes, command_at::kNumber);
    command.length = read_u16_le(bytes, command_at::kLength);
    std::copy_n(frame.begin() + command_at::kData, kCommandDataSize, command.data.begin());
    return command;
}

ResponseBytes encode_response(char code, const Payload& payload, std::uint16_t payload_sum) {
    ResponseBytes frame{};
    frame[response_at::kStart] = kResponseStart;
    std::copy(kMarker.begin(), kMarker.end(), frame.begin() + response_at::kMarker);
    frame[response_at::kCode] = static_cast<std::uint8_t>(code);
    std::copy(payload.begin(), payload.end(), frame.begin() + response_at::kPayload);
    write_u16_be(frame, response_at::kPayloadSum, payload_sum);
    frame[response_at::kEnd] = kResponseEnd;
    return frame;
}

ResponseBytes encode_response(char code, const Payload& payload) {
    return encode_response(code, payload, payload_checksum(payload));
}

}  // namespace tavel::sim
