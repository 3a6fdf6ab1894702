#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/byte_order.h"
#include "base/bytes.h"
#include "patch/forms.h"

// IPS: "PATCH", records up to "EOF", and the size of a shorter target after
// it. Record fields are big-endian: a 3-byte target offset and a 2-byte length;
// a run-length record has length 0, then a 2-byte run length and the value.
namespace ips {

constexpr std::array<std::uint8_t, 5> magic{'P', 'A', 'T', 'C', 'H'};
constexpr std::string_view name = "IPS";
constexpr std::array<std::uint8_t, 3> endMarker{'E', 'O', 'F'};
// Creators write the size of a shorter target in three bytes after "EOF".
constexpr std::size_t truncationSizeLength = 3;
constexpr std::size_t recordHeaderSize = 5;
constexpr std::size_t runRecordSize = 8;
constexpr std::size_t largestRecord = 0xFFFF;
// The offset an applier would read as the "EOF" marker.
constexpr std::size_t endMarkerOffset = 0x454F46;
// Offsets and the truncation size are 24-bit.
constexpr std::size_t offsetLimit = std::size_t{1} << 24;

template <class ByteVector>
void appendRecordHeader(ByteVector& out, std::uint32_t offset, std::uint16_t length) {
    appendBE(out, offset, 3);
    appendBE(out, length, 2);
}

template <class ByteVector>
void appendRun(ByteVector& out, std::uint32_t offset, std::uint16_t length, std::uint8_t value) {
    appendRecordHeader(out, offset, 0);
    appendBE(out, length, 2);
    out.push_back(value);
}

inline std::size_t readField(std::span<const std::uint8_t> patch, std::size_t at,
                             std::size_t width) {
    return static_cast<std::size_t>(readBE(patch, at, width));
}

// One record as the patch holds it.
struct Record {
    std::size_t offset = 0;
    std::size_t length = 0; // bytes written: the data's length, or a run's
    bool run = false;
    std::uint8_t value = 0;             // a run's fill byte
    std::span<const std::uint8_t> data; // a data record's bytes
};

// How the records ended. Complete at "EOF" (truncatesTo set when exactly
// three bytes follow it and end the patch) or right after a record that ends
// the patch; otherwise at is where the record that runs out, or that the
// reader refused, begins.
struct RecordsEnd {
    bool complete = false;
    std::size_t at = 0;
    std::optional<std::size_t> truncatesTo;
};

// Reads the records of a patch that starts with the magic, in order, the way
// every IPS applier does: "EOF" is tested before a record (so no record can
// start at offset 0x454F46), and a patch may end right after its last record.
// take receives each complete record and returns false to stop there.
template <class Take> RecordsEnd readRecords(std::span<const std::uint8_t> patch, Take&& take) {
    const std::size_t size = patch.size();
    std::size_t p = magic.size();
    for (;;) {
        if (endMarker.size() <= size - p &&
            std::equal(endMarker.begin(), endMarker.end(),
                       patch.begin() + static_cast<std::ptrdiff_t>(p))) {
            const std::size_t after = p + endMarker.size();
            RecordsEnd end{true, p, std::nullopt};
            if (size - after == truncationSizeLength) {
                end.truncatesTo = readField(patch, after, truncationSizeLength);
            }
            return end;
        }
        if (size - p < recordHeaderSize) {
            return {false, p, std::nullopt};
        }
        Record record;
        record.offset = readField(patch, p, 3);
        const std::size_t length = readField(patch, p + 3, 2);
        std::size_t next = 0;
        if (length != 0) {
            if (length > size - p - recordHeaderSize) {
                return {false, p, std::nullopt};
            }
            record.length = length;
            record.data = patch.subspan(p + recordHeaderSize, length);
            next = p + recordHeaderSize + length;
        } else {
            if (size - p < runRecordSize) {
                return {false, p, std::nullopt};
            }
            record.run = true;
            record.length = readField(patch, p + 5, 2);
            record.value = patch[p + 7];
            next = p + runRecordSize;
        }
        if (!take(record)) {
            return {false, p, std::nullopt};
        }
        p = next;
        if (p >= size) {
            return {true, p, std::nullopt};
        }
    }
}

// What the patch says about itself, read the way the patcher reads it.
struct Summary {
    std::uint64_t records = 0;    // complete records, run-length ones included
    std::uint64_t runRecords = 0; // of which run-length
    std::uint64_t writesUpTo = 0; // the largest offset + length of any record
    std::optional<std::uint64_t> truncatesTo;
    // Where the record that runs out of patch begins; nullopt when well-formed.
    std::optional<std::uint64_t> cutOffAt;
};

Summary describe(std::span<const std::uint8_t> patch);
// Not cut off.
bool wellFormed(const Summary& summary);
// An IPS patch carries nothing to check a ROM against: NotChecked.
SourceMatch match(const Summary& summary, std::span<const std::uint8_t> patch, RomForms& rom);
// The ROM as it is, patched; Damaged for a malformed patch.
ApplyResult applyChecked(const Summary& summary, std::span<const std::uint8_t> patch,
                         RomForms& rom);

// Applies the records to any image, an empty one included (records then
// build it). False for a malformed patch; the image may then hold part of
// the records and must be discarded.
bool apply(Bytes& image, std::span<const std::uint8_t> patch);
// The same, refusing an empty image, as the --patch command does.
bool applyToRom(Bytes& image, std::span<const std::uint8_t> patch);

// Makes an IPS patch that turns the original into the modified image: the
// cheapest records in offset order, "EOF", and the modified size when it is
// the shorter. nullopt for an empty input, or when a byte to be written lies
// at or past 16 MiB, or a shorter modified image is 16 MiB or longer (IPS
// numbers are 24-bit).
std::optional<Bytes> create(std::span<const std::uint8_t> original,
                            std::span<const std::uint8_t> modified);

} // namespace ips
