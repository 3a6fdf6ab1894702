#include <algorithm>
#include <string_view>

#include "verify/verify.h"

namespace {

bool hasAt(std::span<const std::uint8_t> image, std::size_t offset, std::string_view mark) {
    return image.size() >= offset + mark.size() &&
           std::equal(mark.begin(), mark.end(), image.begin() + static_cast<std::ptrdiff_t>(offset),
                      [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; });
}

constexpr std::uint64_t inesHeader = 16;
constexpr std::uint64_t fdsHeader = 16;
constexpr std::uint64_t lynxHeader = 64;
constexpr std::uint64_t atari7800Header = 128;
constexpr std::uint64_t copierHeader = 512;
constexpr std::size_t atari7800TextOffset = 0x64;

} // namespace

std::optional<std::uint64_t> skipperHeaderSize(const RomInfo&, std::span<const std::uint8_t> image) {
    using namespace std::string_view_literals;
    if (hasAt(image, 0, "NES\x1A"sv)) {
        return inesHeader;
    }
    if (hasAt(image, 0, "FDS\x1A"sv)) {
        return fdsHeader;
    }
    if (hasAt(image, 0, "LYNX"sv)) {
        return lynxHeader;
    }
    if (hasAt(image, 1, "ATARI7800"sv) &&
        hasAt(image, atari7800TextOffset, "ACTUAL CART DATA STARTS HERE"sv)) {
        return atari7800Header;
    }
    if (image.size() > copierHeader && image.size() % 1024 == copierHeader) {
        return copierHeader;
    }
    return std::nullopt;
}
