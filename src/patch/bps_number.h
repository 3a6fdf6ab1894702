#pragma once

#include <cstdint>
#include <vector>

// The BPS variable-length number: 7 bits a byte, least significant first,
// bit 7 set on the last byte, and one subtracted per continuation so that
// every value has a single encoding. 2^64 - 1 takes ten bytes.
template <class ByteVector> void appendBpsNumber(ByteVector& out, std::uint64_t value) {
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

// How many bytes appendBpsNumber writes for the value.
constexpr std::uint64_t bpsNumberLength(std::uint64_t value) {
    std::uint64_t length = 1;
    while ((value >>= 7) != 0) {
        --value;
        ++length;
    }
    return length;
}

// A command word: the length less one, shifted past the two action bits.
constexpr std::uint64_t bpsCommandWord(std::uint64_t action, std::uint64_t length) {
    return (length - 1) << 2 | action;
}

// The relative offset change of a copy: magnitude shifted past the sign bit.
constexpr std::uint64_t bpsSignedWord(std::int64_t delta) {
    const bool negative = delta < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(delta) : static_cast<std::uint64_t>(delta);
    return magnitude << 1 | (negative ? 1u : 0u);
}
