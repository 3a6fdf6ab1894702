#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Multi-byte fields, read and written byte by byte in their format's order,
// so that nothing depends on the machine's. width is 1 to 8 bytes; the
// caller has checked that [at, at + width) lies inside the bytes.

inline std::uint64_t readLE(std::span<const std::uint8_t> bytes, std::size_t at,
                            std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = width; i-- > 0;) {
        value = value << 8 | bytes[at + i];
    }
    return value;
}

inline std::uint64_t readBE(std::span<const std::uint8_t> bytes, std::size_t at,
                            std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = value << 8 | bytes[at + i];
    }
    return value;
}

inline std::uint16_t readLE16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(readLE(bytes, at, 2));
}
inline std::uint32_t readLE32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(readLE(bytes, at, 4));
}
inline std::uint16_t readBE16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(readBE(bytes, at, 2));
}
inline std::uint32_t readBE32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(readBE(bytes, at, 4));
}

inline void putLE(std::span<std::uint8_t> bytes, std::size_t at, std::uint64_t value,
                  std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline void putBE(std::span<std::uint8_t> bytes, std::size_t at, std::uint64_t value,
                  std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
    }
}

template <class ByteVector> void appendLE(ByteVector& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

template <class ByteVector> void appendBE(ByteVector& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = width; i-- > 0;) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}
