#include "core/loader.hpp"
#include "sim_fixtures.hpp"

#include <gtest/gtest.h>

namespace tavel::sim {
namespace {

using namespace fixtures;
using fixtures::PrintTo;
using std::chrono::milliseconds;

struct DelayCase {
    const char* name;
    bool pace;
    milliseconds turnaround;
    Micros delay;  // from the frame's first byte to the answer
};

class AnswerDelay : public ::testing::TestWithParam<DelayCase> {};

TEST_P(AnswerDelay, WaitsForTheLineAndTheTurnaround) {
    const DelayCase& c = GetParam();
    LoaderConfig config = quiet_config();
    config.pace = c.pace;
    config.turnaround = c.turnaround;
    LoaderDriver driver{config};
    std::string answers = codes(driver.send(command_frame('p', 1, 5)));
    if (c.delay > Micros{0}) {
        EXPECT_EQ(answers, "");
        EXPECT_EQ(driver.loader().next_deadline(), driver.now() + c.delay);
        answers += codes(driver.advance(c.delay - Micros{1}));
        EXPECT_EQ(answers, "");
        answers += codes(driver.advance(Micros{1}));
    }
    EXPECT_EQ(answers, "P");
}

INSTANTIATE_TEST_SUITE_P(Loader, AnswerDelay,
                         ::testing::Values(DelayCase{"immediate", false, milliseconds{0}, Micros{0}},
                                           DelayCase{"turnaround", false, milliseconds{40}, Micros{40'000}},
                                           DelayCase{"paced", true, milliseconds{0}, Micros{291'666}},
                                           DelayCase{"paced_and_turnaround", true, milliseconds{40},
                                                     Micros{331'666}}),
                         [](const auto& named) { return std::string(named.param.name); });

TEST(AnswerDelay, PacedFrameThatTrickledInIsAnsweredAtItsLastByte) {
    LoaderConfig config = quiet_config();
    config.pace = true;
    LoaderDriver driver{config};
    const Frame frame = command_frame('p', 1, 5);
    EXPECT_EQ(codes(driver.send(std::span{frame}.first(10))), "");
    driver.advance(milliseconds{400});
    EXPECT_EQ(codes(driver.send(std::span{frame}.subspan(10))), "P");
}

LoaderConfig rerequesting(milliseconds after) {
    LoaderConfig config = quiet_config();
    config.rerequest = after;
    return config;
}

struct RerequestCase {
    const char* name;
    char command;
    std::uint16_t length;
    std::string first_answer;
    bool rerequests;
};

class Rerequest : public ::testing::TestWithParam<RerequestCase> {};

TEST_P(Rerequest, AfterSilenceOnlyWhenAFrameIsExpected) {
    const RerequestCase& c = GetParam();
    LoaderDriver driver{rerequesting(milliseconds{500})};
    EXPECT_EQ(codes(driver.send(command_frame(c.command, 0, c.length))), c.first_answer);
    EXPECT_EQ(codes(driver.advance(milliseconds{499})), "");
    EXPECT_EQ(codes(driver.advance(milliseconds{1})), c.rerequests ? "R" : "");
}

INSTANTIATE_TEST_SUITE_P(Loader, Rerequest,
                         ::testing::Values(RerequestCase{"after_begin", 'g', 0, "G", true},
                                           RerequestCase{"after_block", 'n', 128, "N", true},
                                           RerequestCase{"after_link_test", 't', 128, "T", true},
                                           RerequestCase{"after_settings", 'p', 5, "P", false},
                                           RerequestCase{"after_complete", 'q', 128, "Q", false}),
                         [](const auto& named) { return std::string(named.param.name); });

TEST(Rerequest, AfterItsOwnRepeatRequestItKeepsAsking) {
    LoaderDriver driver{rerequesting(milliseconds{500})};
    Frame bad = command_frame('n', 0, 128);
    bad[50] ^= 0xFF;
    EXPECT_EQ(codes(driver.send(bad)), "R");
    EXPECT_EQ(codes(driver.run_for(milliseconds{1000})), "RR");
}

TEST(Rerequest, ArrivingFrameCancelsIt) {
    LoaderDriver driver{rerequesting(milliseconds{500})};
    driver.send(command_frame('g', 0, 0));
    driver.advance(milliseconds{400});
    EXPECT_EQ(codes(driver.send(command_frame('p', 1, 5))), "P");
    EXPECT_EQ(codes(driver.run_for(milliseconds{2000})), "");
}

TEST(Rerequest, StalledPartialFrameIsDiscardedAndTheNextFrameStandsAlone) {
    LoaderDriver driver{rerequesting(milliseconds{500})};
    const Frame block = command_frame('n', 3, 128);
    driver.send(std::span{block}.first(70));
    driver.advance(milliseconds{300});
    const Events stalled = driver.advance(milliseconds{200});
    EXPECT_EQ(codes(stalled), "R");
    const auto discarded = events_of<FrameReceived>(stalled);
    ASSERT_EQ(discarded.size(), 1u);
    EXPECT_EQ(discarded[0].status, RxStatus::Incomplete);
    EXPECT_EQ(discarded[0].raw.size(), 70u);
    EXPECT_EQ(codes(driver.send(block)), "N");
}

TEST(Rerequest, GivesUpAfterTwentyInARow) {
    LoaderDriver driver{rerequesting(milliseconds{100})};
    driver.send(command_frame('g', 0, 0));
    EXPECT_EQ(codes(driver.run_for(milliseconds{5000})), std::string(kMaxRerequests, 'R'));
    EXPECT_EQ(driver.loader().next_deadline(), std::nullopt);
}

TEST(Rerequest, DisabledMeansNever) {
    LoaderDriver driver{rerequesting(milliseconds{0})};
    const Frame block = command_frame('n', 0, 128);
    driver.send(block);
    driver.send(std::span{block}.first(20));
    EXPECT_EQ(codes(driver.run_for(milliseconds{5000})), "");
}

TEST(Announce, WaitsWhileAnAnswerIsPending) {
    LoaderConfig config;
    config.announce = milliseconds{100};
    config.turnaround = milliseconds{250};
    LoaderDriver driver{config};
    driver.greet();
    driver.advance(milliseconds{90});
    driver.send(command_frame('p', 1, 5));
    EXPECT_EQ(codes(driver.run_for(milliseconds{300})), "P");
}

TEST(Announce, ZeroDisablesIt) {
    LoaderDriver driver{quiet_config()};
    driver.greet();
    EXPECT_EQ(driver.loader().next_deadline(), std::nullopt);
}

}  // namespace
}  // namespace tavel::sim
