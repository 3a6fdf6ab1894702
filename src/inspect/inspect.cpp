#include "inspect/inspect.h"

#include <algorithm>
#include <array>

#include "io/rom_file.h"

namespace {

using Signature = std::array<std::uint8_t, 4>;

// One row of the detection table: the image must be at least minimumSize bytes
// long and, where the row has signatures, hold one of them at offset.
struct DetectionRow {
    std::uint64_t minimumSize;
    std::uint64_t offset;
    std::array<Signature, 3> signatures;
    std::size_t signatureCount;
    RomInfo (*inspector)(std::span<const std::uint8_t>);
};

constexpr std::array<DetectionRow, 6> detectionTable{{
    // iNES: "NES" followed by the MS-DOS end-of-file byte.
    {16, 0x00, {{{0x4E, 0x45, 0x53, 0x1A}}}, 1, inspectNes},
    // Nintendo 64 header word in its .z64, .v64 and .n64 byte orders.
    {4,
     0x00,
     {{{0x80, 0x37, 0x12, 0x40}, {0x37, 0x80, 0x40, 0x12}, {0x40, 0x12, 0x37, 0x80}}},
     3,
     inspectNintendo64},
    // Start of the Nintendo logo in the Game Boy cartridge header.
    {0x150, 0x104, {{{0xCE, 0xED, 0x66, 0x66}}}, 1, inspectGameBoy},
    // Start of the Nintendo logo in the Game Boy Advance cartridge header.
    {0x100, 0x04, {{{0x24, 0xFF, 0xAE, 0x51}}}, 1, inspectGameBoyAdvance},
    // "SEGA" at the start of the system name field.
    {0x200, 0x100, {{{0x53, 0x45, 0x47, 0x41}}}, 1, inspectGenesis},
    // The Super Nintendo header has no signature: any large enough image.
    {0x8000, 0x00, {}, 0, inspectSnes},
}};

bool matches(const DetectionRow& row, std::span<const std::uint8_t> image) {
    if (image.size() < row.minimumSize || image.size() - row.offset < 4) {
        return false;
    }
    if (row.signatureCount == 0) {
        return true;
    }
    const auto field = image.subspan(static_cast<std::size_t>(row.offset), 4);
    return std::any_of(row.signatures.begin(), row.signatures.begin() + row.signatureCount,
                       [&](const Signature& s) { return std::equal(s.begin(), s.end(), field.begin()); });
}

} // namespace

RomInfo inspectImage(std::span<const std::uint8_t> image) {
    for (const DetectionRow& row : detectionTable) {
        if (matches(row, image)) {
            return row.inspector(image);
        }
    }
    RomInfo unknown;
    unknown.platformName = "Unknown Binary Format";
    unknown.fileSize = image.size();
    return unknown;
}

RomInfo inspectRom(const std::string& path) { return inspectImage(readRomFile(path)); }
