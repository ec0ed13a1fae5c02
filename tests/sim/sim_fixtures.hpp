#pragma once

#include "core/loader.hpp"

#include <array>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace tavel::sim::fixtures {

using Frame = std::array<std::uint8_t, 140>;

// Built here byte by byte, so that a fault in the simulator's own codec cannot cancel out.
inline Frame command_frame(char code, std::uint16_t number, std::uint16_t length,
                           std::span<const std::uint8_t> data = {}) {
    Frame frame{};
    frame[0] = '*';
    frame[1] = static_cast<std::uint8_t>(code);
    frame[2] = static_cast<std::uint8_t>(number & 0xFF);
    frame[3] = static_cast<std::uint8_t>(number >> 8);
    frame[4] = static_cast<std::uint8_t>(length & 0xFF);
    frame[5] = static_cast<std::uint8_t>(length >> 8);
    for (std::size_t i = 0; i < data.size() && i < 128; ++i) {
        frame[8 + i] = data[i];
    }
    unsigned sum = 0;
    for (std::size_t i = 1; i <= 134; ++i) {
        sum += frame[i];
    }
    frame[136] = static_cast<std::uint8_t>(sum & 0xFF);
    frame[137] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
    return frame;
}

// Table cases show up by name in test listings (pull in with `using fixtures::PrintTo;`).
template <typename Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

inline std::vector<std::uint8_t> bytes_of(std::string_view text) {
    return {text.begin(), text.end()};
}

inline std::vector<Transmission> transmissions(const Events& events) {
    std::vector<Transmission> found;
    for (const Event& event : events) {
        if (const auto* tx = std::get_if<Transmission>(&event)) {
            found.push_back(*tx);
        }
    }
    return found;
}

inline std::string codes(const Events& events) {
    std::string found;
    for (const Transmission& tx : transmissions(events)) {
        found += tx.code;
    }
    return found;
}

template <typename T>
std::vector<T> events_of(const Events& events) {
    std::vector<T> found;
    for (const Event& event : events) {
        if (const auto* item = std::get_if<T>(&event)) {
            found.push_back(*item);
        }
    }
    return found;
}

inline unsigned expected_payload_sum(std::span<const std::uint8_t> frame) {
    unsigned sum = 0x55;
    for (std::size_t i = 6; i < 68; ++i) {
        sum += frame[i];
    }
    return sum & 0xFFFF;
}

inline unsigned payload_sum_field(std::span<const std::uint8_t> frame) {
    return static_cast<unsigned>(frame[68]) << 8 | frame[69];
}

inline LoaderConfig quiet_config() {
    LoaderConfig config;
    config.announce = Micros{0};
    return config;
}

// Drives a loader with fake time: every call delivers bytes or advances the clock,
// then lets the loader act at that moment.
class LoaderDriver {
public:
    explicit LoaderDriver(const LoaderConfig& config = quiet_config(), const FaultPlan& faults = {},
                          std::uint32_t seed = 1)
        : loader_(config, FaultInjector{faults, seed}) {}

    Events greet() { return loader_.greet(now_); }

    Events send(std::span<const std::uint8_t> bytes) {
        Events events = loader_.receive(bytes, now_);
        Events later = loader_.tick(now_);
        events.insert(events.end(), later.begin(), later.end());
        return events;
    }

    Events advance(Micros by) {
        now_ += by;
        return loader_.tick(now_);
    }

    // Advances in steps of `step` up to `total`, collecting everything that happened.
    Events run_for(Micros total, Micros step = Micros{1000}) {
        Events events;
        for (Micros spent{0}; spent < total; spent += step) {
            Events more = advance(step);
            events.insert(events.end(), more.begin(), more.end());
        }
        return events;
    }

    Micros now() const { return now_; }
    Loader& loader() { return loader_; }

private:
    Loader loader_;
    Micros now_{1'000'000};
};

}  // namespace tavel::sim::fixtures
