#include "patch/patch_info.h"

#include <algorithm>
#include <array>

#include "hash/digests.h"
#include "inspect/snes_header.h"
#include "patch/ips_record.h"
#include "repair/repair.h"

namespace {

constexpr std::array<std::uint8_t, 4> bpsMagic{'B', 'P', 'S', '1'};
constexpr std::uint64_t bpsFooterSize = 12;
// A number of more than ten bytes cannot fit 64 bits.
constexpr std::uint64_t bpsLongestNumber = 10;

template <std::size_t N>
bool matchesAt(std::span<const std::uint8_t> bytes, std::uint64_t at,
               const std::array<std::uint8_t, N>& expected) {
    return at <= bytes.size() && N <= bytes.size() - at &&
           std::equal(expected.begin(), expected.end(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

std::uint32_t littleEndian32(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    std::uint32_t value = 0;
    for (std::uint64_t i = 4; i-- > 0;) {
        value = value << 8 | bytes[static_cast<std::size_t>(at + i)];
    }
    return value;
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

// A number that must end before limit and fit 64 bits.
std::optional<std::uint64_t> bpsNumber(std::span<const std::uint8_t> patch, std::uint64_t& p,
                                       std::uint64_t limit) {
    std::uint64_t value = 0;
    std::uint64_t shift = 1;
    for (std::uint64_t count = 0; count < bpsLongestNumber && p < limit; ++count) {
        const std::uint8_t x = patch[static_cast<std::size_t>(p++)];
        std::uint64_t part = 0;
        if (__builtin_mul_overflow(static_cast<std::uint64_t>(x & 0x7Fu), shift, &part) ||
            __builtin_add_overflow(value, part, &value)) {
            return std::nullopt;
        }
        if ((x & 0x80u) != 0) {
            return value;
        }
        if (__builtin_mul_overflow(shift, std::uint64_t{128}, &shift) ||
            __builtin_add_overflow(value, shift, &value)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

BpsSummary readBps(std::span<const std::uint8_t> patch) {
    BpsSummary summary;
    if (patch.size() < bpsMagic.size() + bpsFooterSize) {
        return summary;
    }
    const std::uint64_t footer = patch.size() - bpsFooterSize;
    std::uint64_t p = bpsMagic.size();
    const std::optional<std::uint64_t> source = bpsNumber(patch, p, footer);
    const std::optional<std::uint64_t> target = source ? bpsNumber(patch, p, footer) : std::nullopt;
    const std::optional<std::uint64_t> metadata = target ? bpsNumber(patch, p, footer) : std::nullopt;
    if (!metadata || *metadata > footer - p) {
        return summary;
    }
    summary.sizesReadable = true;
    summary.sourceSize = *source;
    summary.targetSize = *target;
    summary.metadataSize = *metadata;
    summary.sourceCrc = littleEndian32(patch, footer);
    summary.targetCrc = littleEndian32(patch, footer + 4);
    summary.patchCrc = littleEndian32(patch, footer + 8);
    summary.computedPatchCrc = crc32(patch.first(static_cast<std::size_t>(footer + 8)));
    return summary;
}

bool isSource(const BpsSummary& bps, std::span<const std::uint8_t> bytes) {
    return bytes.size() == bps.sourceSize && crc32(bytes) == bps.sourceCrc;
}

} // namespace

PatchSummary describePatch(std::span<const std::uint8_t> patch) {
    PatchSummary summary;
    if (matchesAt(patch, 0, ips::magic)) {
        summary.format = PatchFormat::Ips;
        summary.ips = readIps(patch);
    } else if (matchesAt(patch, 0, bpsMagic)) {
        summary.format = PatchFormat::Bps;
        summary.bps = readBps(patch);
    }
    return summary;
}

SourceMatch matchSource(const PatchSummary& patch, std::span<const std::uint8_t> rom) {
    if (patch.format == PatchFormat::Ips) {
        return SourceMatch::NotChecked;
    }
    if (patch.format != PatchFormat::Bps || !patch.bps.sizesReadable) {
        return SourceMatch::No;
    }
    if (isSource(patch.bps, rom)) {
        return SourceMatch::Yes;
    }
    // The same rules the two repair commands apply, on copies of the ROM.
    if (hasCopierHeaderSize(rom.size()) &&
        isSource(patch.bps, rom.subspan(static_cast<std::size_t>(copierHeaderSize)))) {
        return SourceMatch::YesAfterStripHeader;
    }
    if (rom.size() == patch.bps.sourceSize) {
        RomImage converted(rom.begin(), rom.end());
        if (convertN64ImageToBigEndian(converted) && isSource(patch.bps, converted)) {
            return SourceMatch::YesAfterN64Endian;
        }
    }
    return SourceMatch::No;
}

bool patchFits(const PatchSummary& patch, std::optional<SourceMatch> match) {
    bool wellFormed = false;
    if (patch.format == PatchFormat::Ips) {
        wellFormed = !patch.ips.cutOffAt.has_value();
    } else if (patch.format == PatchFormat::Bps) {
        wellFormed = patch.bps.sizesReadable && patch.bps.patchCrc == patch.bps.computedPatchCrc;
    }
    return wellFormed &&
           (!match || *match == SourceMatch::Yes || *match == SourceMatch::NotChecked);
}
