#include "core/cp1251.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tavel::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Cp1251, EncodesTheGreeting) {
    const Bytes expected{0xC7, 0xE0, 0xE3, 0xF0, 0xF3, 0xE7, 0xF7, 0xE8, 0xEA, 0x20, 0x54,
                         0x61, 0x76, 0x65, 0x6C, 0x20, 0xE3, 0xEE, 0xF2, 0xEE, 0xE2};
    EXPECT_EQ(to_cp1251("Загрузчик Tavel готов"), expected);
}

TEST(Cp1251, EncodesTheEdgesOfTheAlphabet) {
    EXPECT_EQ(to_cp1251("АЯаяЁё"), (Bytes{0xC0, 0xDF, 0xE0, 0xFF, 0xA8, 0xB8}));
}

TEST(Cp1251, ReplacesWhatItCannotEncode) {
    EXPECT_EQ(to_cp1251("a€b"), (Bytes{'a', '?', 'b'}));
    EXPECT_EQ(to_cp1251("a\xD0"), (Bytes{'a', '?'}));
}

TEST(Cp1251, PayloadTextIsCutToLeaveItsTerminator) {
    const Payload payload = text_payload(std::string(70, 'x'));
    EXPECT_EQ(payload[60], 'x');
    EXPECT_EQ(payload[61], 0);
}

}  // namespace
}  // namespace tavel::sim
