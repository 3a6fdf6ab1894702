#include "patch/apply.h"

#include <array>
#include <new>

#include "hash/digests.h"
#include "patch/patch.h"
#include "patch/ups.h"

namespace {

ApplyResult damaged() {
    return {};
}

ApplyResult applied(SourceMatch form, Bytes output) {
    ApplyResult result;
    result.outcome = ApplyOutcome::Applied;
    result.form = form;
    result.output = std::move(output);
    return result;
}

ApplyResult wrongSource(std::optional<std::uint32_t> romCrc = std::nullopt,
                        std::optional<std::uint32_t> expectedCrc = std::nullopt) {
    ApplyResult result;
    result.outcome = ApplyOutcome::WrongSource;
    result.romCrc = romCrc;
    result.expectedCrc = expectedCrc;
    return result;
}

ApplyResult applyIps(std::span<const std::uint8_t> rom, std::span<const std::uint8_t> patch) {
    try {
        Bytes image(rom.begin(), rom.end());
        if (!applyIpsRecords(image, patch)) {
            return damaged();
        }
        return applied(SourceMatch::Yes, std::move(image));
    } catch (const std::bad_alloc&) {
        return damaged();
    }
}

// The CRC-32 of a form of the ROM, taken from romCrc for the ROM itself so
// that a large image is hashed once.
struct CrcOfForm {
    std::span<const std::uint8_t> rom;
    std::uint32_t romCrc;
    std::uint32_t operator()(std::span<const std::uint8_t> form) const {
        return form.data() == rom.data() && form.size() == rom.size() ? romCrc : crc32(form);
    }
};

ApplyResult applyBps(std::span<const std::uint8_t> rom, std::span<const std::uint8_t> patch) {
    const PatchSummary summary = describePatch(patch);
    if (!patchWellFormed(summary)) {
        return damaged();
    }
    const BpsSummary& bps = summary.bps;
    const CrcOfForm crcOf{rom, crc32(rom)};
    std::optional<Bytes> output;
    const SourceMatch form = firstFittingForm(rom, [&](std::span<const std::uint8_t> source) {
        if (source.size() != bps.sourceSize || crcOf(source) != bps.sourceCrc) {
            return false;
        }
        // The patcher takes no empty source; a single 0x00 reads the same,
        // since every read beyond a source gives 0x00.
        static constexpr std::array<std::uint8_t, 1> zero{0};
        output = applyBpsPatchImage(source.empty() ? std::span<const std::uint8_t>(zero) : source,
                                    patch);
        return true;
    });
    if (form == SourceMatch::No) {
        return wrongSource(crcOf.romCrc, bps.sourceCrc);
    }
    if (!output || output->size() != bps.targetSize || crc32(*output) != bps.targetCrc) {
        return damaged();
    }
    return applied(form, std::move(*output));
}

ApplyResult applyUps(std::span<const std::uint8_t> rom, std::span<const std::uint8_t> patch) {
    const PatchSummary summary = describePatch(patch);
    if (!patchWellFormed(summary)) {
        return damaged();
    }
    const UpsSummary& ups = summary.ups;
    const CrcOfForm crcOf{rom, crc32(rom)};
    const auto isSource = [&](std::span<const std::uint8_t> form) {
        return form.size() == ups.sourceSize && crcOf(form) == ups.sourceCrc;
    };
    SourceMatch form = SourceMatch::Yes;
    if (!isSource(rom)) {
        // Backwards only as the ROM is: the repairs never make a target.
        form = rom.size() == ups.targetSize && crcOf.romCrc == ups.targetCrc
                   ? SourceMatch::YesBackwards
                   : SourceMatch::No;
    }
    std::optional<Bytes> output;
    const auto apply = [&](std::span<const std::uint8_t> input) {
        const bool backwards = form == SourceMatch::YesBackwards;
        output =
            ups::applyHunks(input, patch, ups.hunksAt, backwards ? ups.sourceSize : ups.targetSize);
        return output && crc32(*output) == (backwards ? ups.sourceCrc : ups.targetCrc);
    };
    bool fine = false;
    if (form == SourceMatch::No) {
        form = firstFittingRepairedForm(rom, [&](std::span<const std::uint8_t> input) {
            if (!isSource(input)) {
                return false;
            }
            fine = apply(input);
            return true;
        });
        if (form == SourceMatch::No) {
            return wrongSource(crcOf.romCrc, ups.sourceCrc);
        }
    } else {
        fine = apply(rom);
    }
    return fine ? applied(form, std::move(*output)) : damaged();
}

ApplyResult applyVcdiffChecked(std::span<const std::uint8_t> rom,
                               std::span<const std::uint8_t> patch) {
    VcdiffResult result = applyVcdiff(rom, patch);
    switch (result.outcome) {
    case VcdiffOutcome::Applied:
        return applied(SourceMatch::Yes, std::move(result.target));
    case VcdiffOutcome::Damaged:
        return damaged();
    case VcdiffOutcome::WrongSource:
        break;
    }
    // Only the ROM as it is tells damage from another ROM; a repaired form the
    // patch cannot be decoded against is simply not its source.
    const SourceMatch form = firstFittingRepairedForm(rom, [&](std::span<const std::uint8_t> form) {
        result = applyVcdiff(form, patch);
        return result.outcome == VcdiffOutcome::Applied;
    });
    if (form == SourceMatch::No) {
        return wrongSource();
    }
    return applied(form, std::move(result.target));
}

} // namespace

ApplyResult applyPatchChecked(PatchFormat format, std::span<const std::uint8_t> rom,
                              std::span<const std::uint8_t> patch) {
    switch (format) {
    case PatchFormat::Ips:
        return applyIps(rom, patch);
    case PatchFormat::Bps:
        return applyBps(rom, patch);
    case PatchFormat::Ups:
        return applyUps(rom, patch);
    case PatchFormat::Vcdiff:
        return applyVcdiffChecked(rom, patch);
    case PatchFormat::Unknown:
        break;
    }
    return damaged();
}
