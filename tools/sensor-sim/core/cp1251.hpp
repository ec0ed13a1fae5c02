#pragma once

#include "core/frames.hpp"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavel::sim {

// UTF-8 to Windows-1251 for ASCII and the Russian alphabet; anything else becomes '?'.
std::vector<std::uint8_t> to_cp1251(std::string_view utf8);

// The text in CP1251, NUL-terminated, cut to fit the payload.
Payload text_payload(std::string_view utf8);

}  // namespace tavel::sim
