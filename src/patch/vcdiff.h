#pragma once

#include <cstdint>
#include <span>

#include "base/bytes.h"

// VCDIFF deltas (RFC 3284) as xdelta3 writes them: source and target windows,
// custom code tables, xdelta3's application header, per-window Adler-32 of the
// target and its secondary compressors.

enum class VcdiffCompression { None, Lzma, Djw, Fgk };

// What the patch says about itself, read without decoding any window.
struct VcdiffSummary {
    bool wellFormed = false; // the header and every window's framing could be read
    std::uint64_t windows = 0;
    std::uint64_t targetSize = 0; // the sum of the windows' target lengths
    VcdiffCompression compression = VcdiffCompression::None; // the one the header names
    bool checksums = false; // at least one window carries an Adler-32
};

VcdiffSummary describeVcdiff(std::span<const std::uint8_t> patch);

enum class VcdiffOutcome {
    Applied,     // decoded; every window that carries an Adler-32 holds
    Damaged,     // cut off, malformed, or a window that cannot be decoded
    WrongSource, // decoded, but a window's Adler-32 fails: made for another source
};

struct VcdiffResult {
    VcdiffOutcome outcome = VcdiffOutcome::Damaged;
    Bytes target; // the whole target when Applied, otherwise empty
};

// Decodes the patch against the source. Bounded in time and memory whatever
// the patch holds.
VcdiffResult applyVcdiff(std::span<const std::uint8_t> source, std::span<const std::uint8_t> patch);
