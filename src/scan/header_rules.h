#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "inspect/rom_info.h"

// The headers that checksum databases leave out of their entries, so that a
// dump matches whatever front its copier or emulator put on it. The
// catalogue and the verifier follow two conventions that share the iNES and
// copier-header rules; each gives the header's size, or nullopt when the
// whole file is hashed.

// The two conventions, by name (the digest cache keeps the headerless digests
// of each apart).
enum class HeaderConvention : std::uint8_t { Catalogue, Skippers };

// A rule of either kind: the inspection's record (empty when the walk does
// not inspect) and the image.
using HeaderRule = std::optional<std::uint64_t> (*)(const RomInfo& info,
                                                    std::span<const std::uint8_t> image);

// The catalogue's, from the inspection: 512 for a Super Nintendo image with a
// copier header; 16 for an iNES image, plus 512 when its trainer flag (bit 2
// of byte 6) is set.
std::optional<std::uint64_t> catalogHeaderSize(const RomInfo& info,
                                               std::span<const std::uint8_t> image);

// The ROM managers' header skippers, from the bytes alone (the info is not
// needed): iNES ("NES" 1A) and fwNES ("FDS" 1A) 16 bytes, a trainer kept,
// Atari Lynx ("LYNX") 64, Atari 7800 ("ATARI7800" at 1 and "ACTUAL CART DATA
// STARTS HERE" at 0x64) 128, and a copier header (a whole number of KiB + 512,
// more than the header alone) 512.
std::optional<std::uint64_t> skipperHeaderSize(const RomInfo& info,
                                               std::span<const std::uint8_t> image);

// The rule of a convention.
HeaderRule headerRule(HeaderConvention convention);
