#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/bytes.h"
#include "patch/crc_footer.h"
#include "patch/forms.h"

// UPS: "UPS1", the source and target sizes as BPS numbers, then hunks up to
// the last 12 bytes (a skip from the current position, then bytes XORed onto
// the image up to and including a 0x00 byte), then the CRC-32 footer UPS
// shares with BPS. XOR makes the patch work both ways: applied to its target
// it gives back the source.
namespace ups {

constexpr std::array<std::uint8_t, 4> magic{'U', 'P', 'S', '1'};
constexpr std::string_view name = "UPS";
constexpr std::uint64_t footerSize = crcFooterSize;

struct Summary {
    bool sizesReadable = false; // the two sizes end before the footer
    std::uint64_t sourceSize = 0;
    std::uint64_t targetSize = 0;
    std::uint64_t hunksAt = 0; // where the first hunk begins
    CrcFooter crcs;
};

// The sizes and CRCs; sizesReadable is false when the sizes do not end
// before the footer.
Summary describe(std::span<const std::uint8_t> patch);
// Readable sizes and the patch's own CRC-32 valid.
bool wellFormed(const Summary& summary);
// The ROM as the source (Yes), else the ROM as it is as the target
// (YesBackwards), else a repaired form as the source; No when the sizes
// cannot be read.
SourceMatch match(const Summary& summary, std::span<const std::uint8_t> patch, RomForms& rom);
// The patch applied the way match finds, the result checked by CRC-32.
ApplyResult applyChecked(const Summary& summary, std::span<const std::uint8_t> patch,
                         RomForms& rom);

// The other side of input, outputSize bytes long: input cut or padded with
// zeros, the hunks XORed on (bytes past the output are dropped). nullopt when
// a hunk is malformed (a skip cut off or beyond 64 bits, XOR bytes without
// their 0x00 before the footer) or the memory cannot be had. The sizes and
// CRCs are the caller's to check.
std::optional<Bytes> applyHunks(std::span<const std::uint8_t> input,
                                std::span<const std::uint8_t> patch, std::uint64_t hunksAt,
                                std::uint64_t outputSize);

// The one canonical patch: both sides padded with zeros to the larger size,
// each maximal run of differing positions one hunk, the true CRCs. nullopt
// for an empty input or when memory runs out.
std::optional<Bytes> create(std::span<const std::uint8_t> original,
                            std::span<const std::uint8_t> modified);

} // namespace ups
