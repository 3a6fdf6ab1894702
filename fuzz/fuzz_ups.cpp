// UPS over a ROM and a second buffer cut from one input (split_input.h).
//
// The second buffer is read twice. As a patch: a checked application that
// succeeds must give exactly the size and CRC-32 of the side it becomes, and
// the hunks must give what a byte-by-byte model of the format gives. As a
// modified image: the created patch must give it back from the ROM, and the
// ROM back from it. Declared outputs over 64 MiB are not run (they may be
// allocated), those over 1 MiB not compared with the model.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "check.h"
#include "hash/digests.h"
#include "patch/checked.h"
#include "patch/formats.h"
#include "patch/ups.h"
#include "split_input.h"

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr std::uint64_t largestOutputRun = std::uint64_t{64} << 20;
constexpr std::uint64_t largestOutputCompared = std::uint64_t{1} << 20;
constexpr std::size_t largestCreated = std::size_t{1} << 20;

// The hunks as the format defines them, one byte at a time: bytes beyond the
// input read 0, bytes beyond the output are dropped, a number must end before
// the footer within ten bytes, XOR bytes must end with 0x00 before it.
std::optional<std::vector<std::uint8_t>> referenceHunks(std::span<const std::uint8_t> input,
                                                        std::span<const std::uint8_t> patch,
                                                        std::size_t p, std::size_t outputSize) {
    std::vector<std::uint8_t> out(outputSize, 0);
    for (std::size_t i = 0; i < outputSize && i < input.size(); ++i) {
        out[i] = input[i];
    }
    const std::size_t end = patch.size() - ups::footerSize;
    Wide position = 0;
    while (p < end) {
        Wide skip = 0;
        Wide shift = 1;
        bool ended = false;
        for (int n = 0; n < 10 && p < end; ++n) {
            const std::uint8_t x = patch[p++];
            skip += (x & 0x7F) * shift;
            if ((x & 0x80) != 0) {
                ended = true;
                break;
            }
            shift <<= 7;
            skip += shift;
        }
        position += skip;
        if (!ended || skip > UINT64_MAX || position > UINT64_MAX) {
            return std::nullopt;
        }
        for (;;) {
            if (p >= end) {
                return std::nullopt;
            }
            const std::uint8_t x = patch[p++];
            if (position < outputSize) {
                out[static_cast<std::size_t>(position)] ^= x;
            }
            ++position;
            if (position > UINT64_MAX) {
                return std::nullopt;
            }
            if (x == 0) {
                break;
            }
        }
    }
    return out;
}

void checkAsPatch(std::span<const std::uint8_t> rom, std::span<const std::uint8_t> patch) {
    const ups::Summary summary = ups::describe(patch);
    if (!summary.sizesReadable) {
        FUZZ_CHECK(applyPatchChecked(describePatch(patch), rom, patch).outcome ==
                   ApplyOutcome::Damaged);
        return;
    }
    if (std::max(summary.sourceSize, summary.targetSize) > largestOutputRun) {
        return;
    }
    const ApplyResult result = applyPatchChecked(describePatch(patch), rom, patch);
    if (result.outcome == ApplyOutcome::Applied) {
        const bool backwards = result.form == SourceMatch::YesBackwards;
        FUZZ_CHECK(result.output.size() == (backwards ? summary.sourceSize : summary.targetSize));
        FUZZ_CHECK(crc32(result.output) ==
                   (backwards ? summary.crcs.sourceCrc : summary.crcs.targetCrc));
    }
    FUZZ_CHECK(result.outcome != ApplyOutcome::WrongSource ||
               (result.romCrc == crc32(rom) && result.expectedCrc == summary.crcs.sourceCrc));
    if (summary.targetSize <= largestOutputCompared) {
        const auto size = static_cast<std::size_t>(summary.targetSize);
        const std::optional<Bytes> out = ups::applyHunks(rom, patch, summary.hunksAt, size);
        const auto expected =
            referenceHunks(rom, patch, static_cast<std::size_t>(summary.hunksAt), size);
        FUZZ_CHECK(out.has_value() == expected.has_value());
        FUZZ_CHECK(!out ||
                   std::equal(out->begin(), out->end(), expected->begin(), expected->end()));
    }
}

void checkRoundTrip(std::span<const std::uint8_t> original,
                    std::span<const std::uint8_t> modified) {
    if (original.empty() || modified.empty() || original.size() > largestCreated ||
        modified.size() > largestCreated) {
        return;
    }
    const std::optional<Bytes> patch = ups::create(original, modified);
    FUZZ_CHECK(patch.has_value());
    const ApplyResult forwards = applyPatchChecked(describePatch(*patch), original, *patch);
    FUZZ_CHECK(forwards.outcome == ApplyOutcome::Applied && forwards.form == SourceMatch::Yes);
    FUZZ_CHECK(std::equal(forwards.output.begin(), forwards.output.end(), modified.begin(),
                          modified.end()));
    const ApplyResult backwards = applyPatchChecked(describePatch(*patch), modified, *patch);
    FUZZ_CHECK(backwards.outcome == ApplyOutcome::Applied);
    FUZZ_CHECK(std::equal(backwards.output.begin(), backwards.output.end(), original.begin(),
                          original.end()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::SplitInput input = fuzzing::splitInput({data, size});
    if (input.patch.size() >= ups::footerSize + ups::magic.size() &&
        std::equal(ups::magic.begin(), ups::magic.end(), input.patch.begin())) {
        checkAsPatch(input.rom, input.patch);
    }
    checkRoundTrip(input.rom, input.patch);
    return 0;
}
