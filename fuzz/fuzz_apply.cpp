// --apply's checked application over a ROM and a patch cut from one input
// (split_input.h), every format. Whatever the patch, the outcome agrees with
// the format: an unknown patch is never applied, IPS is applied exactly when
// its patcher accepts it, an applied BPS or UPS result has the size and CRC-32
// of the side it becomes, and only BPS and UPS name the CRC-32 they expected.
// Patches declaring outputs over 64 MiB, or IPS records reaching past 1 MiB,
// are not run.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "check.h"
#include "hash/digests.h"
#include "patch/checked.h"
#include "patch/formats.h"
#include "split_input.h"

namespace {

constexpr std::uint64_t largestOutputRun = std::uint64_t{64} << 20;

bool tooLarge(const PatchSummary& s) {
    switch (formatOf(s)) {
    case PatchFormat::Ips:
        return std::get<ips::Summary>(s).writesUpTo > (std::uint64_t{1} << 20);
    case PatchFormat::Bps:
        return std::get<bps::Summary>(s).targetSize > largestOutputRun;
    case PatchFormat::Ups:
        return std::max(std::get<ups::Summary>(s).sourceSize,
                        std::get<ups::Summary>(s).targetSize) > largestOutputRun;
    default:
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::SplitInput input = fuzzing::splitInput({data, size});
    const PatchFormat format = detectPatchFormat(input.patch);
    const PatchSummary summary = describePatch(input.patch);
    FUZZ_CHECK(formatOf(summary) == format);
    if (tooLarge(summary)) {
        return 0;
    }
    const ApplyResult result = applyPatchChecked(summary, input.rom, input.patch);
    const bool applied = result.outcome == ApplyOutcome::Applied;
    const bool wrong = result.outcome == ApplyOutcome::WrongSource;
    FUZZ_CHECK(applied || result.output.empty());
    FUZZ_CHECK(!wrong || result.romCrc.has_value() == (format != PatchFormat::Vcdiff));
    FUZZ_CHECK(!result.romCrc || *result.romCrc == crc32(input.rom));
    switch (format) {
    case PatchFormat::Unknown:
        FUZZ_CHECK(result.outcome == ApplyOutcome::Damaged);
        break;
    case PatchFormat::Ips: {
        Bytes image(input.rom.begin(), input.rom.end());
        const bool accepted = ips::apply(image, input.patch);
        FUZZ_CHECK(applied == accepted);
        FUZZ_CHECK(!applied || result.form == SourceMatch::Yes);
        FUZZ_CHECK(!applied || result.output == image);
        break;
    }
    case PatchFormat::Bps:
        FUZZ_CHECK(result.form != SourceMatch::YesBackwards);
        FUZZ_CHECK(!applied ||
                   (result.output.size() == std::get<bps::Summary>(summary).targetSize &&
                    crc32(result.output) == std::get<bps::Summary>(summary).crcs.targetCrc));
        FUZZ_CHECK(!applied || patchWellFormed(summary));
        FUZZ_CHECK(!wrong || result.expectedCrc == std::get<bps::Summary>(summary).crcs.sourceCrc);
        break;
    case PatchFormat::Ups: {
        const bool backwards = result.form == SourceMatch::YesBackwards;
        FUZZ_CHECK(
            !applied ||
            (result.output.size() == (backwards ? std::get<ups::Summary>(summary).sourceSize
                                                : std::get<ups::Summary>(summary).targetSize) &&
             crc32(result.output) == (backwards ? std::get<ups::Summary>(summary).crcs.sourceCrc
                                                : std::get<ups::Summary>(summary).crcs.targetCrc)));
        FUZZ_CHECK(!applied || patchWellFormed(summary));
        FUZZ_CHECK(!wrong || result.expectedCrc == std::get<ups::Summary>(summary).crcs.sourceCrc);
        break;
    }
    case PatchFormat::Vcdiff:
        FUZZ_CHECK(!wrong || !result.expectedCrc);
        break;
    }
    return 0;
}
