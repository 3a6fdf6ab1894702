#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "hash/digests.h"

// The footer BPS and UPS share: the CRC-32 of the source, of the target and
// of the patch before this last value, each little-endian.
constexpr std::uint64_t crcFooterSize = 12;

inline std::uint32_t readLittleEndian32(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    std::uint32_t value = 0;
    for (std::uint64_t i = 4; i-- > 0;) {
        value = value << 8 | bytes[static_cast<std::size_t>(at + i)];
    }
    return value;
}

template <class ByteVector> void appendLittleEndian32(ByteVector& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

template <class ByteVector>
void appendCrcFooter(ByteVector& patch, std::uint32_t sourceCrc, std::uint32_t targetCrc) {
    appendLittleEndian32(patch, sourceCrc);
    appendLittleEndian32(patch, targetCrc);
    appendLittleEndian32(patch, crc32(patch));
}
