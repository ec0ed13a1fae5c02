#include "core/loader.hpp"

#include "core/commands.hpp"
#include "core/cp1251.hpp"
#include "core/wire.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

namespace tavel::sim {
namespace {

constexpr std::string_view kGreeting = "Загрузчик Tavel готов";
constexpr std::string_view kStayQuestion = "Остаться в режиме загрузчика?";
constexpr std::size_t kStallAfter = kResponseFrameSize / 2;
constexpr std::size_t kSettingsBytes = 5;
constexpr std::size_t kDeviceIdBytes = 2;
constexpr std::size_t kExtendedParamBytes = 24;

bool awaits_next_frame(char code) {
    return code == 'G' || code == 'N' || code == 'T' || code == 'R';
}

Payload prefix_payload(const CommandData& data, std::size_t count) {
    Payload payload{};
    std::copy_n(data.begin(), count, payload.begin());
    return payload;
}

Payload number_payload(std::uint32_t value, std::size_t width) {
    Payload payload{};
    write_le(payload, 0, width, value);
    return payload;
}

RxStatus status_of(FrameFault fault) {
    switch (fault) {
        case FrameFault::BadStart: return RxStatus::BadStart;
        case FrameFault::BadChecksum: return RxStatus::BadChecksum;
        case FrameFault::NonZeroReserved: return RxStatus::NonZeroReserved;
        case FrameFault::NonZeroTrailer: return RxStatus::NonZeroTrailer;
    }
    return RxStatus::BadChecksum;
}

}  // namespace

std::string_view to_string(RxStatus status) {
    switch (status) {
        case RxStatus::Ok: return "ok";
        case RxStatus::Ignored: return "ignored, loader left";
        case RxStatus::Incomplete: return "incomplete";
        case RxStatus::BadStart: return to_string(FrameFault::BadStart);
        case RxStatus::BadChecksum: return to_string(FrameFault::BadChecksum);
        case RxStatus::NonZeroReserved: return to_string(FrameFault::NonZeroReserved);
        case RxStatus::NonZeroTrailer: return to_string(FrameFault::NonZeroTrailer);
    }
    return "unknown";
}

Loader::Loader(const LoaderConfig& config, const FaultInjector& faults) : config_(config), faults_(faults) {}

Events Loader::greet(Micros now) {
    Events out;
    send('b', text_payload(kGreeting), now, out);
    if (config_.ask_stay) {
        awaiting_stay_ = true;
        send('Y', text_payload(kStayQuestion), now, out);
    }
    return out;
}

Events Loader::receive(std::span<const std::uint8_t> bytes, Micros now) {
    Events out;
    if (config_.echo && !bytes.empty()) {
        out.push_back(EchoBytes{{bytes.begin(), bytes.end()}});
    }
    next_announce_ = std::max(next_announce_, now + config_.announce);
    for (const ReceivedFrame& frame : framer_.push(bytes, now)) {
        accept(frame, out);
    }
    return out;
}

Events Loader::tick(Micros now) {
    Events out;
    release_due_answers(now, out);
    rerequest_if_stalled(now, out);
    announce_if_idle(now, out);
    return out;
}

std::optional<Micros> Loader::next_deadline() const {
    std::optional<Micros> deadline = rerequest_deadline();
    const auto consider = [&deadline](Micros at) { deadline = deadline ? std::min(*deadline, at) : at; };
    if (!pending_.empty()) {
        consider(pending_.front().due);
    }
    if (in_loader_ && config_.announce > Micros{0}) {
        consider(next_announce_);
    }
    return deadline;
}

void Loader::accept(const ReceivedFrame& frame, Events& out) {
    FrameReceived event{{frame.bytes.begin(), frame.bytes.end()}, frame.first_byte, frame.last_byte, RxStatus::Ok, {}};
    awaiting_since_.reset();
    if (const auto* fault = std::get_if<FrameFault>(&frame.decoded)) {
        event.status = status_of(*fault);
        if (in_loader_) {
            pending_.push_back({std::nullopt, answer_time(frame)});
        }
    } else {
        const Command& command = std::get<Command>(frame.decoded);
        event.note = describe(command);
        rerequests_in_a_row_ = 0;
        if (in_loader_) {
            pending_.push_back({command, answer_time(frame)});
        } else {
            event.status = RxStatus::Ignored;
        }
    }
    out.push_back(std::move(event));
}

Micros Loader::answer_time(const ReceivedFrame& frame) const {
    const Micros arrived =
        config_.pace ? std::max(frame.last_byte, frame.first_byte + air_time(kCommandFrameSize)) : frame.last_byte;
    return arrived + config_.turnaround;
}

void Loader::answer(const Command& command, Micros now, Events& out) {
    if (command.code == 's') {
        awaiting_stay_ = false;
        return;
    }
    if (faults_.replace_with_repeat()) {
        send_frame('R', encode_response('R', Payload{}), {"repeat"}, now, out);
        return;
    }
    switch (command.code) {
        case 'p': send('P', prefix_payload(command.data, kSettingsBytes), now, out); break;
        case 'i': send('I', prefix_payload(command.data, kDeviceIdBytes), now, out); break;
        case 'j': answer_clock_settings(command, now, out); break;
        case 'z': send('Z', prefix_payload(command.data, kExtendedParamBytes), now, out); break;
        case 't': answer_link_test(command, now, out); break;
        case 'g':
            image_.reset();
            send('G', Payload{}, now, out);
            break;
        case 'n':
            image_.store(command.number, command.data);
            send('N', number_payload(command.number, 2), now, out);
            break;
        case 'q': answer_upload_complete(now, out); break;
        case 'x':
            send('O', Payload{}, now, out);
            leave_loader();
            break;
        default: send('F', Payload{}, now, out); break;
    }
}

void Loader::answer_clock_settings(const Command& command, Micros now, Events& out) {
    clock_.apply(std::span<const std::uint8_t, kClockRecordSize>{command.data.data(), kClockRecordSize});
    const ClockRecord record = clock_.encode();
    Payload payload{};
    std::copy(record.begin(), record.end(), payload.begin());
    send('J', payload, now, out);
}

void Loader::answer_link_test(const Command& command, Micros now, Events& out) {
    const Payload payload = prefix_payload(command.data, kPayloadSize);
    std::uint16_t sum = payload_checksum(payload);
    std::vector<std::string> faults;
    if (faults_.corrupt_sum()) {
        sum = static_cast<std::uint16_t>(~sum);
        faults.emplace_back("bad-sum");
    }
    send_frame('T', encode_response('T', payload, sum), std::move(faults), now, out);
}

void Loader::answer_upload_complete(Micros now, Events& out) {
    SaveImage save{image_.image(config_.image_size), image_.block_count(), image_.missing_blocks()};
    const auto size = static_cast<std::uint32_t>(save.bytes.size());
    out.push_back(std::move(save));
    send('Q', number_payload(size, 4), now, out);
    if (config_.exit_after_q) {
        out.push_back(Exit{});
    }
}

void Loader::leave_loader() {
    in_loader_ = false;
    pending_.clear();
    awaiting_since_.reset();
}

void Loader::release_due_answers(Micros now, Events& out) {
    while (!pending_.empty() && pending_.front().due <= now) {
        const PendingAnswer item = pending_.front();
        pending_.pop_front();
        if (item.command) {
            answer(*item.command, now, out);
        } else {
            send('R', Payload{}, now, out);
        }
    }
}

std::optional<Micros> Loader::rerequest_deadline() const {
    if (config_.rerequest <= Micros{0} || !in_loader_ || !pending_.empty()) {
        return std::nullopt;
    }
    if (framer_.has_partial()) {
        return framer_.partial_last_byte() + config_.rerequest;
    }
    if (awaiting_since_) {
        return *awaiting_since_ + config_.rerequest;
    }
    return std::nullopt;
}

void Loader::rerequest_if_stalled(Micros now, Events& out) {
    const std::optional<Micros> deadline = rerequest_deadline();
    if (!deadline || now < *deadline) {
        return;
    }
    if (framer_.has_partial()) {
        PartialFrame partial = framer_.take_partial();
        out.push_back(FrameReceived{std::move(partial.bytes), partial.first_byte, partial.last_byte,
                                    RxStatus::Incomplete, {}});
    }
    awaiting_since_.reset();
    if (rerequests_in_a_row_ < kMaxRerequests) {
        ++rerequests_in_a_row_;
        send('R', Payload{}, now, out);
    }
}

void Loader::announce_if_idle(Micros now, Events& out) {
    if (!in_loader_ || config_.announce <= Micros{0} || now < next_announce_) {
        return;
    }
    if (!idle()) {
        next_announce_ = now + config_.announce;
        return;
    }
    if (awaiting_stay_) {
        send('Y', text_payload(kStayQuestion), now, out);
    } else {
        send('B', Payload{}, now, out);
    }
}

bool Loader::idle() const {
    return pending_.empty() && !framer_.has_partial();
}

void Loader::send(char code, const Payload& payload, Micros now, Events& out) {
    send_frame(code, encode_response(code, payload), {}, now, out);
}

void Loader::send_frame(char code, const ResponseBytes& frame, std::vector<std::string> faults, Micros now,
                        Events& out) {
    Transmission tx{code, frame, faults_.noise(), {}, std::move(faults)};
    std::span<const std::uint8_t> wire{frame};
    if (faults_.stall(code)) {
        wire = wire.first(kStallAfter);
        tx.faults.emplace_back("stall");
    }
    tx.wire = faults_.drop(wire);
    if (const std::size_t dropped = wire.size() - tx.wire.size(); dropped > 0) {
        tx.faults.push_back("drop:" + std::to_string(dropped));
    }
    const Micros end = now + (config_.pace ? air_time(tx.noise.size() + tx.wire.size()) : Micros{0});
    next_announce_ = end + config_.announce;
    if (awaits_next_frame(code)) {
        awaiting_since_ = end;
    }
    out.push_back(std::move(tx));
}

}  // namespace tavel::sim
