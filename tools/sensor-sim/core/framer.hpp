#pragma once

#include "core/frames.hpp"
#include "core/line_timing.hpp"

#include <cstdint>
#include <deque>
#include <span>
#include <variant>
#include <vector>

namespace tavel::sim {

// A 140-byte candidate that began with '*', whatever its checksum says.
struct ReceivedFrame {
    CommandBytes bytes{};
    Micros first_byte{};
    Micros last_byte{};
    std::variant<Command, FrameFault> decoded;
};

struct PartialFrame {
    std::vector<std::uint8_t> bytes;
    Micros first_byte{};
    Micros last_byte{};
};

// Cuts the incoming byte stream into command frames: hunts for '*', takes 140 bytes,
// and after a faulty candidate resumes the hunt one byte past its start.
class CommandFramer {
public:
    std::vector<ReceivedFrame> push(std::span<const std::uint8_t> bytes, Micros now);

    bool has_partial() const { return !pending_.empty(); }
    Micros partial_last_byte() const { return pending_.back().at; }
    PartialFrame take_partial();

private:
    struct StampedByte {
        std::uint8_t value;
        Micros at;
    };

    void drop_until_start();
    ReceivedFrame take_candidate();

    std::deque<StampedByte> pending_;
};

}  // namespace tavel::sim
