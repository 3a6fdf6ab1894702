#include "inspect/inspectors.h"

RomInfo inspectNes(ImageHead head) {
    const std::span<const std::uint8_t> image = head.bytes;
    RomInfo info;
    info.platform = RomPlatform::Nes;
    info.platformName = "Nintendo Entertainment System (NES)";
    info.fileSize = head.size;
    info.title = "NES Cartridge";
    // Bytes 4 and 5 count 16 KiB PRG and 8 KiB CHR units; the mapper number's
    // nibbles are the upper halves of flags 6 and 7. Nothing else is read.
    info.prgRomSize = image[4] * 16384u;
    info.chrRomSize = image[5] * 8192u;
    info.mapperNumber = static_cast<std::uint32_t>(image[6] >> 4) | (image[7] & 0xF0u);
    info.checksumValid = true;
    info.details = "Mapper: " + std::to_string(info.mapperNumber) +
                   ", PRG: " + std::to_string(info.prgRomSize / 1024) +
                   " KB, CHR: " + std::to_string(info.chrRomSize / 1024) + " KB";
    return info;
}
