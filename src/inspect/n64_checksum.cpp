#include "inspect/n64_checksum.h"

#include <algorithm>
#include <array>
#include <bit>

#include "hash/digests.h"

namespace {

using Mark = std::array<std::uint8_t, 4>;

struct OrderMark {
    N64ByteOrder order;
    Mark mark;
};

constexpr std::array<OrderMark, 3> orderMarks{{
    {N64ByteOrder::Z64, {0x80, 0x37, 0x12, 0x40}},
    {N64ByteOrder::V64, {0x37, 0x80, 0x40, 0x12}},
    {N64ByteOrder::N64, {0x40, 0x12, 0x37, 0x80}},
}};

struct BootCodeRow {
    std::uint32_t crc32; // of bytes 0x40..0xFFF
    N64BootCode bootCode;
    std::uint32_t seed; // the starting value of the six accumulators
};

// The boot codes of the retail chips as the field's checksum tools list them;
// the 7101, 7103, 7105 and 7106 carry the boot code of their 610x twin.
constexpr std::array<BootCodeRow, 6> bootCodes{{
    {0x6170A4A1, N64BootCode::Cic6101, 0xF8CA4DDC},
    {0x90BB6CB5, N64BootCode::Cic6102, 0xF8CA4DDC},
    {0x009E9EA3, N64BootCode::Cic7102, 0xF8CA4DDC},
    {0x0B050EE0, N64BootCode::Cic6103, 0xA3886759},
    {0x98BC2C86, N64BootCode::Cic6105, 0xDF26F436},
    {0xACC8580A, N64BootCode::Cic6106, 0x1FEA617A},
}};

// The 6105 folds in words of its own boot code from here, stepping through a
// 256-byte window as the position in the checksummed data advances.
constexpr std::uint64_t cic6105Table = 0x750;

// Reads big-endian words of the canonical image out of a file of any order.
struct CanonicalWords {
    std::span<const std::uint8_t> image;
    N64ByteOrder order;

    std::uint8_t byte(std::uint64_t canonical) const {
        return image[static_cast<std::size_t>(n64FileOffset(canonical, order))];
    }
    std::uint32_t word(std::uint64_t canonical) const {
        return static_cast<std::uint32_t>(byte(canonical)) << 24 |
               static_cast<std::uint32_t>(byte(canonical + 1)) << 16 |
               static_cast<std::uint32_t>(byte(canonical + 2)) << 8 | byte(canonical + 3);
    }
};

const BootCodeRow* findBootCode(std::uint32_t crc) {
    const auto* row = std::find_if(bootCodes.begin(), bootCodes.end(),
                                   [crc](const BootCodeRow& r) { return r.crc32 == crc; });
    return row != bootCodes.end() ? row : nullptr;
}

} // namespace

std::optional<N64ByteOrder> n64ByteOrder(std::span<const std::uint8_t> image) {
    if (image.size() < 4) {
        return std::nullopt;
    }
    for (const OrderMark& row : orderMarks) {
        if (std::equal(row.mark.begin(), row.mark.end(), image.begin())) {
            return row.order;
        }
    }
    return std::nullopt;
}

std::optional<N64BootCode> identifyN64BootCode(std::uint32_t bootCodeCrc32) {
    const BootCodeRow* row = findBootCode(bootCodeCrc32);
    return row != nullptr ? std::optional(row->bootCode) : std::nullopt;
}

N64Checksums storedN64Checksums(std::span<const std::uint8_t> image, N64ByteOrder order) {
    const CanonicalWords words{image, order};
    return {words.word(n64Crc1Offset), words.word(n64Crc2Offset)};
}

std::optional<N64Checksums> computeN64Checksums(std::span<const std::uint8_t> image,
                                                N64ByteOrder order) {
    if (image.size() < n64ChecksummedEnd) {
        return std::nullopt;
    }
    const CanonicalWords words{image, order};
    std::array<std::uint8_t, n64ChecksummedStart - n64BootCodeStart> bootCode{};
    for (std::size_t i = 0; i < bootCode.size(); ++i) {
        bootCode[i] = words.byte(n64BootCodeStart + i);
    }
    const BootCodeRow* row = findBootCode(crc32(bootCode));
    if (row == nullptr) {
        return std::nullopt;
    }

    const bool is6105 = row->bootCode == N64BootCode::Cic6105;
    std::uint32_t t1 = row->seed;
    std::uint32_t t2 = row->seed;
    std::uint32_t t3 = row->seed;
    std::uint32_t t4 = row->seed;
    std::uint32_t t5 = row->seed;
    std::uint32_t t6 = row->seed;
    for (std::uint64_t i = n64ChecksummedStart; i < n64ChecksummedEnd; i += 4) {
        const std::uint32_t d = words.word(i);
        if (t6 + d < t6) {
            ++t4; // the carry out of t6
        }
        t6 += d;
        t3 ^= d;
        const std::uint32_t r = std::rotl(d, static_cast<int>(d & 31));
        t5 += r;
        if (t2 > d) {
            t2 ^= r;
        } else {
            t2 ^= t6 ^ d;
        }
        // i is the byte offset in the image; its low byte picks the 6105's word.
        t1 += (is6105 ? words.word(cic6105Table + (i & 0xFF)) : t5) ^ d;
    }
    switch (row->bootCode) {
    case N64BootCode::Cic6103:
        return N64Checksums{(t6 ^ t4) + t3, (t5 ^ t2) + t1};
    case N64BootCode::Cic6106:
        return N64Checksums{t6 * t4 + t3, t5 * t2 + t1};
    case N64BootCode::Cic6101:
    case N64BootCode::Cic6102:
    case N64BootCode::Cic7102:
    case N64BootCode::Cic6105:
        break;
    }
    return N64Checksums{t6 ^ t4 ^ t3, t5 ^ t2 ^ t1};
}
