#include "core/framer.hpp"

namespace tavel::sim {

std::vector<ReceivedFrame> CommandFramer::push(std::span<const std::uint8_t> bytes, Micros now) {
    for (const std::uint8_t byte : bytes) {
        if (!pending_.empty() || byte == kCommandStart) {
            pending_.push_back({byte, now});
        }
    }
    std::vector<ReceivedFrame> frames;
    while (pending_.size() >= kCommandFrameSize) {
        frames.push_back(take_candidate());
    }
    return frames;
}

PartialFrame CommandFramer::take_partial() {
    PartialFrame partial;
    partial.first_byte = pending_.front().at;
    partial.last_byte = pending_.back().at;
    for (const StampedByte& byte : pending_) {
        partial.bytes.push_back(byte.value);
    }
    pending_.clear();
    return partial;
}

void CommandFramer::drop_until_start() {
    while (!pending_.empty() && pending_.front().value != kCommandStart) {
        pending_.pop_front();
    }
}

ReceivedFrame CommandFramer::take_candidate() {
    ReceivedFrame frame;
    for (std::size_t i = 0; i < kCommandFrameSize; ++i) {
        frame.bytes[i] = pending_[i].value;
    }
    frame.first_byte = pending_.front().at;
    frame.last_byte = pending_[kCommandFrameSize - 1].at;
    frame.decoded = decode_command(frame.bytes);
    if (std::holds_alternative<Command>(frame.decoded)) {
        pending_.erase(pending_.begin(), pending_.begin() + kCommandFrameSize);
    } else {
        pending_.pop_front();
        drop_until_start();
    }
    return frame;
}

}  // namespace tavel::sim
