// Patch creation from an original and a modified image cut from one input
// (see split_input.h: a 3-byte big-endian length, the original, then the
// modified image). The IPS and BPS creators must refuse exactly the empty inputs (the
// images are under 16 MiB, so IPS can express every pair), and the program's
// own appliers must turn the original into the modified image with what they
// make; so must the xdelta creator's patches through the VCDIFF decoder.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "check.h"
#include "patch/formats.h"
#include "split_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::SplitInput input = fuzzing::splitInput({data, size});
    const auto original = input.rom;
    const auto modified = input.patch;
    const bool refused = original.empty() || modified.empty();

    const std::optional<Bytes> ipsPatch = ips::create(original, modified);
    FUZZ_CHECK(ipsPatch.has_value() != refused);
    if (ipsPatch) {
        Bytes image(original.begin(), original.end());
        FUZZ_CHECK(ips::applyToRom(image, *ipsPatch));
        FUZZ_CHECK(std::equal(image.begin(), image.end(), modified.begin(), modified.end()));
    }

    const std::optional<Bytes> bpsPatch = bps::create(original, modified);
    FUZZ_CHECK(bpsPatch.has_value() != refused);
    if (bpsPatch) {
        const std::optional<Bytes> target = bps::apply(original, *bpsPatch);
        FUZZ_CHECK(target.has_value());
        FUZZ_CHECK(std::equal(target->begin(), target->end(), modified.begin(), modified.end()));
    }

    const std::optional<Bytes> xdelta = vcdiff::create(original, modified);
    FUZZ_CHECK(xdelta.has_value() != refused);
    if (xdelta) {
        const vcdiff::Result decoded = vcdiff::apply(original, *xdelta);
        FUZZ_CHECK(decoded.outcome == vcdiff::Outcome::Applied);
        FUZZ_CHECK(std::equal(decoded.target.begin(), decoded.target.end(), modified.begin(),
                              modified.end()));
    }
    return 0;
}
