#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// What an inspection sees of an image: its first bytes, its true size and,
// where a header lies beyond them, one block read further in. bytes is the
// whole image, or at least the first bytes its platform's inspector reads
// (inspectionReads says how many); only the Super Nintendo ExHiROM header is
// read as a far block. Inspectors read only inside these bytes and take sizes
// from size.
struct ImageHead {
    std::span<const std::uint8_t> bytes;
    std::uint64_t size;
    std::span<const std::uint8_t> far{};
    std::uint64_t farOffset = 0;
};

// The length bytes of the image at offset, taken from the head or from the
// far block; empty unless one of them holds all of them.
std::span<const std::uint8_t> bytesAt(ImageHead image, std::uint64_t offset, std::size_t length);

// Every header the detection reads, and every header but two, lies in the
// first 64 KiB plus a 512-byte copier header (the Super Nintendo HiROM header
// behind one ends exactly there).
constexpr std::size_t inspectionWindow = 0x10000 + 512;

// What of an image its inspector reads: the first headLength bytes (never
// more than the image holds) and, when farLength is not 0, farLength bytes at
// farOffset. The Genesis checksum reads the whole image, the Nintendo 64
// checksums its first 0x101000 bytes, the Super Nintendo ExHiROM header and
// the bank its reset vector points into the 32 KiB at 0x408000 behind any
// copier header; all else lies in the window.
struct InspectionReads {
    std::uint64_t headLength;
    std::uint64_t farOffset;
    std::uint64_t farLength;
};
