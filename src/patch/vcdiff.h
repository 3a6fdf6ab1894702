#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "base/bytes.h"
#include "patch/forms.h"

// VCDIFF deltas (RFC 3284) as xdelta3 writes them: source and target windows,
// custom code tables, xdelta3's application header, per-window Adler-32 of the
// target and its secondary compressors; and open-vcdiff's own variant, whose
// windows may interleave instructions, addresses and data in one section and
// carry their Adler-32 as an integer. The format's parts are in
// patch/vcdiff_format.h.
namespace vcdiff {

// 'V' 'C' 'D' with bit 7 set; a version byte follows.
constexpr std::array<std::uint8_t, 3> magic{0xD6, 0xC3, 0xC4};
constexpr std::string_view name = "VCDIFF";

enum class Compression { None, Lzma, Djw, Fgk };

// What the patch says about itself, read without decoding any window.
struct Summary {
    bool wellFormed = false; // the header and every window's framing could be read
    std::uint64_t windows = 0;
    std::uint64_t targetSize = 0;                // the sum of the windows' target lengths
    Compression compression = Compression::None; // the one the header names
    bool checksums = false;                      // at least one window carries an Adler-32
    bool openVcdiff = false; // open-vcdiff's own variant: version 'S', interleaved windows
};

Summary describe(std::span<const std::uint8_t> patch);
bool wellFormed(const Summary& summary);
// The patch decoded against the ROM in its forms: it fits when every
// window's Adler-32 holds; NotChecked when no window carries one; No for a
// patch whose framing cannot be read.
SourceMatch match(const Summary& summary, std::span<const std::uint8_t> patch, RomForms& rom);
// The patch decoded against the first form it fits. The ROM's CRC-32 is not
// reported: the patch names none.
ApplyResult applyChecked(const Summary& summary, std::span<const std::uint8_t> patch,
                         RomForms& rom);

enum class Outcome {
    Applied,     // decoded; every window that carries an Adler-32 holds
    Damaged,     // cut off, malformed, or a window that cannot be decoded
    WrongSource, // decoded, but a window's Adler-32 fails: made for another source
};

struct Result {
    Outcome outcome = Outcome::Damaged;
    Bytes target; // the whole target when Applied, otherwise empty
};

// Decodes the patch against the source. Bounded in time and memory whatever
// the patch holds.
Result apply(std::span<const std::uint8_t> source, std::span<const std::uint8_t> patch);

// A patch from original to modified as xdelta3 writes one: windows of up to
// 16 MiB of the target against the original as the source segment, each
// with its Adler-32, the sections LZMA-compressed where that shrinks them.
// nullopt for an empty input (or one over 4 GiB).
std::optional<Bytes> create(std::span<const std::uint8_t> original,
                            std::span<const std::uint8_t> modified);

} // namespace vcdiff
