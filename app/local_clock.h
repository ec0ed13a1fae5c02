#pragma once

#include <ctime>

namespace tavel {

// The local calendar time, broken down, in whole seconds.
std::tm LocalClockNow();

}  // namespace tavel
