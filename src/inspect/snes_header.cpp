#include "inspect/snes_header.h"

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
