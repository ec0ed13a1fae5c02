#include "core/faults.hpp"
#include "core/loader.hpp"
#include "sim_fixtures.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace tavel::sim {
namespace {

using namespace fixtures;

std::vector<std::vector<std::uint8_t>> link_test_wire(const FaultPlan& plan, std::uint32_t seed) {
    LoaderDriver driver{quiet_config(), plan, seed};
    std::vector<std::vector<std::uint8_t>> wire;
    for (std::uint16_t index = 0; index < 12; ++index) {
        std::vector<std::uint8_t> data(128, static_cast<std::uint8_t>(index * 13));
        for (const Transmission& tx : transmissions(driver.send(command_frame('t', index, 128, data)))) {
            std::vector<std::uint8_t> bytes = tx.noise;
            bytes.insert(bytes.end(), tx.wire.begin(), tx.wire.end());
            wire.push_back(bytes);
        }
    }
    return wire;
}

FaultPlan every_fault(double rate) {
    return FaultPlan{rate, rate, rate, rate / 10, 'T'};
}

TEST(FaultDeterminism, SameSeedSameBytesOtherSeedOtherBytes) {
    const auto first = link_test_wire(every_fault(0.5), 7);
    EXPECT_EQ(first, link_test_wire(every_fault(0.5), 7));
    EXPECT_NE(first, link_test_wire(every_fault(0.5), 8));
}

TEST(FaultDeterminism, OneKindDoesNotShiftAnother) {
    FaultInjector sums_only{FaultPlan{0.5, 0, 0, 0, {}}, 3};
    FaultInjector with_noise{FaultPlan{0.5, 0, 1, 0, {}}, 3};
    for (int i = 0; i < 64; ++i) {
        with_noise.noise();
        EXPECT_EQ(sums_only.corrupt_sum(), with_noise.corrupt_sum());
    }
}

TEST(FaultRates, ZeroNeverAndOneAlways) {
    FaultInjector never{FaultPlan{}, 1};
    FaultInjector always{FaultPlan{1, 1, 1, 1, {}}, 1};
    const std::vector<std::uint8_t> bytes(71, 0x41);
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(never.corrupt_sum());
        EXPECT_FALSE(never.replace_with_repeat());
        EXPECT_TRUE(never.noise().empty());
        EXPECT_EQ(never.drop(bytes), bytes);
        EXPECT_TRUE(always.corrupt_sum());
        EXPECT_TRUE(always.replace_with_repeat());
        EXPECT_TRUE(always.drop(bytes).empty());
    }
}

TEST(FaultRates, NoiseIsShortAndNeverAResponseStart) {
    FaultInjector injector{FaultPlan{0, 0, 1, 0, {}}, 11};
    for (int i = 0; i < 500; ++i) {
        const std::vector<std::uint8_t> noise = injector.noise();
        ASSERT_FALSE(noise.empty());
        ASSERT_LE(noise.size(), 8u);
        ASSERT_EQ(std::count(noise.begin(), noise.end(), '~'), 0);
    }
}

TEST(LoaderFaults, BadSumBreaksOnlyTheLinkTestSum) {
    LoaderDriver driver{quiet_config(), FaultPlan{1, 0, 0, 0, {}}};
    const auto test_answer = transmissions(driver.send(command_frame('t', 0, 128)));
    ASSERT_EQ(test_answer.size(), 1u);
    EXPECT_NE(payload_sum_field(test_answer[0].frame), expected_payload_sum(test_answer[0].frame));
    EXPECT_EQ(test_answer[0].faults, std::vector<std::string>{"bad-sum"});
    const auto settings_answer = transmissions(driver.send(command_frame('p', 1, 5)));
    ASSERT_EQ(settings_answer.size(), 1u);
    EXPECT_EQ(payload_sum_field(settings_answer[0].frame), expected_payload_sum(settings_answer[0].frame));
}

TEST(LoaderFaults, RepeatReplacesTheAnswerAndTheBlockIsNotKept) {
    LoaderDriver driver{quiet_config(), FaultPlan{0, 1, 0, 0, {}}};
    EXPECT_EQ(codes(driver.send(command_frame('g', 0, 0))), "R");
    EXPECT_EQ(codes(driver.send(command_frame('n', 0, 128))), "R");
    EXPECT_EQ(codes(driver.send(command_frame('s', 1, 128))), "");
}

TEST(LoaderFaults, StallCutsTheFirstBlockAnswerOnlyAndRerequestRecovers) {
    LoaderConfig config = quiet_config();
    config.rerequest = std::chrono::milliseconds{300};
    LoaderDriver driver{config, FaultPlan{0, 0, 0, 0, 'N'}};
    driver.send(command_frame('g', 0, 0));
    const auto stalled = transmissions(driver.send(command_frame('n', 0, 128)));
    ASSERT_EQ(stalled.size(), 1u);
    EXPECT_EQ(stalled[0].wire.size(), 35u);
    EXPECT_TRUE(std::equal(stalled[0].wire.begin(), stalled[0].wire.end(), stalled[0].frame.begin()));
    EXPECT_EQ(codes(driver.advance(std::chrono::milliseconds{300})), "R");
    const auto again = transmissions(driver.send(command_frame('n', 0, 128)));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].wire.size(), 71u);
}

TEST(LoaderFaults, DroppedBytesAreCountedInTheFaultNote) {
    LoaderDriver driver{quiet_config(), FaultPlan{0, 0, 0, 0.5, {}}, 5};
    const auto sent = transmissions(driver.send(command_frame('p', 1, 5)));
    ASSERT_EQ(sent.size(), 1u);
    const std::size_t dropped = 71 - sent[0].wire.size();
    ASSERT_GT(dropped, 0u);
    EXPECT_EQ(sent[0].faults, std::vector<std::string>{"drop:" + std::to_string(dropped)});
}

}  // namespace
}  // namespace tavel::sim
