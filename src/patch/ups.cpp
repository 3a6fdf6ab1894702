#include "patch/ups.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "hash/digests.h"
#include "patch/bps_number.h"
#include "patch/crc_footer.h"

namespace {

// The largest output made, as for BPS: a size number can claim up to 2^64 - 1
// bytes, and 4 GiB is far beyond any cartridge image.
constexpr std::uint64_t maximumOutputSize =
    std::min<std::uint64_t>(std::uint64_t{1} << 32, std::numeric_limits<std::size_t>::max());

} // namespace

namespace ups {

UpsSummary readSummary(std::span<const std::uint8_t> patch) {
    UpsSummary summary;
    if (patch.size() < magic.size() + footerSize) {
        return summary;
    }
    const std::uint64_t footer = patch.size() - footerSize;
    std::uint64_t p = magic.size();
    const std::optional<std::uint64_t> source = readBpsNumber(patch, p, footer);
    const std::optional<std::uint64_t> target =
        source ? readBpsNumber(patch, p, footer) : std::nullopt;
    if (!target) {
        return summary;
    }
    summary.sizesReadable = true;
    summary.sourceSize = *source;
    summary.targetSize = *target;
    summary.hunksAt = p;
    summary.sourceCrc = readLittleEndian32(patch, footer);
    summary.targetCrc = readLittleEndian32(patch, footer + 4);
    summary.patchCrc = readLittleEndian32(patch, footer + 8);
    summary.computedPatchCrc = crc32(patch.first(static_cast<std::size_t>(footer + 8)));
    return summary;
}

bool isSource(const UpsSummary& summary, std::span<const std::uint8_t> bytes) {
    return bytes.size() == summary.sourceSize && crc32(bytes) == summary.sourceCrc;
}

bool isTarget(const UpsSummary& summary, std::span<const std::uint8_t> bytes) {
    return bytes.size() == summary.targetSize && crc32(bytes) == summary.targetCrc;
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
        const std::optional<std::uint64_t> skip = readBpsNumber(patch, p, hunksEnd);
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
