#include "inspect/snes_header.h"

#include <array>
#include <bit>

#include "inspect/check_values.h"

bool hasCopierHeaderSize(std::uint64_t size) { return size % 1024 == copierHeaderSize; }

std::uint16_t readLittleEndian16(std::span<const std::uint8_t> image, std::uint64_t offset) {
    const auto at = static_cast<std::size_t>(offset);
    return static_cast<std::uint16_t>(image[at] | (image[at + 1] << 8));
}

SnesHeaderLocation locateSnesHeader(std::span<const std::uint8_t> image, bool copierHeader) {
    const std::uint64_t base = copierHeader ? copierHeaderSize : 0;
    const std::uint64_t loRom = base + snesLoRomHeader;
    if (image.size() >= base + snesHiRomHeader + snesComplementOffset) {
        const std::uint16_t complement = readLittleEndian16(image, loRom + snesComplementOffset);
        const std::uint16_t checksum = readLittleEndian16(image, loRom + snesChecksumOffset);
        if ((complement ^ checksum) != 0xFFFF) {
            return {base, base + snesHiRomHeader, true};
        }
    }
    return {base, loRom, false};
}

std::uint16_t computeSnesChecksum(std::span<const std::uint8_t> data, std::uint64_t fieldsAt) {
    const std::uint64_t size = data.size();
    // How often the byte at an offset is read: once in the first block; in the
    // mirrored part, once per whole repetition plus once more where the last,
    // partial repetition reaches it.
    std::uint64_t block = size;
    std::uint64_t repeats = 1;
    std::uint64_t partial = 0;
    if (!std::has_single_bit(size)) {
        block = std::bit_floor(size);
        const std::uint64_t mirrored = size - block;
        repeats = block / mirrored;
        partial = block % mirrored;
    }
    const auto reads = [&](std::uint64_t offset) -> std::uint64_t {
        if (offset < block) {
            return 1;
        }
        return repeats + (offset - block < partial ? 1 : 0);
    };

    const auto first = static_cast<std::size_t>(block);
    const std::span<const std::uint8_t> tail = data.subspan(first);
    std::uint64_t sum = sumBytes(data.first(first));
    if (!tail.empty()) {
        sum += repeats * sumBytes(tail) + sumBytes(tail.first(static_cast<std::size_t>(partial)));
    }
    // Every read of the pair counts its agreeing values instead of the stored ones.
    constexpr std::array<std::uint8_t, 4> agreeing{0xFF, 0xFF, 0x00, 0x00};
    for (std::size_t i = 0; i < agreeing.size(); ++i) {
        const std::uint64_t offset = fieldsAt + i;
        const std::uint8_t stored = data[static_cast<std::size_t>(offset)];
        sum += reads(offset) * agreeing[i];
        sum -= reads(offset) * stored;
    }
    return static_cast<std::uint16_t>(sum);
}
