#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "protocol/frames.h"
#include "protocol/text.h"

namespace tavel {
namespace {

TEST(SealCommandFrame, ExitFrameExample) {
  CommandFrame frame;
  frame.SetStart('*');
  frame.SetCode('x');
  frame.SetNumber(1);
  frame.SetLength(128);
  EXPECT_EQ(SealCommandFrame(frame), 0x00F9);
  EXPECT_EQ(frame.Bytes[136], 0xF9);
  EXPECT_EQ(frame.Bytes[137], 0x00);
  EXPECT_EQ(frame.Bytes[138], 0x00);
  EXPECT_EQ(frame.Bytes[139], 0x00);
  EXPECT_EQ(frame.Bytes[2], 0x01);  // Number little-endian
  EXPECT_EQ(frame.Bytes[4], 0x80);  // Length little-endian
}

TEST(SealCommandFrame, SumsBytesOneTo134Only) {
  CommandFrame frame;
  frame.Bytes.fill(0xFF);
  // 134 bytes of 0xFF: 134 * 255 = 34170 = 0x857A
  EXPECT_EQ(SealCommandFrame(frame), 0x857A);
  CommandFrame other = frame;
  other.Bytes[135] = 0x00;  // last data byte
  other.Bytes[0] = 0x00;    // start
  EXPECT_EQ(SealCommandFrame(other), 0x857A);
  other.Bytes[134] = 0x00;
  EXPECT_EQ(SealCommandFrame(other), 0x857A - 0xFF);
}

std::array<std::uint8_t, rspframe::kSize> ResponseWithPayload(std::uint8_t fill, std::uint8_t hi,
                                                             std::uint8_t lo) {
  std::array<std::uint8_t, rspframe::kSize> frame{};
  frame[0] = '~';
  std::memcpy(&frame[1], "HEAD", 4);
  frame[5] = 'T';
  for (std::size_t i = 6; i < 68; ++i) frame[i] = fill;
  frame[68] = hi;
  frame[69] = lo;
  frame[70] = 0x0D;
  return frame;
}

TEST(CheckPayloadSum, WorkedExamples) {
  EXPECT_EQ(CheckPayloadSum(ResponseWithPayload(0x00, 0x00, 0x55)), 0);
  EXPECT_EQ(CheckPayloadSum(ResponseWithPayload(0xFF, 0x3E, 0x17)), 0);
  EXPECT_EQ(CheckPayloadSum(ResponseWithPayload(0xFF, 0x17, 0x3E)), 1);  // little-endian is wrong
  EXPECT_EQ(CheckPayloadSum(ResponseWithPayload(0x00, 0x55, 0x00)), 1);
}

class ReceiveBuffer : public ::testing::Test {
 protected:
  std::array<std::uint8_t, 3000> buffer{};
  std::size_t start = 999;

  void PutGoodFrame(std::size_t at) {
    buffer[at] = '~';
    std::memcpy(&buffer[at + 1], "HEAD", 4);
    buffer[at + 5] = 'b';
    buffer[at + 70] = 0x0D;
  }
  std::uint8_t Check() { return CheckResponseFrame(buffer, "HEAD", start); }
};

TEST_F(ReceiveBuffer, GoodFrameAtZero) {
  PutGoodFrame(0);
  EXPECT_EQ(Check(), kFrameGood);
  EXPECT_EQ(start, 0u);
}

TEST_F(ReceiveBuffer, NoStartWithinFirst73Positions) {
  buffer[73] = '~';
  EXPECT_EQ(Check(), kFrameNoStart);
  EXPECT_EQ(start, 999u);
  buffer[72] = '~';
  EXPECT_EQ(Check(), kFrameNoEnd);  // the CR search also stops at position 72
  EXPECT_EQ(start, 72u);
}

TEST_F(ReceiveBuffer, NoCarriageReturn) {
  PutGoodFrame(0);
  buffer[70] = 0;
  EXPECT_EQ(Check(), kFrameNoEnd);
}

TEST_F(ReceiveBuffer, CarriageReturnInsidePayloadIgnoresMarker) {
  PutGoodFrame(0);
  buffer[30] = 0x0D;
  buffer[2] = 'X';  // marker broken, not compared
  EXPECT_EQ(Check(), kFrameBadLength);
}

TEST_F(ReceiveBuffer, MarkerMismatches) {
  for (const char* marker : {"HEAd", "HEAX", "head"}) {
    PutGoodFrame(0);
    std::memcpy(&buffer[1], marker, 4);
    EXPECT_EQ(Check(), kFrameBadMarker) << marker;
  }
  PutGoodFrame(0);
  buffer[4] = 0;  // a NUL among the received is a mismatch
  EXPECT_EQ(Check(), kFrameBadMarker);
}

TEST_F(ReceiveBuffer, LimitCountsFromBufferStart) {
  // A frame starting at 2 would end at 72: found, 71 long, good.
  PutGoodFrame(2);
  EXPECT_EQ(Check(), kFrameGood);
  EXPECT_EQ(start, 2u);
  // Starting at 3 its CR at 73 lies beyond the limit.
  buffer.fill(0);
  PutGoodFrame(3);
  EXPECT_EQ(Check(), kFrameNoEnd);
}

struct DecimalCase {
  const char* text;
  std::int32_t value;
};

class DecimalValueTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalValueTest, Reads) { EXPECT_EQ(DecimalValue(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Texts, DecimalValueTest,
    ::testing::Values(DecimalCase{"", 0}, DecimalCase{"007", 7}, DecimalCase{"  \t\n\v\f\r42", 42},
                      DecimalCase{"-3", -3}, DecimalCase{"+5", 5}, DecimalCase{"12a4", 12},
                      DecimalCase{"a12", 0}, DecimalCase{"- 1", 0}, DecimalCase{"--1", 0},
                      DecimalCase{"2147483647", 2147483647},
                      DecimalCase{"2147483648", -2147483647 - 1},
                      DecimalCase{"4294967295", -1}, DecimalCase{"4294967296", 0},
                      DecimalCase{"-2147483648", -2147483647 - 1}, DecimalCase{"65536", 65536}));

TEST(Cp1251ToUtf8, DecodesCyrillicAndStopsAtNul) {
  const std::uint8_t text[] = {0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, ' ', 0xA8, 0xB8, 0xB9, 0x00, 'X'};
  EXPECT_EQ(Cp1251ToUtf8(text, sizeof text), "Привет Ёё№");
  const std::uint8_t abc[] = {'A', 'B', 'C'};
  EXPECT_EQ(Cp1251ToUtf8(abc, 2), "AB");
  const std::uint8_t empty[] = {0x00, 'A'};
  EXPECT_EQ(Cp1251ToUtf8(empty, 2), "");
}

}  // namespace
}  // namespace tavel
