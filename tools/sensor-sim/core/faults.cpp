#include "core/faults.hpp"

namespace tavel::sim {
namespace {

constexpr std::uint8_t kResponseStartByte = '~';
constexpr std::uint32_t kMaxNoiseBurst = 8;

std::mt19937 make_rng(std::uint32_t seed, std::uint32_t stream) {
    std::seed_seq sequence{seed, stream};
    return std::mt19937{sequence};
}

// Compares raw 32-bit draws so that the decisions do not depend on a library's distributions.
bool chance(std::mt19937& rng, double rate) {
    if (rate <= 0) {
        return false;
    }
    if (rate >= 1) {
        return true;
    }
    return rng() < static_cast<std::uint64_t>(rate * 4294967296.0);
}

std::uint8_t stray_byte(std::mt19937& rng) {
    auto byte = static_cast<std::uint32_t>(rng() % 255);
    if (byte >= kResponseStartByte) {
        ++byte;
    }
    return static_cast<std::uint8_t>(byte);
}

}  // namespace

FaultInjector::FaultInjector(const FaultPlan& plan, std::uint32_t seed)
    : plan_(plan),
      sum_rng_(make_rng(seed, 1)),
      repeat_rng_(make_rng(seed, 2)),
      noise_rng_(make_rng(seed, 3)),
      drop_rng_(make_rng(seed, 4)) {}

bool FaultInjector::corrupt_sum() {
    return chance(sum_rng_, plan_.bad_sum);
}

bool FaultInjector::replace_with_repeat() {
    return chance(repeat_rng_, plan_.repeat);
}

std::vector<std::uint8_t> FaultInjector::noise() {
    std::vector<std::uint8_t> bytes;
    if (chance(noise_rng_, plan_.noise)) {
        const std::uint32_t count = 1 + noise_rng_() % kMaxNoiseBurst;
        for (std::uint32_t i = 0; i < count; ++i) {
            bytes.push_back(stray_byte(noise_rng_));
        }
    }
    return bytes;
}

bool FaultInjector::stall(char code) {
    if (stalled_ || plan_.stall_code != code) {
        return false;
    }
    stalled_ = true;
    return true;
}

std::vector<std::uint8_t> FaultInjector::drop(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> kept;
    for (const std::uint8_t byte : bytes) {
        if (!chance(drop_rng_, plan_.drop)) {
            kept.push_back(byte);
        }
    }
    return kept;
}

}  // namespace tavel::sim
