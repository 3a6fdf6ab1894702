#include "scan/header_rules.h"

#include <algorithm>
#include <string_view>

#include "base/bytes.h"
#include "inspect/snes_header.h"

namespace {

using namespace std::string_view_literals;

// iNES: "NES" and the MS-DOS end-of-file byte, then 16 bytes of header; the
// 512-byte trainer that bit 2 of flags 6 announces follows it.
constexpr std::string_view inesMagic = "NES\x1A"sv;
constexpr std::uint64_t inesHeaderSize = 16;
constexpr std::uint64_t inesTrainerSize = 512;
constexpr std::size_t inesFlags6 = 6;
constexpr std::uint8_t inesTrainerFlag = 0x04;

constexpr std::string_view fdsMagic = "FDS\x1A"sv;
constexpr std::uint64_t fdsHeaderSize = 16;
constexpr std::string_view lynxMagic = "LYNX"sv;
constexpr std::uint64_t lynxHeaderSize = 64;
constexpr std::string_view atari7800Magic = "ATARI7800"sv;
constexpr std::size_t atari7800MagicOffset = 1;
constexpr std::string_view atari7800Text = "ACTUAL CART DATA STARTS HERE"sv;
constexpr std::size_t atari7800TextOffset = 0x64;
constexpr std::uint64_t atari7800HeaderSize = 128;

} // namespace

std::optional<std::uint64_t> catalogHeaderSize(const RomInfo& info,
                                               std::span<const std::uint8_t> image) {
    if (info.platform == RomPlatform::Snes && info.hasCopierHeader) {
        return copierHeaderSize;
    }
    if (info.platform == RomPlatform::Nes && image.size() > inesFlags6) {
        const bool trainer = (image[inesFlags6] & inesTrainerFlag) != 0;
        return inesHeaderSize + (trainer ? inesTrainerSize : 0);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> skipperHeaderSize(const RomInfo&,
                                               std::span<const std::uint8_t> image) {
    if (hasBytesAt(image, 0, inesMagic)) {
        return inesHeaderSize;
    }
    if (hasBytesAt(image, 0, fdsMagic)) {
        return fdsHeaderSize;
    }
    if (hasBytesAt(image, 0, lynxMagic)) {
        return lynxHeaderSize;
    }
    if (hasBytesAt(image, atari7800MagicOffset, atari7800Magic) &&
        hasBytesAt(image, atari7800TextOffset, atari7800Text)) {
        return atari7800HeaderSize;
    }
    if (image.size() > copierHeaderSize && hasCopierHeaderSize(image.size())) {
        return copierHeaderSize;
    }
    return std::nullopt;
}

HeaderRule headerRule(HeaderConvention convention) {
    return convention == HeaderConvention::Skippers ? skipperHeaderSize : catalogHeaderSize;
}
