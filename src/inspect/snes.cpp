#include "inspect/inspect.h"

#include "inspect/header_text.h"
#include "inspect/snes_header.h"

RomInfo inspectSnes(ImageHead head) {
    const std::span<const std::uint8_t> image = head.bytes;
    RomInfo info;
    info.platform = RomPlatform::Snes;
    info.platformName = "Super Nintendo (SNES)";
    info.fileSize = head.size;
    info.hasCopierHeader = hasCopierHeaderSize(head.size);

    const SnesHeaderLocation where = locateSnesHeader(image, info.hasCopierHeader);
    const std::uint64_t h = where.headerStart;
    if (image.size() < h + snesHeaderLength) {
        return info; // the chosen header is cut off by the end of the image
    }
    info.title = readHeaderText(image, h, 21, true);
    const std::uint16_t complement = readLittleEndian16(image, h + snesComplementOffset);
    const std::uint16_t checksum = readLittleEndian16(image, h + snesChecksumOffset);
    info.storedChecksum = checksum;
    info.checksumValid = (complement ^ checksum) == 0xFFFF;
    info.details = where.hiRom ? "Mapping: HiROM" : "Mapping: LoROM";
    if (info.hasCopierHeader) {
        info.details += " (512-byte copier header detected)";
    }
    return info;
}
