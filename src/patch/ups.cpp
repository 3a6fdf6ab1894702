#include "patch/ups.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "hash/digests.h"
#include "patch/bps_number.h"
#include "patch/crc_footer.h"

namespace ups {

namespace {

// The largest output made, as for the other formats.
constexpr std::uint64_t maximumOutputSize = largestPatchTarget;

// Backwards only as the ROM is: the repairs never make a target.
SourceMatch findSource(const Summary& summary, RomForms& rom) {
    const auto isSource = [&](SourceMatch form, std::span<const std::uint8_t> bytes) {
        return formIs(rom, form, bytes, summary.sourceSize, summary.crcs.sourceCrc);
    };
    if (isSource(SourceMatch::Yes, rom.rom)) {
        return SourceMatch::Yes;
    }
    if (formIs(rom, SourceMatch::Yes, rom.rom, summary.targetSize, summary.crcs.targetCrc)) {
        return SourceMatch::YesBackwards;
    }
    return firstFittingRepairedForm(rom, isSource);
}

} // namespace

Summary describe(std::span<const std::uint8_t> patch) {
    Summary summary;
    if (patch.size() < magic.size() + footerSize) {
        return summary;
    }
    const std::uint64_t footer = patch.size() - footerSize;
    std::uint64_t p = magic.size();
    const std::optional<std::uint64_t> source = bps::readNumber(patch, p, footer);
    const std::optional<std::uint64_t> target =
        source ? bps::readNumber(patch, p, footer) : std::nullopt;
    if (!target) {
        return summary;
    }
    summary.sizesReadable = true;
    summary.sourceSize = *source;
    summary.targetSize = *target;
    summary.hunksAt = p;
    summary.crcs = readCrcFooter(patch);
    return summary;
}

bool wellFormed(const Summary& summary) {
    return summary.sizesReadable && patchCrcHolds(summary.crcs);
}

SourceMatch match(const Summary& summary, std::span<const std::uint8_t>, RomForms& rom) {
    return summary.sizesReadable ? findSource(summary, rom) : SourceMatch::No;
}

ApplyResult applyChecked(const Summary& summary, std::span<const std::uint8_t> patch,
                         RomForms& rom) {
    if (!wellFormed(summary)) {
        return damagedPatch();
    }
    const SourceMatch form = findSource(summary, rom);
    if (form == SourceMatch::No) {
        return otherRom(romCrc(rom), summary.crcs.sourceCrc);
    }
    const bool backwards = form == SourceMatch::YesBackwards;
    std::optional<Bytes> output = applyHunks(*formBytes(rom, form), patch, summary.hunksAt,
                                             backwards ? summary.sourceSize : summary.targetSize);
    if (!output ||
        crc32(*output) != (backwards ? summary.crcs.sourceCrc : summary.crcs.targetCrc)) {
        return damagedPatch();
    }
    return appliedTo(form, std::move(*output));
}

std::optional<Bytes> applyHunks(std::span<const std::uint8_t> input,
                                std::span<const std::uint8_t> patch, std::uint64_t hunksAt,
                                std::uint64_t outputSize) {
    if (patch.size() < footerSize || outputSize > maximumOutputSize) {
        return std::nullopt;
    }
    Bytes output;
    try {
        output.resize(static_cast<std::size_t>(outputSize));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    const std::size_t kept =
        static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), outputSize));
    std::copy_n(input.begin(), kept, output.begin());
    std::fill(output.begin() + static_cast<std::ptrdiff_t>(kept), output.end(), std::uint8_t{0});

    const std::uint64_t hunksEnd = patch.size() - footerSize;
    std::uint64_t p = hunksAt;
    std::uint64_t position = 0;
    while (p < hunksEnd) {
        const std::optional<std::uint64_t> skip = bps::readNumber(patch, p, hunksEnd);
        if (!skip || __builtin_add_overflow(position, *skip, &position)) {
            return std::nullopt;
        }
        const std::uint8_t* bytes = patch.data() + p;
        const auto* terminator = static_cast<const std::uint8_t*>(
            std::memchr(bytes, 0, static_cast<std::size_t>(hunksEnd - p)));
        if (terminator == nullptr) {
            return std::nullopt;
        }
        const auto count = static_cast<std::uint64_t>(terminator - bytes);
        if (position < outputSize) {
            // Bytes past the output are dropped: a shorter target's hunks
            // clear the source's bytes beyond its end.
            std::uint8_t* at = output.data() + position;
            const std::uint64_t n = std::min(count, outputSize - position);
            for (std::uint64_t i = 0; i < n; ++i) {
                at[i] ^= bytes[i];
            }
        }
        p += count + 1;
        // The terminator's position is passed over; the byte there is kept.
        if (__builtin_add_overflow(position, count + 1, &position)) {
            return std::nullopt;
        }
    }
    return output;
}

} // namespace ups
