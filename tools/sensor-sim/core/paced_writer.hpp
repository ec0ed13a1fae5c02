#pragma once

#include "core/line_timing.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace tavel::sim {

struct WrittenItem {
    std::uint64_t id = 0;
    Micros first_byte{};
    Micros last_byte{};
};

// Queue of outgoing byte strings. With pacing, byte k after the line fell idle may go out
// no earlier than k byte times (10 bits at 4800 baud) later, as on the real line.
class PacedWriter {
public:
    explicit PacedWriter(bool pace) : pace_(pace) {}

    // `bytes` must not be empty.
    void enqueue(std::uint64_t id, std::vector<std::uint8_t> bytes, Micros now);

    // The bytes of the oldest item that may be written at `now`.
    std::span<const std::uint8_t> writable(Micros now) const;

    // Records that `count` of those bytes were written; returns the item when it is complete.
    std::optional<WrittenItem> consume(std::size_t count, Micros now);

    // When more bytes become writable; none when the queue is empty.
    std::optional<Micros> next_wakeup(Micros now) const;

    bool empty() const { return items_.empty(); }

private:
    struct Item {
        std::uint64_t id;
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
        Micros first_byte{};
    };

    std::uint64_t slots_open(Micros now) const;
    Micros slot_time(std::uint64_t index) const;

    bool pace_;
    std::deque<Item> items_;
    Micros origin_{};
    std::uint64_t sent_since_origin_ = 0;
};

}  // namespace tavel::sim
