#pragma once

#include <cstdint>
#include <span>

// Backup copiers put 512 bytes in front of the cartridge data; such an image
// is a whole number of kilobytes plus 512 bytes long.
constexpr std::uint64_t copierHeaderSize = 512;
bool hasCopierHeaderSize(std::uint64_t size);

// Where a Super Nintendo internal header is taken to be. Its checksum
// complement and checksum follow at headerStart + 0x1C and + 0x1E.
struct SnesHeaderLocation {
    std::uint64_t base;        // 512 behind a copier header, else 0
    std::uint64_t headerStart; // base + 0x7FC0 (LoROM) or base + 0xFFC0 (HiROM)
    bool hiRom;
};

constexpr std::uint64_t snesLoRomHeader = 0x7FC0;
constexpr std::uint64_t snesHiRomHeader = 0xFFC0;
constexpr std::uint64_t snesComplementOffset = 0x1C;
constexpr std::uint64_t snesChecksumOffset = 0x1E;
constexpr std::uint64_t snesHeaderLength = 0x20;

// LoROM when the LoROM complement/checksum pair agrees or the image is too
// short to hold the HiROM pair; HiROM otherwise. The map mode byte plays no part.
SnesHeaderLocation locateSnesHeader(std::span<const std::uint8_t> image, bool copierHeader);

// The 16-bit little-endian word at offset; the caller keeps offset + 1 inside the image.
std::uint16_t readLittleEndian16(std::span<const std::uint8_t> image, std::uint64_t offset);

// The cartridge checksum as the console's toolchains compute it, over the
// cartridge data (the image after any copier header), with the four bytes of
// the complement/checksum pair at fieldsAt read as FF FF 00 00, the values
// they hold once they agree, so that a correct image sums to its own checksum.
// A size that is no power of two counts as the largest power of two P below
// it plus the part beyond P repeated to fill a second block of P bytes, as the
// cartridge's address space mirrors it. The caller keeps fieldsAt + 4 inside.
std::uint16_t computeSnesChecksum(std::span<const std::uint8_t> data, std::uint64_t fieldsAt);
