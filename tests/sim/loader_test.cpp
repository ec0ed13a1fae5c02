#include "core/loader.hpp"
#include "sim_fixtures.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace tavel::sim {
namespace {

using namespace fixtures;
using fixtures::PrintTo;

std::vector<std::uint8_t> counting_data() {
    std::vector<std::uint8_t> data(128);
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    return data;
}

struct AnswerCase {
    const char* name;
    char code;
    std::uint16_t number;
    std::uint16_t length;
    std::string answer;
    std::size_t echoed_payload_bytes;  // payload bytes that repeat the command's data
};

class LoaderAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(LoaderAnswer, ToEachCommandCode) {
    const AnswerCase& c = GetParam();
    LoaderDriver driver;
    const std::vector<std::uint8_t> data = counting_data();
    const Events events = driver.send(command_frame(c.code, c.number, c.length, data));
    ASSERT_EQ(codes(events), c.answer);
    for (const Transmission& tx : transmissions(events)) {
        EXPECT_EQ(tx.wire, std::vector<std::uint8_t>(tx.frame.begin(), tx.frame.end()));
        EXPECT_EQ(tx.frame[0], '~');
        EXPECT_EQ(std::string(tx.frame.begin() + 1, tx.frame.begin() + 5), "HEAD");
        EXPECT_EQ(tx.frame[70], 0x0D);
        EXPECT_EQ(payload_sum_field(tx.frame), expected_payload_sum(tx.frame));
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + static_cast<long>(c.echoed_payload_bytes),
                               tx.frame.begin() + 6));
    }
}

INSTANTIATE_TEST_SUITE_P(Loader, LoaderAnswer,
                         ::testing::Values(AnswerCase{"settings", 'p', 1, 5, "P", 5},
                                           AnswerCase{"device_id", 'i', 0, 2, "I", 2},
                                           AnswerCase{"clock", 'j', 0, 2, "J", 0},
                                           AnswerCase{"extended", 'z', 0, 2, "Z", 24},
                                           AnswerCase{"link_test", 't', 5, 128, "T", 62},
                                           AnswerCase{"begin_upload", 'g', 0, 0, "G", 0},
                                           AnswerCase{"block", 'n', 0, 128, "N", 0},
                                           AnswerCase{"upload_complete", 'q', 0, 128, "Q", 0},
                                           AnswerCase{"stay", 's', 1, 128, "", 0},
                                           AnswerCase{"exit", 'x', 1, 128, "O", 0},
                                           AnswerCase{"unknown", 'w', 0, 0, "F", 0}),
                         [](const auto& named) { return std::string(named.param.name); });

TEST(LoaderFraming, FaultyFrameIsAnsweredWithRepeatRequest) {
    LoaderDriver driver;
    Frame frame = command_frame('p', 1, 5);
    frame[10] ^= 0x01;
    const Events events = driver.send(frame);
    EXPECT_EQ(codes(events), "R");
    const auto received = events_of<FrameReceived>(events);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].status, RxStatus::BadChecksum);
}

struct ResyncCase {
    const char* name;
    std::vector<std::uint8_t> before;
    std::string answers;
};

class LoaderResync : public ::testing::TestWithParam<ResyncCase> {};

TEST_P(LoaderResync, FindsTheFrameAfterGarbage) {
    LoaderDriver driver;
    std::vector<std::uint8_t> stream = GetParam().before;
    const Frame frame = command_frame('p', 1, 5);
    stream.insert(stream.end(), frame.begin(), frame.end());
    EXPECT_EQ(codes(driver.send(stream)), GetParam().answers);
}

std::vector<std::uint8_t> head_of_frame(char code, std::size_t bytes) {
    const Frame frame = command_frame(code, 0, 2);
    return {frame.begin(), frame.begin() + static_cast<long>(bytes)};
}

INSTANTIATE_TEST_SUITE_P(
    Loader, LoaderResync,
    ::testing::Values(ResyncCase{"no_start_byte", bytes_of("\x7e\r\nnoise"), "P"},
                      ResyncCase{"stray_start_byte", bytes_of("ab*cd"), "RP"},
                      ResyncCase{"two_stray_start_bytes", bytes_of("**"), "RRP"},
                      ResyncCase{"cut_off_frame", head_of_frame('i', 60), "RP"}),
    [](const auto& named) { return std::string(named.param.name); });

TEST(LoaderFraming, BackToBackFramesInPiecesAreAnsweredInOrder) {
    LoaderDriver driver;
    std::vector<std::uint8_t> stream;
    for (const Frame& frame : {command_frame('p', 1, 5), command_frame('i', 0, 2)}) {
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    std::string answers;
    for (std::size_t at = 0; at < stream.size(); at += 7) {
        const std::size_t count = std::min<std::size_t>(7, stream.size() - at);
        answers += codes(driver.send(std::span{stream}.subspan(at, count)));
    }
    EXPECT_EQ(answers, "PI");
}

TEST(LoaderFraming, ReceivedFrameCarriesNoteAndTimes) {
    LoaderDriver driver;
    const std::array<std::uint8_t, 5> settings{'1', '0', '5', 'G', 'P'};
    const auto received = events_of<FrameReceived>(driver.send(command_frame('p', 0, 5, settings)));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].status, RxStatus::Ok);
    EXPECT_EQ(received[0].note, "interval 5 min, FULL on, low power off; unexpected number/length");
    EXPECT_EQ(received[0].first_byte, driver.now());
    EXPECT_EQ(received[0].raw.size(), 140u);
}

std::vector<std::uint8_t> clock_request(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
    std::vector<std::uint8_t> data(41, 0xFF);
    data[40] = 1;
    for (const auto& [at, value] : bytes) {
        data[at] = value;
    }
    return data;
}

