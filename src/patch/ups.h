#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "base/bytes.h"
#include "patch/patch_info.h"

// UPS: "UPS1", the source and target sizes as BPS numbers, then hunks up to
// the last 12 bytes (a skip from the current position, then bytes XORed onto
// the image up to and including a 0x00 byte), then the CRC-32 of the source,
// of the target and of the patch before its own, little-endian. XOR makes the
// patch work both ways: applied to its target it gives back the source.
namespace ups {

constexpr std::array<std::uint8_t, 4> magic{'U', 'P', 'S', '1'};
constexpr std::uint64_t footerSize = 12;

// The sizes and CRCs; sizesReadable is false when the sizes do not end
// before the footer.
UpsSummary readSummary(std::span<const std::uint8_t> patch);

bool isSource(const UpsSummary& summary, std::span<const std::uint8_t> bytes);
bool isTarget(const UpsSummary& summary, std::span<const std::uint8_t> bytes);

// The other side of input, outputSize bytes long: input cut or padded with
// zeros, the hunks XORed on (bytes past the output are dropped). nullopt when
// a hunk is malformed (a skip cut off or beyond 64 bits, XOR bytes without
// their 0x00 before the footer) or the memory cannot be had. The sizes and
// CRCs are the caller's to check.
std::optional<Bytes> applyHunks(std::span<const std::uint8_t> input,
                                   std::span<const std::uint8_t> patch, std::uint64_t hunksAt,
                                   std::uint64_t outputSize);

// The one canonical patch: both sides padded with zeros to the larger size,
// each maximal run of differing positions one hunk, the true CRCs.
Bytes createPatch(std::span<const std::uint8_t> original,
                     std::span<const std::uint8_t> modified);

} // namespace ups
