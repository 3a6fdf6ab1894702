#pragma once

// Puts the real CRC-32 values into the footer of a BpsPatch built patch, for
// tests that check the values rather than patch with them.

#include <cstdint>
#include <span>

#include "hash/digests.h"
#include "patch_builders.h"

namespace testing_support {

inline void putLittleEndian32(ByteList& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Source and target CRCs, then the patch's own CRC (spoilt on request).
inline ByteList withBpsCrcs(ByteList patch, std::span<const std::uint8_t> source,
                            std::span<const std::uint8_t> target, bool spoilPatchCrc = false) {
    const std::size_t footer = patch.size() - 12;
    putLittleEndian32(patch, footer, crc32(source));
    putLittleEndian32(patch, footer + 4, crc32(target));
    const std::uint32_t own = crc32(std::span<const std::uint8_t>(patch).first(footer + 8));
    putLittleEndian32(patch, footer + 8, spoilPatchCrc ? own ^ 1u : own);
    return patch;
}

// A BPS patch that writes the target whole, made for the source.
inline ByteList bpsWritingWhole(std::span<const std::uint8_t> source,
                                std::span<const std::uint8_t> target, bool spoilPatchCrc = false) {
    return withBpsCrcs(BpsPatch(source.size(), target.size()).targetRead(target).bytes(), source,
                       target, spoilPatchCrc);
}

} // namespace testing_support
