#include "core/cp1251.hpp"

#include <algorithm>
#include <optional>

namespace tavel::sim {
namespace {

constexpr std::uint8_t kUnmappable = '?';

struct Decoded {
    char32_t code_point;
    std::size_t length;
};

std::optional<Decoded> decode_utf8(std::string_view text, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    if (lead < 0x80) {
        return Decoded{lead, 1};
    }
    if ((lead & 0xE0) != 0xC0 || at + 1 >= text.size()) {
        return std::nullopt;
    }
    const auto trail = static_cast<std::uint8_t>(text[at + 1]);
    if ((trail & 0xC0) != 0x80) {
        return std::nullopt;
    }
    return Decoded{static_cast<char32_t>((lead & 0x1F) << 6 | (trail & 0x3F)), 2};
}

std::uint8_t encode_code_point(char32_t code_point) {
    if (code_point < 0x80) {
        return static_cast<std::uint8_t>(code_point);
    }
    if (code_point >= U'А' && code_point <= U'я') {
        return static_cast<std::uint8_t>(0xC0 + (code_point - U'А'));
    }
    if (code_point == U'Ё') {
        return 0xA8;
    }
    if (code_point == U'ё') {
        return 0xB8;
    }
    return kUnmappable;
}

std::size_t skip_sequence(std::string_view text, std::size_t at) {
    std::size_t next = at + 1;
    while (next < text.size() && (static_cast<std::uint8_t>(text[next]) & 0xC0) == 0x80) {
        ++next;
    }
    return next;
}

}  // namespace

std::vector<std::uint8_t> to_cp1251(std::string_view utf8) {
    std::vector<std::uint8_t> encoded;
    std::size_t at = 0;
    while (at < utf8.size()) {
        if (const auto decoded = decode_utf8(utf8, at)) {
            encoded.push_back(encode_code_point(decoded->code_point));
            at += decoded->length;
        } else {
            encoded.push_back(kUnmappable);
            at = skip_sequence(utf8, at);
        }
    }
    return encoded;
}

Payload text_payload(std::string_view utf8) {
    const std::vector<std::uint8_t> encoded = to_cp1251(utf8);
    Payload payload{};
    std::copy_n(encoded.begin(), std::min(encoded.size(), kPayloadSize - 1), payload.begin());
    return payload;
}

}  // namespace tavel::sim
