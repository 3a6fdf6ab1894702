// BPS application over a source and a patch cut from one input (see
// split_input.h: a 3-byte big-endian source length, the source, then the
// patch).
//
// A patch may legitimately declare a target of up to 4 GiB, which is
// allocated before any command runs. The harness reads the declared size
// itself and skips inputs declaring more than 64 MiB (the largest cartridge
// images), so that the fuzzer never spends its time and memory on huge zero
// buffers; declarations over 4 GiB are still run, since they must be
// rejected before anything is allocated. Targets of up to 1 MiB are also
// compared with a byte-by-byte model of the format.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "check.h"
#include "patch/formats.h"
#include "split_input.h"

namespace {

constexpr std::uint64_t largestTargetRun = std::uint64_t{64} << 20;
constexpr std::uint64_t largestTargetAccepted = std::uint64_t{1} << 32;
// Targets up to this size are also compared with the byte-by-byte model.
constexpr std::uint64_t largestTargetCompared = std::uint64_t{1} << 20;
constexpr std::size_t footerSize = 12;

bool hasMagic(std::span<const std::uint8_t> patch) {
    return patch.size() >= 4 && patch[0] == 'B' && patch[1] == 'P' && patch[2] == 'S' &&
           patch[3] == '1';
}

// The format's variable-length number, worked out apart from the patcher's
// running sum: the bytes up to the one with bit 7 are gathered first, then
// folded from the most significant down, each byte below the last adding 128
// to what is above it (the encoding's one-subtracted-per-continuation). A
// number cut off at the end of the patch reads as if a 0x80 followed. Both
// wrap the same way in 64 bits.
std::uint64_t readNumber(std::span<const std::uint8_t> patch, std::size_t& position) {
    std::vector<std::uint8_t> groups;
    bool ended = false;
    while (position < patch.size() && !ended) {
        const std::uint8_t x = patch[position++];
        groups.push_back(static_cast<std::uint8_t>(x & 0x7Fu));
        ended = (x & 0x80u) != 0;
    }
    if (!ended) {
        groups.push_back(0);
    }
    std::uint64_t value = groups.back();
    for (std::size_t i = groups.size() - 1; i-- > 0;) {
        value = value * 128 + 128 + groups[i];
    }
    return value;
}

struct Header {
    // nullopt when the patch ends inside the source size or right after it,
    // which makes an empty target.
    std::optional<std::uint64_t> targetSize;
    // Where the commands begin, past the metadata (at most the patch size).
    std::size_t commandStart = 0;
};

Header readHeader(std::span<const std::uint8_t> patch) {
    Header header;
    std::size_t position = 4;
    (void)readNumber(patch, position);
    if (position >= patch.size()) {
        header.commandStart = patch.size();
        return header;
    }
    header.targetSize = readNumber(patch, position);
    const std::uint64_t metadataSize = position < patch.size() ? readNumber(patch, position) : 0;
    header.commandStart = metadataSize < patch.size() - position
                              ? position + static_cast<std::size_t>(metadataSize)
                              : patch.size();
    return header;
}

// The target as the format defines it, built one byte at a time: a slow but
// plain model of the patcher, which copies in chunks. Reads outside the
// source or the target give 0x00; every copy stops at the end of the target,
// a literal also at the end of the patch.
std::vector<std::uint8_t> referenceTarget(std::span<const std::uint8_t> source,
                                          std::span<const std::uint8_t> patch,
                                          const Header& header) {
    const auto size = static_cast<std::size_t>(header.targetSize.value_or(0));
    std::vector<std::uint8_t> target(size, 0);
    const std::size_t commandEnd = patch.size() - footerSize;
    std::size_t position = header.commandStart;
    std::uint64_t out = 0;
    std::uint64_t sourceRelative = 0;
    std::uint64_t targetRelative = 0;
    const auto adjust = [&](std::uint64_t& relative) {
        if (position < patch.size()) {
            const std::uint64_t d = readNumber(patch, position);
            relative = (d & 1u) != 0 ? relative - (d >> 1) : relative + (d >> 1);
        }
    };
    while (position < commandEnd && out < size) {
        const std::uint64_t word = readNumber(patch, position);
        const std::uint64_t length = (word >> 2) + 1;
        const std::uint64_t end = out + std::min<std::uint64_t>(length, size - out);
        switch (word & 3u) {
        case 0:
            for (; out < end; ++out) {
                target[out] = out < source.size() ? source[out] : 0;
            }
            break;
        case 1:
            for (; out < end && position < patch.size(); ++out) {
                target[out] = patch[position++];
            }
            break;
        case 2:
            adjust(sourceRelative);
            for (; out < end; ++out, ++sourceRelative) {
                target[out] = sourceRelative < source.size() ? source[sourceRelative] : 0;
            }
            break;
        default:
            adjust(targetRelative);
            for (; out < end; ++out, ++targetRelative) {
                target[out] = targetRelative < size ? target[targetRelative] : 0;
            }
            break;
        }
    }
    return target;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::SplitInput input = fuzzing::splitInput({data, size});

    if (input.rom.empty() || input.patch.size() < footerSize || !hasMagic(input.patch)) {
        FUZZ_CHECK(!bps::apply(input.rom, input.patch).has_value());
        return 0;
    }
    const Header header = readHeader(input.patch);
    const std::optional<std::uint64_t> declared = header.targetSize;
    if (declared && *declared > largestTargetAccepted) {
        FUZZ_CHECK(!bps::apply(input.rom, input.patch).has_value());
        return 0;
    }
    if (declared && *declared > largestTargetRun) {
        return 0;
    }
    // Once the header is accepted the patcher is lenient: the target always
    // has exactly the declared size, whatever the commands do.
    const std::optional<Bytes> target = bps::apply(input.rom, input.patch);
    FUZZ_CHECK(target.has_value());
    FUZZ_CHECK(target->size() == declared.value_or(0));
    if (target->size() <= largestTargetCompared) {
        const std::vector<std::uint8_t> expected = referenceTarget(input.rom, input.patch, header);
        FUZZ_CHECK(std::equal(target->begin(), target->end(), expected.begin(), expected.end()));
    }
    return 0;
}
