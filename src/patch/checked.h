#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "patch/formats.h"
#include "patch/forms.h"

// The one policy --patch-info and --apply share, for a patch of any format:
// the forms of the ROM are tried in the order patch/forms.h gives, each
// format decides which of them fits (BPS and UPS by CRC-32, UPS also
// backwards; VCDIFF by the Adler-32 of its windows; IPS not at all).

// Whether the patch can be trusted as it is: IPS not cut off, BPS and UPS
// with readable sizes and their own CRC-32 valid, VCDIFF with its framing
// readable.
bool patchWellFormed(const PatchSummary& patch);

// Which form of the ROM the patch was made for.
SourceMatch matchSource(const PatchSummary& summary, std::span<const std::uint8_t> patch,
                        RomForms& rom);
SourceMatch matchSource(const PatchSummary& summary, std::span<const std::uint8_t> patch,
                        std::span<const std::uint8_t> rom);

// A well-formed patch whose source (given a ROM) fits: what a script checks
// before it patches.
bool patchFits(const PatchSummary& patch, std::optional<SourceMatch> match);

// The patch applied with every check its format allows: the source before,
// in the first form that fits, and the result after (BPS and UPS by
// CRC-32). A patch of no known format is Damaged.
ApplyResult applyPatchChecked(const PatchSummary& summary, std::span<const std::uint8_t> rom,
                              std::span<const std::uint8_t> patch);
