#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace bps {

// The BPS variable-length number: 7 bits a byte, least significant first,
// bit 7 set on the last byte, and one subtracted per continuation so that
// every value has a single encoding. 2^64 - 1 takes ten bytes.
template <class ByteVector> void appendNumber(ByteVector& out, std::uint64_t value) {
    for (;;) {
        const auto low = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
        if (value == 0) {
            out.push_back(static_cast<std::uint8_t>(0x80 | low));
            return;
        }
        out.push_back(low);
        --value;
    }
}

// Reads one number at p that must end before limit and fit 64 bits, and
// moves p past it; nullopt for a number cut off or too large.
inline std::optional<std::uint64_t> readNumber(std::span<const std::uint8_t> bytes,
                                               std::uint64_t& p, std::uint64_t limit) {
    // A number of more than ten bytes cannot fit 64 bits.
    constexpr std::uint64_t longestNumber = 10;
    std::uint64_t value = 0;
    std::uint64_t shift = 1;
    for (std::uint64_t count = 0; count < longestNumber && p < limit && p < bytes.size(); ++count) {
        const std::uint8_t x = bytes[static_cast<std::size_t>(p++)];
        std::uint64_t part = 0;
        if (__builtin_mul_overflow(static_cast<std::uint64_t>(x & 0x7Fu), shift, &part) ||
            __builtin_add_overflow(value, part, &value)) {
            return std::nullopt;
        }
        if ((x & 0x80u) != 0) {
            return value;
        }
        if (__builtin_mul_overflow(shift, std::uint64_t{128}, &shift) ||
            __builtin_add_overflow(value, shift, &value)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// The patcher's lenient reading: a number cut off at the end of the bytes
// ends with the value gathered so far, and a value beyond 64 bits wraps.
inline std::uint64_t readNumberWrapping(std::span<const std::uint8_t> bytes, std::uint64_t& p) {
    std::uint64_t value = 0;
    std::uint64_t shift = 1;
    while (p < bytes.size()) {
        const std::uint8_t x = bytes[static_cast<std::size_t>(p++)];
        value += (x & 0x7Fu) * shift;
        if ((x & 0x80u) != 0) {
            break;
        }
        shift <<= 7;
        value += shift;
    }
    return value;
}

// How many bytes appendNumber writes for the value.
constexpr std::uint64_t numberLength(std::uint64_t value) {
    std::uint64_t length = 1;
    while ((value >>= 7) != 0) {
        --value;
        ++length;
    }
    return length;
}

// A command word: the length less one, shifted past the two action bits.
constexpr std::uint64_t commandWord(std::uint64_t action, std::uint64_t length) {
    return (length - 1) << 2 | action;
}

// The relative offset change of a copy: magnitude shifted past the sign bit.
constexpr std::uint64_t signedWord(std::int64_t delta) {
    const bool negative = delta < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(delta) : static_cast<std::uint64_t>(delta);
    return magnitude << 1 | (negative ? 1u : 0u);
}

} // namespace bps
