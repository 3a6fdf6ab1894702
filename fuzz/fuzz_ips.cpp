// IPS application over a ROM and a patch cut from one input (see
// split_input.h: a 3-byte big-endian ROM length, the ROM, then the patch).
// The image can grow to at most 16 MiB + 64 KiB, whatever the patch says.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "check.h"
#include "patch/formats.h"
#include "split_input.h"

namespace {

// The farthest a record can reach: a 3-byte offset plus a 2-byte length.
constexpr std::size_t farthestRecordEnd = 0xFFFFFF + 0xFFFF;

bool hasMagic(std::span<const std::uint8_t> patch) {
    return patch.size() >= 5 && patch[0] == 'P' && patch[1] == 'A' && patch[2] == 'T' &&
           patch[3] == 'C' && patch[4] == 'H';
}

// The truncation size: the patch's last three bytes, big-endian.
std::size_t declaredSize(std::span<const std::uint8_t> patch) {
    const std::size_t n = patch.size();
    return std::size_t{patch[n - 3]} << 16 | std::size_t{patch[n - 2]} << 8 | patch[n - 1];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::SplitInput input = fuzzing::splitInput({data, size});
    Bytes image(input.rom.begin(), input.rom.end());
    const bool applied = ips::applyToRom(image, input.patch);

    // "PATCH" plus "EOF" is the shortest patch; an empty image is never patched.
    if (input.rom.empty() || input.patch.size() < 8 || !hasMagic(input.patch)) {
        FUZZ_CHECK(!applied);
    }
    // An end marker straight after the magic ends the patch: the image stays
    // as it was, but for the truncation size when exactly three bytes follow.
    if (!input.rom.empty() && hasMagic(input.patch) && input.patch.size() >= 8 &&
        input.patch[5] == 'E' && input.patch[6] == 'O' && input.patch[7] == 'F') {
        FUZZ_CHECK(applied);
        const std::size_t kept = input.patch.size() == 11
                                     ? std::min(input.rom.size(), declaredSize(input.patch))
                                     : input.rom.size();
        FUZZ_CHECK(std::equal(image.begin(), image.end(), input.rom.begin(),
                              input.rom.begin() + static_cast<std::ptrdiff_t>(kept)));
    }
    if (applied) {
        // Records only overwrite or append, and grow the image no farther than
        // a record can reach; only a patch ending in "EOF" and a size shrinks
        // it, to exactly that size.
        if (image.size() < input.rom.size()) {
            const std::size_t n = input.patch.size();
            FUZZ_CHECK(n >= 11 && input.patch[n - 6] == 'E' && input.patch[n - 5] == 'O' &&
                       input.patch[n - 4] == 'F');
            FUZZ_CHECK(image.size() == declaredSize(input.patch));
        }
        FUZZ_CHECK(image.size() <= std::max(input.rom.size(), farthestRecordEnd));
    }
    return 0;
}
