#pragma once

#include <cstdint>
#include <span>

#include "inspect/image_head.h"

// Backup copiers put 512 bytes in front of the cartridge data; such an image
// is a whole number of kilobytes plus 512 bytes long.
constexpr std::uint64_t copierHeaderSize = 512;
bool hasCopierHeaderSize(std::uint64_t size);

enum class SnesMapping { LoRom, HiRom, ExHiRom };

// Where a Super Nintendo internal header is taken to be. Its checksum
// complement and checksum follow at headerStart + 0x1C and + 0x1E.
struct SnesHeaderLocation {
    std::uint64_t base;        // 512 behind a copier header, else 0
    std::uint64_t headerStart; // base + the mapping's header offset
    SnesMapping mapping;
    // Whether the header's fields make it credible; an image without one
    // gets the position a bare pair test gives, and is not repaired.
    bool credible;
};

// Header offsets in the cartridge data (after any copier header).
constexpr std::uint64_t snesLoRomHeader = 0x7FC0;
constexpr std::uint64_t snesHiRomHeader = 0xFFC0;
constexpr std::uint64_t snesExHiRomHeader = 0x40FFC0;
// Fields relative to the header start.
constexpr std::uint64_t snesMapModeOffset = 0x15;
constexpr std::uint64_t snesComplementOffset = 0x1C;
constexpr std::uint64_t snesChecksumOffset = 0x1E;
constexpr std::uint64_t snesResetVectorOffset = 0x3C;
constexpr std::uint64_t snesHeaderLength = 0x20;
constexpr std::uint64_t snesHeaderBlockLength = 0x40; // the header and the vectors after it

// The header the console's software would take, as emulators weigh it: each
// candidate (LoROM, HiROM, ExHiROM) whose 64-byte block the cartridge data
// hold scores 4 for an agreeing complement/checksum pair, 2 for a map mode
// byte of its mapping, 1 for a reset vector into ROM (0x8000 or more), from
// +2 to -2 for the instruction that vector points at under the candidate's
// mapping (a likely first instruction of a program, or an unlikely one) and 1
// for a title of ASCII or katakana; the highest score wins, the earlier
// candidate on a tie. Below a score of 3 there is no credible header and the
// location is the bare pair test's: LoROM when its pair agrees or the data
// end before the HiROM pair, HiROM otherwise (its block possibly cut off).
// The header blocks are read through bytesAt, so a head that lacks one
// (a caller's mistake) counts it as absent.
SnesHeaderLocation locateSnesHeader(ImageHead image, bool copierHeader);

// What an inspection of an image of this size reads beyond its head: the
// ExHiROM header block with the bank its reset vector points into; farLength
// 0 when the image holds no such block.
InspectionReads snesInspectionReads(std::uint64_t size);

// The cartridge checksum as the console's toolchains compute it, over the
// cartridge data (the image after any copier header), with the four bytes of
// the complement/checksum pair at fieldsAt read as FF FF 00 00, the values
// they hold once they agree, so that a correct image sums to its own checksum.
// A size that is no power of two counts as the largest power of two P below
// it plus the part beyond P repeated to fill a second block of P bytes, as the
// cartridge's address space mirrors it. The caller keeps fieldsAt + 4 inside.
std::uint16_t computeSnesChecksum(std::span<const std::uint8_t> data, std::uint64_t fieldsAt);
