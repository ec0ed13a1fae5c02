#pragma once

#include "core/frames.hpp"

#include <string>

namespace tavel::sim {

// A short account of a command for the log. It also flags a Number or Length that
// the tool is never meant to send with that code, so that such a fault shows up.
std::string describe(const Command& command);

}  // namespace tavel::sim
