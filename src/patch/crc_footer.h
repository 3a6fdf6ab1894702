#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/byte_order.h"
#include "hash/digests.h"

// The footer BPS and UPS share: the CRC-32 of the source, of the target and
// of the patch before this last value, each little-endian.
constexpr std::uint64_t crcFooterSize = 12;

struct CrcFooter {
    std::uint32_t sourceCrc = 0;
    std::uint32_t targetCrc = 0;
    std::uint32_t patchCrc = 0;         // as stored
    std::uint32_t computedPatchCrc = 0; // over every byte before the stored value
};

// The footer of a patch of at least crcFooterSize bytes.
inline CrcFooter readCrcFooter(std::span<const std::uint8_t> patch) {
    const std::size_t footer = patch.size() - static_cast<std::size_t>(crcFooterSize);
    return {readLE32(patch, footer), readLE32(patch, footer + 4), readLE32(patch, footer + 8),
            crc32(patch.first(footer + 8))};
}

inline bool patchCrcHolds(const CrcFooter& footer) {
    return footer.patchCrc == footer.computedPatchCrc;
}

template <class ByteVector>
void appendCrcFooter(ByteVector& patch, std::uint32_t sourceCrc, std::uint32_t targetCrc) {
    appendLE(patch, sourceCrc, 4);
    appendLE(patch, targetCrc, 4);
    appendLE(patch, crc32(patch), 4);
}
