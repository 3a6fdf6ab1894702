#pragma once

#include <cstddef>
#include <cstdint>

// IPS record fields, big-endian: a 3-byte target offset and a 2-byte length;
// a run-length record has length 0, then a 2-byte run length and the value.
namespace ips {

constexpr std::size_t recordHeaderSize = 5;
constexpr std::size_t runRecordSize = 8;
constexpr std::size_t largestRecord = 0xFFFF;
// The offset an applier would read as the "EOF" marker.
constexpr std::size_t endMarkerOffset = 0x454F46;
// Offsets and the truncation size are 24-bit.
constexpr std::size_t offsetLimit = std::size_t{1} << 24;

template <class ByteVector>
void appendBigEndian(ByteVector& out, std::uint32_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

template <class ByteVector>
void appendRecordHeader(ByteVector& out, std::uint32_t offset, std::uint16_t length) {
    appendBigEndian(out, offset, 3);
    appendBigEndian(out, length, 2);
}

template <class ByteVector>
void appendRun(ByteVector& out, std::uint32_t offset, std::uint16_t length, std::uint8_t value) {
    appendRecordHeader(out, offset, 0);
    appendBigEndian(out, length, 2);
    out.push_back(value);
}

} // namespace ips
