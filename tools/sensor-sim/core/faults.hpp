#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace tavel::sim {

struct FaultPlan {
    double bad_sum = 0;   // 'T' answers with a wrong payload sum
    double repeat = 0;    // 'R' instead of the answer
    double noise = 0;     // stray bytes before a frame
    double drop = 0;      // per outgoing byte
    std::optional<char> stall_code;  // the first answer with this code stops halfway, once
};

// Each kind of fault draws from its own generator, so enabling one kind does not
// shift the decisions of another for the same seed.
class FaultInjector {
public:
    FaultInjector(const FaultPlan& plan, std::uint32_t seed);

    bool corrupt_sum();
    bool replace_with_repeat();
    std::vector<std::uint8_t> noise();
    bool stall(char code);
    std::vector<std::uint8_t> drop(std::span<const std::uint8_t> bytes);

private:
    FaultPlan plan_;
    std::mt19937 sum_rng_;
    std::mt19937 repeat_rng_;
    std::mt19937 noise_rng_;
    std::mt19937 drop_rng_;
    bool stalled_ = false;
};

}  // namespace tavel::sim
