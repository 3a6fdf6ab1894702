#include "inspect/inspectors.h"

#include "base/byte_order.h"
#include "inspect/header_text.h"
#include "inspect/snes_header.h"

RomInfo inspectSnes(ImageHead head) {
    RomInfo info;
    info.platform = RomPlatform::Snes;
    info.platformName = "Super Nintendo (SNES)";
    info.fileSize = head.size;
    info.hasCopierHeader = hasCopierHeaderSize(head.size);

    const SnesHeaderLocation where = locateSnesHeader(head, info.hasCopierHeader);
    info.credibleHeader = where.credible;
    const std::span<const std::uint8_t> header =
        bytesAt(head, where.headerStart, static_cast<std::size_t>(snesHeaderLength));
    if (header.empty()) {
        return info; // the header taken is cut off by the end of the image
    }
    info.title = readHeaderText(header, 0, 21, true);
    const std::uint16_t complement = readLE16(header, snesComplementOffset);
    const std::uint16_t checksum = readLE16(header, snesChecksumOffset);
    info.storedChecksum = checksum;
    info.checksumValid = (complement ^ checksum) == 0xFFFF;
    switch (where.mapping) {
    case SnesMapping::LoRom:
        info.details = "Mapping: LoROM";
        break;
    case SnesMapping::HiRom:
        info.details = "Mapping: HiROM";
        break;
    case SnesMapping::ExHiRom:
        info.details = "Mapping: ExHiROM";
        break;
    }
    if (info.hasCopierHeader) {
        info.details += " (512-byte copier header detected)";
    }
    return info;
}
