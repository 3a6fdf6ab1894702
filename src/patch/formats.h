#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

#include "patch/bps.h"
#include "patch/ips.h"
#include "patch/ups.h"
#include "patch/vcdiff.h"

// The patch formats known. Each has one face in its own header (ips, bps,
// ups, vcdiff): its Summary, name and magic, describe, wellFormed, match,
// applyChecked, apply and, where it has one, create. The table of their
// magics is in formats.cpp.

enum class PatchFormat { Unknown, Ips, Bps, Ups, Vcdiff };

// What a patch says about itself, in its own format's record; monostate for
// a patch of no known format. The alternatives follow PatchFormat's order.
using PatchSummary =
    std::variant<std::monostate, ips::Summary, bps::Summary, ups::Summary, vcdiff::Summary>;

// The format by the patch's first bytes.
PatchFormat detectPatchFormat(std::span<const std::uint8_t> patch);
// "IPS", "BPS", "UPS", "VCDIFF", or "Unknown".
std::string_view formatName(PatchFormat format);
PatchFormat formatOf(const PatchSummary& summary);

// Reads the patch the way the patch commands do: IPS record by record up to
// "EOF" or the end of the patch, BPS and UPS from their header and footer,
// VCDIFF from its header and window framing.
PatchSummary describePatch(std::span<const std::uint8_t> patch);
