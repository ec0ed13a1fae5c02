#include "core/frames.hpp"
#include "sim_fixtures.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavel::sim {
namespace {

using fixtures::command_frame;
using fixtures::PrintTo;

CommandBytes exit_example() {
    CommandBytes frame{};
    frame[0] = '*';
    frame[1] = 'x';
    frame[2] = 0x01;
    frame[4] = 0x80;
    return frame;
}

TEST(CommandChecksum, ExitExampleSumsToF900) {
    EXPECT_EQ(command_checksum(exit_example()), 0x00F9);
    const CommandBytes sealed = command_frame('x', 1, 128);
    EXPECT_EQ(sealed[136], 0xF9);
    EXPECT_EQ(sealed[137], 0x00);
    EXPECT_TRUE(std::holds_alternative<Command>(decode_command(sealed)));
}

TEST(CommandChecksum, SkipsStartByteAndLastDataByte) {
    CommandBytes frame = exit_example();
    frame[0] = 0xFF;
    frame[135] = 0xAB;
    EXPECT_EQ(command_checksum(frame), 0x00F9);
    frame[134] = 0x01;
    EXPECT_EQ(command_checksum(frame), 0x00FA);
}

TEST(CommandChecksum, WrapsAtSixteenBits) {
    CommandBytes frame{};
    std::fill(frame.begin(), frame.end(), 0xFF);
    EXPECT_EQ(command_checksum(frame), (134u * 0xFF) & 0xFFFF);
}

TEST(DecodeCommand, ReadsLittleEndianHeaderAndData) {
    const std::array<std::uint8_t, 3> data{0x11, 0x22, 0x33};
    const auto decoded = decode_command(command_frame('n', 0x1234, 0x0080, data));
    ASSERT_TRUE(std::holds_alternative<Command>(decoded));
    const Command& command = std::get<Command>(decoded);
    EXPECT_EQ(command.code, 'n');
    EXPECT_EQ(command.number, 0x1234);
    EXPECT_EQ(command.length, 0x0080);
    EXPECT_EQ(command.data[0], 0x11);
    EXPECT_EQ(command.data[2], 0x33);
}

TEST(DecodeCommand, LastDataByteChangesNothingButTheData) {
    CommandBytes frame = command_frame('t', 3, 128);
    frame[135] = 0x5A;
    const auto decoded = decode_command(frame);
    ASSERT_TRUE(std::holds_alternative<Command>(decoded));
    EXPECT_EQ(std::get<Command>(decoded).data[127], 0x5A);
}

struct FaultCase {
    const char* name;
    std::size_t at;
    std::uint8_t value;
    bool reseal;
    FrameFault expected;
};

class DecodeFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(DecodeFault, IsReported) {
    const FaultCase& c = GetParam();
    CommandBytes frame = command_frame('p', 1, 5);
    frame[c.at] = c.value;
    if (c.reseal) {
        const std::uint16_t sum = command_checksum(frame);
        frame[136] = static_cast<std::uint8_t>(sum & 0xFF);
        frame[137] = static_cast<std::uint8_t>(sum >> 8);
    }
    const auto decoded = decode_command(frame);
    ASSERT_TRUE(std::holds_alternative<FrameFault>(decoded));
    EXPECT_EQ(std::get<FrameFault>(decoded), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Frames, DecodeFault,
                         ::testing::Values(FaultCase{"start", 0, '~', false, FrameFault::BadStart},
                                           FaultCase{"data", 20, 0x01, false, FrameFault::BadChecksum},
                                           FaultCase{"sum_low", 136, 0x00, false, FrameFault::BadChecksum},
                                           FaultCase{"sum_high", 137, 0x01, false, FrameFault::BadChecksum},
                                           FaultCase{"reserved", 7, 0x01, true, FrameFault::NonZeroReserved},
                                           FaultCase{"trailer", 139, 0x01, false, FrameFault::NonZeroTrailer}),
                         [](const auto& named) { return std::string(named.param.name); });

struct PayloadSumCase {
    std::uint8_t fill;
    std::uint8_t high;
    std::uint8_t low;
};

class ResponsePayloadSum : public ::testing::TestWithParam<PayloadSumCase> {};

TEST_P(ResponsePayloadSum, IsBigEndianAfterThePayload) {
    Payload payload{};
    payload.fill(GetParam().fill);
    const ResponseBytes frame = encode_response('T', payload);
    EXPECT_EQ(frame[68], GetParam().high);
    EXPECT_EQ(frame[69], GetParam().low);
}

INSTANTIATE_TEST_SUITE_P(Frames, ResponsePayloadSum,
                         ::testing::Values(PayloadSumCase{0x00, 0x00, 0x55}, PayloadSumCase{0xFF, 0x3E, 0x17}));

TEST(EncodeResponse, HasStartMarkerCodePayloadAndEnd) {
    Payload payload{};
    payload[0] = 0xA1;
    payload[61] = 0xB2;
    const ResponseBytes frame = encode_response('J', payload);
    const std::array<std::uint8_t, 6> head{'~', 'H', 'E', 'A', 'D', 'J'};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), frame.begin()));
    EXPECT_EQ(frame[6], 0xA1);
    EXPECT_EQ(frame[67], 0xB2);
    EXPECT_EQ(frame[70], 0x0D);
    EXPECT_EQ(fixtures::payload_sum_field(frame), fixtures::expected_payload_sum(frame));
}

}  // namespace
}  // namespace tavel::sim
