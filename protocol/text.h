#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavel {

// The decimal value of a text: leading white space, one optional sign, then
// digits up to the first non-digit, accumulated in a wrapping signed 32-bit
// integer. No digits there gives 0.
std::int32_t DecimalValue(std::string_view text);

// Windows-1251 bytes to UTF-8, stopping at the first NUL or after `size` bytes.
std::string Cp1251ToUtf8(const std::uint8_t* bytes, std::size_t size);

}  // namespace tavel
