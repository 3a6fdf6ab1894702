#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>

#include "inspect/snes_header.h"
#include "base/bytes.h"
#include "patch/vcdiff.h"
#include "repair/repair.h"

// What a patch says about itself, read without applying it.

enum class PatchFormat { Unknown, Ips, Bps, Ups, Vcdiff };

struct IpsSummary {
    std::uint64_t records = 0;    // complete records, run-length ones included
    std::uint64_t runRecords = 0; // of which run-length
    std::uint64_t writesUpTo = 0; // the largest offset + length of any record
    std::optional<std::uint64_t> truncatesTo;
    // Where the record that runs out of patch begins; nullopt when well-formed.
    std::optional<std::uint64_t> cutOffAt;
};

struct BpsSummary {
    bool sizesReadable = false; // the three sizes and the metadata end before the footer
    std::uint64_t sourceSize = 0;
    std::uint64_t targetSize = 0;
    std::uint64_t metadataSize = 0;
    std::uint32_t sourceCrc = 0;
    std::uint32_t targetCrc = 0;
    std::uint32_t patchCrc = 0;         // as stored
    std::uint32_t computedPatchCrc = 0; // over every byte before the stored value
};

struct UpsSummary {
    bool sizesReadable = false; // the two sizes end before the footer
    std::uint64_t sourceSize = 0;
    std::uint64_t targetSize = 0;
    std::uint64_t hunksAt = 0; // where the first hunk begins
    std::uint32_t sourceCrc = 0;
    std::uint32_t targetCrc = 0;
    std::uint32_t patchCrc = 0;         // as stored
    std::uint32_t computedPatchCrc = 0; // over every byte before the stored value
};

struct PatchSummary {
    PatchFormat format = PatchFormat::Unknown;
    IpsSummary ips;
    BpsSummary bps;
    UpsSummary ups;
    VcdiffSummary vcdiff;
};

// The format by the patch's first bytes: "PATCH", "BPS1", "UPS1", or the
// VCDIFF magic D6 C3 C4.
PatchFormat detectPatchFormat(std::span<const std::uint8_t> patch);

// Reads the patch the way the patch commands do: IPS record by record up to
// "EOF" or the end of the patch, BPS and UPS from their header and footer,
// VCDIFF from its header and window framing.
PatchSummary describePatch(std::span<const std::uint8_t> patch);

// Whether the patch was made for the ROM: IPS carries nothing to check; a BPS
// or UPS source must have the declared size and CRC-32, as the file is,
// after --strip-header, or after --n64-endian; a UPS patch also fits its
// target, which it turns back into the source. A VCDIFF patch is decoded
// against the ROM in those forms: it fits when every window's Adler-32 holds,
// and is not checked when no window carries one.
enum class SourceMatch {
    Yes,
    YesBackwards,
    YesAfterStripHeader,
    YesAfterN64Endian,
    No,
    NotChecked
};
SourceMatch matchSource(const PatchSummary& summary, std::span<const std::uint8_t> patch,
                        std::span<const std::uint8_t> rom);

// Tries the ROM after --strip-header and after --n64-endian, in that order,
// where the rule applies and changes the bytes, and returns the first form
// that accept takes (YesAfterStripHeader, YesAfterN64Endian), or No.
template <class Accept>
SourceMatch firstFittingRepairedForm(std::span<const std::uint8_t> rom, Accept accept) {
    // The same rules the two repair commands apply, on copies of the ROM.
    if (hasCopierHeaderSize(rom.size()) &&
        accept(rom.subspan(static_cast<std::size_t>(copierHeaderSize)))) {
        return SourceMatch::YesAfterStripHeader;
    }
    // Only a .v64 or .n64 image changes; its mark is in the first four bytes,
    // so a whole copy is made only for one of those.
    Bytes head(rom.begin(),
                  rom.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(rom.size(), 4)));
    if (!convertN64ImageToBigEndian(head) || std::equal(head.begin(), head.end(), rom.begin())) {
        return SourceMatch::No;
    }
    Bytes converted(rom.begin(), rom.end());
    convertN64ImageToBigEndian(converted);
    return accept(std::span<const std::uint8_t>(converted)) ? SourceMatch::YesAfterN64Endian
                                                            : SourceMatch::No;
}

// The ROM as it is (Yes), else its repaired forms.
template <class Accept>
SourceMatch firstFittingForm(std::span<const std::uint8_t> rom, Accept accept) {
    return accept(rom) ? SourceMatch::Yes : firstFittingRepairedForm(rom, accept);
}

// Whether the patch can be trusted as it is: IPS not cut off, BPS and UPS
// with readable sizes and their own CRC-32 valid, VCDIFF with its framing
// readable.
bool patchWellFormed(const PatchSummary& patch);

// A well-formed patch whose source (given a ROM) fits: what a script checks
// before it patches.
bool patchFits(const PatchSummary& patch, std::optional<SourceMatch> match);
