#pragma once

#include "app/report.hpp"
#include "app/serial_line.hpp"
#include "app/sys_error.hpp"
#include "core/loader.hpp"
#include "core/options.hpp"
#include "core/paced_writer.hpp"

#include <ctime>
#include <cstdint>
#include <map>
#include <optional>

namespace tavel::sim {

// The event loop: moves bytes between the line and the loader, wakes the loader at its
// deadlines, paces the output and stops on a signal from `signal_fd`.
class Simulator {
public:
    Simulator(const Options& options, Line line, Loader loader, Reporter& reporter);

    int run(int signal_fd);

private:
    void handle(Events events);
    void handle_event(EchoBytes& echo);
    void handle_event(FrameReceived& frame);
    void handle_event(Transmission& tx);
    void handle_event(SaveImage& image);
    void handle_event(Exit&);

    std::optional<SysError> read_line();
    std::optional<SysError> flush();
    void finish(const WrittenItem& written);
    std::optional<timespec> poll_timeout(Micros now) const;

    const Options& options_;
    Line line_;
    Loader loader_;
    Reporter& reporter_;
    PacedWriter writer_;
    std::map<std::uint64_t, Transmission> in_flight_;
    std::uint64_t next_id_ = 1;
    bool write_blocked_ = false;
    bool exit_requested_ = false;
    int exit_code_ = 0;
};

}  // namespace tavel::sim
