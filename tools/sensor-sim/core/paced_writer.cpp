#include "core/paced_writer.hpp"

#include <algorithm>
#include <utility>

namespace tavel::sim {
namespace {

constexpr std::int64_t kMicrosPerSecond = 1'000'000;

}  // namespace

void PacedWriter::enqueue(std::uint64_t id, std::vector<std::uint8_t> bytes, Micros now) {
    if (items_.empty() && slot_time(sent_since_origin_) <= now) {
        origin_ = now;
        sent_since_origin_ = 0;
    }
    items_.push_back({id, std::move(bytes)});
}

std::span<const std::uint8_t> PacedWriter::writable(Micros now) const {
    if (items_.empty()) {
        return {};
    }
    const Item& head = items_.front();
    const std::span<const std::uint8_t> remaining = std::span{head.bytes}.subspan(head.sent);
    if (!pace_) {
        return remaining;
    }
    const std::uint64_t open = slots_open(now);
    const std::uint64_t allowed = open > sent_since_origin_ ? open - sent_since_origin_ : 0;
    return remaining.first(static_cast<std::size_t>(std::min<std::uint64_t>(allowed, remaining.size())));
}

std::optional<WrittenItem> PacedWriter::consume(std::size_t count, Micros now) {
    Item& head = items_.front();
    if (head.sent == 0) {
        head.first_byte = now;
    }
    head.sent += count;
    sent_since_origin_ += count;
    if (head.sent < head.bytes.size()) {
        return std::nullopt;
    }
    const WrittenItem done{head.id, head.first_byte, now};
    items_.pop_front();
    return done;
}

std::optional<Micros> PacedWriter::next_wakeup(Micros now) const {
    if (items_.empty()) {
        return std::nullopt;
    }
    if (!pace_) {
        return now;
    }
    return std::max(now, slot_time(sent_since_origin_));
}

std::uint64_t PacedWriter::slots_open(Micros now) const {
    if (now < origin_) {
        return 0;
    }
    const auto elapsed = static_cast<std::uint64_t>((now - origin_).count());
    return elapsed * kBaud / (kBitsPerByte * kMicrosPerSecond) + 1;
}

Micros PacedWriter::slot_time(std::uint64_t index) const {
    const std::uint64_t per_second = static_cast<std::uint64_t>(kBaud);
    const std::uint64_t scaled = index * static_cast<std::uint64_t>(kBitsPerByte * kMicrosPerSecond);
    return origin_ + Micros{static_cast<std::int64_t>((scaled + per_second - 1) / per_second)};
}

}  // namespace tavel::sim
