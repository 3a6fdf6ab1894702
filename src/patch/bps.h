#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/bytes.h"
#include "patch/crc_footer.h"
#include "patch/forms.h"

// BPS: "BPS1", the source, target and metadata sizes as BPS numbers (see
// patch/bps_number.h), the metadata, commands up to the last 12 bytes, then
// the CRC-32 footer BPS shares with UPS.
namespace bps {

constexpr std::array<std::uint8_t, 4> magic{'B', 'P', 'S', '1'};
constexpr std::string_view name = "BPS";

// A command's low two bits.
enum Action : std::uint8_t { SourceRead = 0, TargetRead = 1, SourceCopy = 2, TargetCopy = 3 };

struct Summary {
    bool sizesReadable = false; // the three sizes and the metadata end before the footer
    std::uint64_t sourceSize = 0;
    std::uint64_t targetSize = 0;
    std::uint64_t metadataSize = 0;
    CrcFooter crcs;
};

// The sizes and the footer, read with every check.
Summary describe(std::span<const std::uint8_t> patch);
// Readable sizes and the patch's own CRC-32 valid.
bool wellFormed(const Summary& summary);
// The first form of the ROM with the declared source size and CRC-32 (as it
// is, after --strip-header, after --n64-endian); No when the sizes cannot be
// read.
SourceMatch match(const Summary& summary, std::span<const std::uint8_t> patch, RomForms& rom);
// The patch applied to the form that matches, its target checked by size
// and CRC-32.
ApplyResult applyChecked(const Summary& summary, std::span<const std::uint8_t> patch,
                         RomForms& rom);

// Builds the target of a BPS patch from its source. nullopt when the inputs
// are rejected (empty source, short patch, wrong magic, a target too large to
// hold); otherwise the target, exactly of the declared size.
std::optional<Bytes> apply(std::span<const std::uint8_t> source,
                           std::span<const std::uint8_t> patch);

// Makes a BPS patch that turns the original into the modified image, with
// the true CRC-32 of both and of the patch in its footer. The same inputs
// always give the same bytes. nullopt for an empty input or when memory runs
// out.
std::optional<Bytes> create(std::span<const std::uint8_t> original,
                            std::span<const std::uint8_t> modified);

} // namespace bps
