#include <gtest/gtest.h>

#include <string_view>

#include "hash/digests.h"

namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Crc32, StandardCheckValues) {
    EXPECT_EQ(crc32(bytesOf("")), 0x00000000u);
    EXPECT_EQ(crc32(bytesOf("123456789")), 0xCBF43926u);
    EXPECT_EQ(crc32(bytesOf("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
}

} // namespace
