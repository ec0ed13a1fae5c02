#pragma once

#include "app/sys_error.hpp"
#include "app/unique_fd.hpp"

#include <string>
#include <variant>

namespace tavel::sim {

struct Line {
    UniqueFd io;  // the pseudo-terminal's master, or the serial device
    // Our own descriptor on the pseudo-terminal's slave: as long as it is open, the tool
    // opening and closing the slave never hangs up the master.
    UniqueFd slave;
    std::string path;  // what the tool opens

    bool is_pty() const { return static_cast<bool>(slave); }
};

std::variant<Line, SysError> open_pty();
std::variant<Line, SysError> open_device(const std::string& path);

// Input that nobody has read from the pseudo-terminal is thrown away once it exceeds
// `limit` bytes; returns how many bytes were thrown away.
std::size_t discard_unread_input(const Line& line, std::size_t limit);

}  // namespace tavel::sim
