#include "protocol/frames.h"

#include <algorithm>
#include <cstring>

namespace tavel {

void PutLe16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

std::uint16_t SealCommandFrame(CommandFrame& frame) {
  std::uint16_t sum = 0;
  for (std::size_t i = cmdframe::kFirstSummed; i <= cmdframe::kLastSummed; ++i) {
    sum = static_cast<std::uint16_t>(sum + frame.Bytes[i]);
  }
  frame.SetChecksum(sum);
  return sum;
}

std::uint8_t CheckResponseFrame(std::span<const std::uint8_t> buffer, const char* marker,
                                std::size_t& frameStart) {
  const std::size_t last = std::min(kFrameSearchLimit, buffer.size() - 1);
  std::size_t start = 0;
  while (start <= last && buffer[start] != rspframe::kStartByte) ++start;
  if (start > last) return kFrameNoStart;
  frameStart = start;

  std::size_t end = start;
  while (end <= last && buffer[end] != rspframe::kEndByte) ++end;
  if (end > last) return kFrameNoEnd;
  if (end - start + 1 != rspframe::kSize) return kFrameBadLength;
  if (std::memcmp(buffer.data() + start + rspframe::kMarker, marker, rspframe::kMarkerSize) != 0) {
    return kFrameBadMarker;
  }
  return kFrameGood;
}

std::uint8_t CheckPayloadSum(std::span<const std::uint8_t, rspframe::kSize> frame) {
  std::uint16_t sum = rspframe::kPayloadSumSeed;
  for (std::size_t i = 0; i < rspframe::kPayloadSize; ++i) {
    sum = static_cast<std::uint16_t>(sum + frame[rspframe::kPayload + i]);
  }
  const std::uint16_t expected =
      static_cast<std::uint16_t>((frame[rspframe::kSumHigh] << 8) | frame[rspframe::kSumLow]);
  return sum == expected ? 0 : 1;
}

}  // namespace tavel
