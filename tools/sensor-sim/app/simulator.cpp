#include "app/simulator.hpp"

#include "app/unique_fd.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <span>
#include <utility>

namespace tavel::sim {
namespace {

constexpr std::uint64_t kUntracked = 0;
// A pseudo-terminal that nobody reads fills up; older announcements are worth nothing.
constexpr std::size_t kUnreadLimit = 2048;

Micros monotonic_now() {
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now().time_since_epoch());
}

std::optional<SysError> write_file(const std::string& path, std::span<const std::uint8_t> bytes) {
    const UniqueFd file{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
    if (!file) {
        return errno_error("open " + path);
    }
    while (!bytes.empty()) {
        const ssize_t written = ::write(file.get(), bytes.data(), bytes.size());
        if (written < 0) {
            SysError error = errno_error("write " + path);
            if (error.code == EINTR) {
                continue;
            }
            return error;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return std::nullopt;
}

std::string signal_name(int signal_fd) {
    signalfd_siginfo info{};
    if (::read(signal_fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) {
        return "a signal";
    }
    return ::strsignal(static_cast<int>(info.ssi_signo));
}

}  // namespace

Simulator::Simulator(const Options& options, Line line, Loader loader, Reporter& reporter)
    : options_(options),
      line_(std::move(line)),
      loader_(std::move(loader)),
      reporter_(reporter),
      writer_(options.pace) {}

int Simulator::run(int signal_fd) {
    handle(loader_.greet(monotonic_now()));
    while (true) {
        handle(loader_.tick(monotonic_now()));
        if (auto error = flush()) {
            reporter_.note(error->message());
            return 1;
        }
        if (exit_requested_ && writer_.empty()) {
            return exit_code_;
        }
        const short line_events = static_cast<short>(POLLIN | (write_blocked_ ? POLLOUT : 0));
        std::array<pollfd, 2> fds{{{line_.io.get(), line_events, 0}, {signal_fd, POLLIN, 0}}};
        const std::optional<timespec> timeout = poll_timeout(monotonic_now());
        if (::ppoll(fds.data(), fds.size(), timeout ? &*timeout : nullptr, nullptr) < 0) {
            const SysError error = errno_error("ppoll");
            if (error.code == EINTR) {
                continue;
            }
            reporter_.note(error.message());
            return 1;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            reporter_.note("stopped by " + signal_name(signal_fd));
            return 0;
        }
        if ((fds[0].revents & POLLOUT) != 0) {
            write_blocked_ = false;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            if (auto error = read_line()) {
                reporter_.note(error->message());
                return 1;
            }
        } else if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            reporter_.note("the line " + line_.path + " hung up");
            return 1;
        }
    }
}

void Simulator::handle(Events events) {
    for (Event& event : events) {
        std::visit([this](auto& item) { handle_event(item); }, event);
    }
}

void Simulator::handle_event(EchoBytes& echo) {
    writer_.enqueue(kUntracked, std::move(echo.bytes), monotonic_now());
}

void Simulator::handle_event(FrameReceived& frame) {
    reporter_.received(frame);
}

void Simulator::handle_event(Transmission& tx) {
    const Micros now = monotonic_now();
    if (const std::size_t discarded = discard_unread_input(line_, kUnreadLimit); discarded > 0) {
        reporter_.note("discarded " + std::to_string(discarded) + " bytes that nobody read");
        handle(loader_.greet(now));
    }
    if (!tx.noise.empty()) {
        writer_.enqueue(kUntracked, tx.noise, now);
    }
    if (tx.wire.empty()) {
        reporter_.sent(tx, WrittenItem{kUntracked, now, now});
        return;
    }
    const std::uint64_t id = next_id_++;
    writer_.enqueue(id, tx.wire, now);
    in_flight_.emplace(id, std::move(tx));
}

void Simulator::handle_event(SaveImage& image) {
    reporter_.note("image complete: " + std::to_string(image.bytes.size()) + " bytes from " +
                   std::to_string(image.blocks) + " blocks, " + std::to_string(image.missing_blocks) + " missing");
    if (!options_.image_out) {
        return;
    }
    if (auto error = write_file(*options_.image_out, image.bytes)) {
        reporter_.note(error->message());
        exit_code_ = 1;
        return;
    }
    reporter_.note("image written to " + *options_.image_out);
}

void Simulator::handle_event(Exit&) {
    exit_requested_ = true;
}

std::optional<SysError> Simulator::read_line() {
    std::array<std::uint8_t, 4096> buffer{};
    const ssize_t count = ::read(line_.io.get(), buffer.data(), buffer.size());
    if (count < 0) {
        SysError error = errno_error("read " + line_.path);
        if (error.code == EAGAIN || error.code == EINTR) {
            return std::nullopt;
        }
        return error;
    }
    if (count == 0) {
        return SysError{"read " + line_.path, EIO};
    }
    const std::span<const std::uint8_t> bytes{buffer.data(), static_cast<std::size_t>(count)};
    handle(loader_.receive(bytes, monotonic_now()));
    return std::nullopt;
}

std::optional<SysError> Simulator::flush() {
    while (!write_blocked_) {
        const std::span<const std::uint8_t> bytes = writer_.writable(monotonic_now());
        if (bytes.empty()) {
            return std::nullopt;
        }
        const ssize_t written = ::write(line_.io.get(), bytes.data(), bytes.size());
        if (written < 0) {
            SysError error = errno_error("write " + line_.path);
            if (error.code == EAGAIN) {
                write_blocked_ = true;
            } else if (error.code != EINTR) {
                return error;
            }
            continue;
        }
        if (auto done = writer_.consume(static_cast<std::size_t>(written), monotonic_now())) {
            finish(*done);
        }
    }
    return std::nullopt;
}

void Simulator::finish(const WrittenItem& written) {
    const auto found = in_flight_.find(written.id);
    if (found == in_flight_.end()) {
        return;
    }
    reporter_.sent(found->second, written);
    in_flight_.erase(found);
}

std::optional<timespec> Simulator::poll_timeout(Micros now) const {
    std::optional<Micros> wakeup = loader_.next_deadline();
    if (!write_blocked_) {
        if (const auto writer_wakeup = writer_.next_wakeup(now)) {
            wakeup = wakeup ? std::min(*wakeup, *writer_wakeup) : *writer_wakeup;
        }
    }
    if (!wakeup) {
        return std::nullopt;
    }
    const Micros wait = std::max(*wakeup - now, Micros{0});
    return timespec{static_cast<time_t>(wait.count() / 1'000'000), static_cast<long>(wait.count() % 1'000'000 * 1000)};
}

}  // namespace tavel::sim
