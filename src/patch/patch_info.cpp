#include "patch/patch_info.h"

#include <algorithm>
#include <array>

#include "hash/digests.h"
#include "inspect/snes_header.h"
#include "patch/bps_number.h"
#include "patch/crc_footer.h"
#include "patch/ips_record.h"
#include "patch/ups.h"
#include "repair/repair.h"

namespace {

constexpr std::array<std::uint8_t, 4> bpsMagic{'B', 'P', 'S', '1'};
// VCDIFF: the bytes 'V' 'C' 'D' with bit 7 set; a version byte follows.
constexpr std::array<std::uint8_t, 3> vcdiffMagic{0xD6, 0xC3, 0xC4};

template <std::size_t N>
bool matchesAt(std::span<const std::uint8_t> bytes, std::uint64_t at,
               const std::array<std::uint8_t, N>& expected) {
    return at <= bytes.size() && N <= bytes.size() - at &&
           std::equal(expected.begin(), expected.end(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

// The same reading as the IPS patcher's.
IpsSummary readIps(std::span<const std::uint8_t> patch) {
    IpsSummary summary;
    const ips::RecordsEnd end = ips::readRecords(patch, [&](const ips::Record& record) {
        ++summary.records;
        summary.runRecords += record.run ? 1 : 0;
        summary.writesUpTo = std::max<std::uint64_t>(summary.writesUpTo, record.offset + record.length);
        return true;
    });
    if (!end.complete) {
        summary.cutOffAt = end.at;
    }
    summary.truncatesTo = end.truncatesTo;
    return summary;
}

BpsSummary readBps(std::span<const std::uint8_t> patch) {
    BpsSummary summary;
    if (patch.size() < bpsMagic.size() + crcFooterSize) {
        return summary;
    }
    const std::uint64_t footer = patch.size() - crcFooterSize;
    std::uint64_t p = bpsMagic.size();
    const std::optional<std::uint64_t> source = readBpsNumber(patch, p, footer);
    const std::optional<std::uint64_t> target =
        source ? readBpsNumber(patch, p, footer) : std::nullopt;
    const std::optional<std::uint64_t> metadata =
        target ? readBpsNumber(patch, p, footer) : std::nullopt;
    if (!metadata || *metadata > footer - p) {
        return summary;
    }
    summary.sizesReadable = true;
    summary.sourceSize = *source;
    summary.targetSize = *target;
    summary.metadataSize = *metadata;
    summary.sourceCrc = readLittleEndian32(patch, footer);
    summary.targetCrc = readLittleEndian32(patch, footer + 4);
    summary.patchCrc = readLittleEndian32(patch, footer + 8);
    summary.computedPatchCrc = crc32(patch.first(static_cast<std::size_t>(footer + 8)));
    return summary;
}

bool isSource(const BpsSummary& bps, std::span<const std::uint8_t> bytes) {
    return bytes.size() == bps.sourceSize && crc32(bytes) == bps.sourceCrc;
}

SourceMatch matchVcdiff(const VcdiffSummary& vcdiff, std::span<const std::uint8_t> patch,
                        std::span<const std::uint8_t> rom) {
    if (!vcdiff.wellFormed) {
        return SourceMatch::No;
    }
    if (!vcdiff.checksums) {
        return SourceMatch::NotChecked;
    }
    switch (applyVcdiff(rom, patch).outcome) {
    case VcdiffOutcome::Applied:
        return SourceMatch::Yes;
    case VcdiffOutcome::Damaged:
        return SourceMatch::No;
    case VcdiffOutcome::WrongSource:
        break;
    }
    return firstFittingRepairedForm(rom, [&](std::span<const std::uint8_t> form) {
        return applyVcdiff(form, patch).outcome == VcdiffOutcome::Applied;
    });
}

} // namespace

PatchFormat detectPatchFormat(std::span<const std::uint8_t> patch) {
    if (matchesAt(patch, 0, ips::magic)) {
        return PatchFormat::Ips;
    }
    if (matchesAt(patch, 0, bpsMagic)) {
        return PatchFormat::Bps;
    }
    if (matchesAt(patch, 0, ups::magic)) {
        return PatchFormat::Ups;
    }
    if (matchesAt(patch, 0, vcdiffMagic)) {
        return PatchFormat::Vcdiff;
    }
    return PatchFormat::Unknown;
}

PatchSummary describePatch(std::span<const std::uint8_t> patch) {
    PatchSummary summary;
    summary.format = detectPatchFormat(patch);
    switch (summary.format) {
    case PatchFormat::Ips:
        summary.ips = readIps(patch);
        break;
    case PatchFormat::Bps:
        summary.bps = readBps(patch);
        break;
    case PatchFormat::Ups:
        summary.ups = ups::readSummary(patch);
        break;
    case PatchFormat::Vcdiff:
        summary.vcdiff = describeVcdiff(patch);
        break;
    case PatchFormat::Unknown:
        break;
    }
    return summary;
}

SourceMatch matchSource(const PatchSummary& summary, std::span<const std::uint8_t> patch,
                        std::span<const std::uint8_t> rom) {
    switch (summary.format) {
    case PatchFormat::Ips:
        return SourceMatch::NotChecked;
    case PatchFormat::Bps:
        if (!summary.bps.sizesReadable) {
            return SourceMatch::No;
        }
        return firstFittingForm(
            rom, [&](std::span<const std::uint8_t> form) { return isSource(summary.bps, form); });
    case PatchFormat::Ups:
        if (!summary.ups.sizesReadable) {
            return SourceMatch::No;
        }
        // Backwards only as the ROM is: the repairs never make a target.
        if (!ups::isSource(summary.ups, rom) && ups::isTarget(summary.ups, rom)) {
            return SourceMatch::YesBackwards;
        }
        return firstFittingForm(rom, [&](std::span<const std::uint8_t> form) {
            return ups::isSource(summary.ups, form);
        });
    case PatchFormat::Vcdiff:
        return matchVcdiff(summary.vcdiff, patch, rom);
    case PatchFormat::Unknown:
        break;
    }
    return SourceMatch::No;
}

bool patchWellFormed(const PatchSummary& patch) {
    switch (patch.format) {
    case PatchFormat::Ips:
        return !patch.ips.cutOffAt.has_value();
    case PatchFormat::Bps:
        return patch.bps.sizesReadable && patch.bps.patchCrc == patch.bps.computedPatchCrc;
    case PatchFormat::Ups:
        return patch.ups.sizesReadable && patch.ups.patchCrc == patch.ups.computedPatchCrc;
    case PatchFormat::Vcdiff:
        return patch.vcdiff.wellFormed;
    case PatchFormat::Unknown:
        break;
    }
    return false;
}

bool patchFits(const PatchSummary& patch, std::optional<SourceMatch> match) {
    return patchWellFormed(patch) &&
           (!match || *match == SourceMatch::Yes || *match == SourceMatch::YesBackwards ||
            *match == SourceMatch::NotChecked);
}
