#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tavel {

// Command frame, tool to sensor. Multi-byte fields are little-endian.
namespace cmdframe {
constexpr std::size_t kSize = 140;
constexpr std::size_t kStart = 0;
constexpr std::size_t kCode = 1;
constexpr std::size_t kNumber = 2;
constexpr std::size_t kLength = 4;
constexpr std::size_t kReserved = 6;
constexpr std::size_t kData = 8;
constexpr std::size_t kDataSize = 128;
constexpr std::size_t kChecksum = 136;
constexpr std::size_t kTrailer = 138;
constexpr std::size_t kFirstSummed = 1;
constexpr std::size_t kLastSummed = 134;  // the last Data byte lies outside the sum
static_assert(kData + kDataSize == kChecksum);
static_assert(kTrailer + 2 == kSize);
}  // namespace cmdframe

// Response frame, sensor to tool. Its payload sum is big-endian.
namespace rspframe {
constexpr std::size_t kSize = 71;
constexpr std::size_t kStart = 0;
constexpr std::size_t kMarker = 1;
constexpr std::size_t kMarkerSize = 4;
constexpr std::size_t kCode = 5;
constexpr std::size_t kPayload = 6;
constexpr std::size_t kPayloadSize = 62;
constexpr std::size_t kSumHigh = 68;
constexpr std::size_t kSumLow = 69;
constexpr std::size_t kEnd = 70;
constexpr std::uint8_t kStartByte = '~';
constexpr std::uint8_t kEndByte = 0x0D;
constexpr std::uint16_t kPayloadSumSeed = 0x55;
static_assert(kPayload + kPayloadSize == kSumHigh);
static_assert(kEnd + 1 == kSize);
}  // namespace rspframe

// Codes the tool sends.
namespace cmd {
constexpr char kSettings = 'p';
constexpr char kDeviceId = 'i';
constexpr char kClock = 'j';
constexpr char kExtParams = 'z';
constexpr char kTest = 't';
constexpr char kBeginUpload = 'g';
constexpr char kBlock = 'n';
constexpr char kUploadDone = 'q';
constexpr char kStay = 's';
constexpr char kExit = 'x';
}  // namespace cmd

// Codes the sensor sends.
namespace rsp {
constexpr char kLoaderReady = 'B';
constexpr char kLoaderLeft = 'O';
constexpr char kUploadStart = 'G';
constexpr char kNextBlock = 'N';
constexpr char kUploadEnded = 'Q';
constexpr char kDeviceIdDone = 'I';
constexpr char kSettingsDone = 'P';
constexpr char kClockSettings = 'J';
constexpr char kExtParamsDone = 'Z';
constexpr char kTestEcho = 'T';
constexpr char kRepeat = 'R';
constexpr char kClosePort = 'X';
constexpr char kAskStay = 'Y';
constexpr char kText = 'b';
constexpr char kNothing = 'F';
}  // namespace rsp

void PutLe16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value);
void PutLe32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value);
std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t at);

// The one command frame, kept as its wire bytes; fields are read and written
// byte by byte.
class CommandFrame {
 public:
  std::array<std::uint8_t, cmdframe::kSize> Bytes{};

  char Start() const { return static_cast<char>(Bytes[cmdframe::kStart]); }
  void SetStart(char c) { Bytes[cmdframe::kStart] = static_cast<std::uint8_t>(c); }
  char Code() const { return static_cast<char>(Bytes[cmdframe::kCode]); }
  void SetCode(char c) { Bytes[cmdframe::kCode] = static_cast<std::uint8_t>(c); }
  std::uint16_t Number() const { return GetLe16(Bytes, cmdframe::kNumber); }
  void SetNumber(std::uint16_t v) { PutLe16(Bytes, cmdframe::kNumber, v); }
  std::uint16_t Length() const { return GetLe16(Bytes, cmdframe::kLength); }
  void SetLength(std::uint16_t v) { PutLe16(Bytes, cmdframe::kLength, v); }
  std::uint16_t Checksum() const { return GetLe16(Bytes, cmdframe::kChecksum); }
  void SetChecksum(std::uint16_t v) { PutLe16(Bytes, cmdframe::kChecksum, v); }
  std::span<std::uint8_t, cmdframe::kDataSize> Data() {
    return std::span<std::uint8_t, cmdframe::kDataSize>(Bytes.data() + cmdframe::kData, cmdframe::kDataSize);
  }
  std::span<const std::uint8_t, cmdframe::kDataSize> Data() const {
    return std::span<const std::uint8_t, cmdframe::kDataSize>(Bytes.data() + cmdframe::kData,
                                                              cmdframe::kDataSize);
  }
};
static_assert(sizeof(CommandFrame) == cmdframe::kSize);

// Computes the command checksum, stores it in the frame and returns it.
std::uint16_t SealCommandFrame(CommandFrame& frame);

// Results of CheckResponseFrame.
enum : std::uint8_t {
  kFrameGood = 0,
  kFrameNoStart = 1,
  kFrameNoEnd = 2,
  kFrameBadLength = 3,
  kFrameBadMarker = 4,
};

// The search never looks past this position of the receive buffer.
constexpr std::size_t kFrameSearchLimit = 72;

// Looks for a response frame in `buffer` (which must hold at least
// kFrameSearchLimit + 1 bytes); `frameStart` gets the position of its '~'.
std::uint8_t CheckResponseFrame(std::span<const std::uint8_t> buffer, const char* marker,
                                std::size_t& frameStart);

// 0 when the frame's payload sum agrees with its payload, 1 otherwise.
std::uint8_t CheckPayloadSum(std::span<const std::uint8_t, rspframe::kSize> frame);

}  // namespace tavel