Transmission only_answer(const Events& events) {
    const auto sent = transmissions(events);
    EXPECT_EQ(sent.size(), 1u);
    return sent.empty() ? Transmission{} : sent.front();
}

unsigned payload_le(const Transmission& tx, std::size_t at, std::size_t width) {
    unsigned value = 0;
    for (std::size_t i = width; i > 0; --i) {
        value = value << 8 | tx.frame[6 + at + i - 1];
    }
    return value;
}

TEST(LoaderClock, ReadRequestAnswersTheStoredRecord) {
    LoaderDriver driver;
    const Transmission tx = only_answer(driver.send(command_frame('j', 0, 2, clock_request({}))));
    ASSERT_EQ(tx.code, 'J');
    EXPECT_EQ(payload_le(tx, 4, 2), 8u);
    EXPECT_EQ(payload_le(tx, 6, 2), 336u);
    EXPECT_EQ(payload_le(tx, 8, 2), 4u);
    EXPECT_EQ(payload_le(tx, 16, 2), 1u);
    EXPECT_EQ(payload_le(tx, 20, 4), 84'000'000u);
    EXPECT_EQ(payload_le(tx, 24, 2), 2u);
    EXPECT_EQ(payload_le(tx, 32, 2), 1000u);
    EXPECT_EQ(payload_le(tx, 34, 2), 200u);
    EXPECT_TRUE(std::all_of(tx.frame.begin() + 6 + 40, tx.frame.begin() + 68, [](auto b) { return b == 0; }));
}

TEST(LoaderClock, GivenFieldsUpdateAndAllOnesFieldsKeepTheirValue) {
    LoaderDriver driver;
    const auto write = clock_request({{4, 0x09}, {5, 0x00}, {20, 0x64}, {21, 0}, {22, 0}, {23, 0},
                                      {0, 0x00}, {12, 0x00}, {38, 0x00}});
    const Transmission written = only_answer(driver.send(command_frame('j', 0, 2, write)));
    const Transmission read = only_answer(driver.send(command_frame('j', 0, 2, clock_request({}))));
    for (const Transmission& tx : {written, read}) {
        EXPECT_EQ(payload_le(tx, 4, 2), 9u);
        EXPECT_EQ(payload_le(tx, 20, 4), 100u);
        EXPECT_EQ(payload_le(tx, 6, 2), 336u);
        EXPECT_EQ(payload_le(tx, 34, 2), 200u);
    }
}

TEST(LoaderClock, HclkOfAllOnesInOneHalfOnlyIsAValue) {
    LoaderDriver driver;
    const auto write = clock_request({{22, 0x00}, {23, 0x00}});
    const Transmission tx = only_answer(driver.send(command_frame('j', 0, 2, write)));
    EXPECT_EQ(payload_le(tx, 20, 4), 0x0000FFFFu);
}

TEST(LoaderMode, GreetsInCp1251ThenAnnounces) {
    LoaderConfig config;
    config.announce = std::chrono::milliseconds{1000};
    LoaderDriver driver{config};
    const Transmission greeting = only_answer(driver.greet());
    ASSERT_EQ(greeting.code, 'b');
    const std::array<std::uint8_t, 10> text{0xC7, 0xE0, 0xE3, 0xF0, 0xF3, 0xE7, 0xF7, 0xE8, 0xEA, 0x20};
    EXPECT_TRUE(std::equal(text.begin(), text.end(), greeting.frame.begin() + 6));
    EXPECT_EQ(greeting.frame[6 + 21], 0);
    EXPECT_EQ(codes(driver.run_for(std::chrono::milliseconds{3500})), "BBB");
}

TEST(LoaderMode, ExitAnswersOAndEndsAnnouncementsAndAnswers) {
    LoaderConfig config;
    config.announce = std::chrono::milliseconds{100};
    config.rerequest = std::chrono::milliseconds{100};
    LoaderDriver driver{config};
    driver.greet();
    EXPECT_EQ(codes(driver.send(command_frame('x', 1, 128))), "O");
    EXPECT_FALSE(driver.loader().in_loader());
    EXPECT_EQ(codes(driver.run_for(std::chrono::seconds{2})), "");
    const Events late = driver.send(command_frame('p', 1, 5));
    EXPECT_EQ(codes(late), "");
    ASSERT_EQ(events_of<FrameReceived>(late).size(), 1u);
    EXPECT_EQ(events_of<FrameReceived>(late)[0].status, RxStatus::Ignored);
}

TEST(LoaderMode, AskStayRepeatsTheQuestionUntilStay) {
    LoaderConfig config;
    config.announce = std::chrono::milliseconds{100};
    config.ask_stay = true;
    LoaderDriver driver{config};
    EXPECT_EQ(codes(driver.greet()), "bY");
    EXPECT_EQ(codes(driver.run_for(std::chrono::milliseconds{250})), "YY");
    EXPECT_EQ(codes(driver.send(command_frame('s', 1, 128))), "");
    EXPECT_EQ(codes(driver.run_for(std::chrono::milliseconds{250})), "BB");
}

TEST(LoaderMode, EchoComesBeforeTheAnswerAndCoversGarbage) {
    LoaderConfig config = quiet_config();
    config.echo = true;
    LoaderDriver driver{config};
    std::vector<std::uint8_t> stream = bytes_of("zz");
    const Frame frame = command_frame('p', 1, 5);
    stream.insert(stream.end(), frame.begin(), frame.end());
    const Events events = driver.send(stream);
    ASSERT_FALSE(events.empty());
    ASSERT_TRUE(std::holds_alternative<EchoBytes>(events.front()));
    EXPECT_EQ(std::get<EchoBytes>(events.front()).bytes, stream);
    EXPECT_EQ(codes(events), "P");
}

}  // namespace
}  // namespace tavel::sim
