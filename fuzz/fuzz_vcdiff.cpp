// VCDIFF decoding, and xdelta3's secondary decoders on their own. The first
// byte chooses (modulo 4):
//   0  a whole delta: the rest is cut into a source and a patch as in
//      split_input.h; the summary and the decoder must agree
//   1  one DJW section      } the rest: a 2-byte big-endian output size,
//   2  LZMA sections        } then sections as 2-byte big-endian lengths and
//   3  FGK sections         } bytes, decoded in turn with one state
//
// Deltas declaring more than 64 MiB in all are only described, not decoded,
// so that the fuzzer does not spend its time filling huge targets; the 4 GiB
// cap is still checked by describing.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "check.h"
#include "patch/vcdiff.h"
#include "patch/vcdiff_secondary.h"
#include "split_input.h"

namespace {

constexpr std::uint64_t largestTargetRun = std::uint64_t{64} << 20;
constexpr std::uint64_t largestTargetAccepted = std::uint64_t{1} << 32;

void fuzzDelta(std::span<const std::uint8_t> input) {
    const fuzzing::SplitInput split = fuzzing::splitInput(input);
    const vcdiff::Summary summary = vcdiff::describe(split.patch);
    FUZZ_CHECK(!summary.wellFormed ||
               (summary.windows > 0 && summary.targetSize <= largestTargetAccepted));
    if (summary.wellFormed && summary.targetSize > largestTargetRun) {
        return;
    }
    const vcdiff::Result result = vcdiff::apply(split.rom, split.patch);
    if (!summary.wellFormed) {
        FUZZ_CHECK(result.outcome == vcdiff::Outcome::Damaged);
    }
    if (result.outcome == vcdiff::Outcome::Applied) {
        FUZZ_CHECK(result.target.size() == summary.targetSize);
    } else {
        FUZZ_CHECK(result.target.empty());
    }
}

template <class Decode> void fuzzSections(std::span<const std::uint8_t> input, Decode decode) {
    if (input.size() < 2) {
        return;
    }
    std::vector<std::uint8_t> out(std::size_t{input[0]} << 8 | input[1]);
    std::size_t position = 2;
    while (position + 2 <= input.size()) {
        const std::size_t length = std::size_t{input[position]} << 8 | input[position + 1];
        position += 2;
        const std::size_t take =
            length < input.size() - position ? length : input.size() - position;
        if (!decode(input.subspan(position, take), std::span<std::uint8_t>(out))) {
            return;
        }
        position += take;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        fuzzDelta(rest);
        break;
    case 1:
        fuzzSections(rest, [](std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
            return decodeDjwSection(in, out);
        });
        break;
    case 2: {
        LzmaSectionStream stream;
        fuzzSections(rest, [&](std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
            return decodeLzmaSection(stream, in, out);
        });
        break;
    }
    default: {
        FgkState state;
        fuzzSections(rest, [&](std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
            return decodeFgkSection(state, in, out);
        });
        break;
    }
    }
    return 0;
}
