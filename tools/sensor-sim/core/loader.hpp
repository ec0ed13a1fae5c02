#pragma once

#include "core/clock_settings.hpp"
#include "core/faults.hpp"
#include "core/framer.hpp"
#include "core/frames.hpp"
#include "core/image_assembler.hpp"
#include "core/line_timing.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace tavel::sim {

struct LoaderConfig {
    bool pace = false;
    Micros turnaround{0};
    bool echo = false;
    Micros announce{std::chrono::seconds{1}};  // 0: no announcements
    Micros rerequest{0};                       // 0: never re-request
    bool ask_stay = false;
    std::optional<std::size_t> image_size;
    bool exit_after_q = false;
};

// After this many re-requests in a row without a good frame the loader stops asking.
inline constexpr int kMaxRerequests = 20;

enum class RxStatus { Ok, Ignored, Incomplete, BadStart, BadChecksum, NonZeroReserved, NonZeroTrailer };

std::string_view to_string(RxStatus status);

struct EchoBytes {
    std::vector<std::uint8_t> bytes;
};

struct FrameReceived {
    std::vector<std::uint8_t> raw;
    Micros first_byte{};
    Micros last_byte{};
    RxStatus status = RxStatus::Ok;
    std::string note;
};

struct Transmission {
    char code = 0;
    ResponseBytes frame{};
    std::vector<std::uint8_t> noise;  // stray bytes sent before the frame
    std::vector<std::uint8_t> wire;   // what goes out of the frame after stall and drop faults
    std::vector<std::string> faults;
};

struct SaveImage {
    std::vector<std::uint8_t> bytes;
    std::size_t blocks = 0;
    std::size_t missing_blocks = 0;
};

struct Exit {};

using Event = std::variant<EchoBytes, FrameReceived, Transmission, SaveImage, Exit>;
using Events = std::vector<Event>;

// The sensor's loader: takes the bytes from the tool with the time they arrived and
// decides what goes back and when. It does no I/O; the caller wakes it at next_deadline().
class Loader {
public:
    Loader(const LoaderConfig& config, const FaultInjector& faults);

    // 'b' with its text, then with ask_stay the 'Y' question: at start, and again
    // whenever the caller threw away a backlog that nobody had read.
    Events greet(Micros now);
    Events receive(std::span<const std::uint8_t> bytes, Micros now);
    Events tick(Micros now);

    std::optional<Micros> next_deadline() const;
    bool in_loader() const { return in_loader_; }

private:
    struct PendingAnswer {
        std::optional<Command> command;  // none: the frame was faulty, answer 'R'
        Micros due;
    };

    void accept(const ReceivedFrame& frame, Events& out);
    Micros answer_time(const ReceivedFrame& frame) const;
    void answer(const Command& command, Micros now, Events& out);
    void answer_clock_settings(const Command& command, Micros now, Events& out);
    void answer_link_test(const Command& command, Micros now, Events& out);
    void answer_upload_complete(Micros now, Events& out);
    void leave_loader();
    void release_due_answers(Micros now, Events& out);
    void rerequest_if_stalled(Micros now, Events& out);
    void announce_if_idle(Micros now, Events& out);
    void send(char code, const Payload& payload, Micros now, Events& out);
    void send_frame(char code, const ResponseBytes& frame, std::vector<std::string> faults, Micros now,
                    Events& out);
    bool idle() const;
    std::optional<Micros> rerequest_deadline() const;

    LoaderConfig config_;
    FaultInjector faults_;
    CommandFramer framer_;
    ClockSettings clock_ = ClockSettings::defaults();
    ImageAssembler image_;
    std::deque<PendingAnswer> pending_;
    bool in_loader_ = true;
    bool awaiting_stay_ = false;
    std::optional<Micros> awaiting_since_;
    int rerequests_in_a_row_ = 0;
    Micros next_announce_{};
};

}  // namespace tavel::sim
