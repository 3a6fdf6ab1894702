#pragma once

#include <cstdint>
#include <optional>
#include <span>

// What a patch says about itself, read without applying it.

enum class PatchFormat { Unknown, Ips, Bps };

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

struct PatchSummary {
    PatchFormat format = PatchFormat::Unknown;
    IpsSummary ips;
    BpsSummary bps;
};

// Reads the patch the way the patch commands do: IPS record by record up to
// "EOF" or the end of the patch, BPS from its header and footer.
PatchSummary describePatch(std::span<const std::uint8_t> patch);

// Whether the patch was made for the ROM: IPS carries nothing to check; a
// BPS source must have the declared size and CRC-32, as the file is, after
// --strip-header, or after --n64-endian.
enum class SourceMatch { Yes, YesAfterStripHeader, YesAfterN64Endian, No, NotChecked };
SourceMatch matchSource(const PatchSummary& patch, std::span<const std::uint8_t> rom);

// A well-formed patch whose source (given a ROM) fits: what a script checks
// before it patches.
bool patchFits(const PatchSummary& patch, std::optional<SourceMatch> match);
