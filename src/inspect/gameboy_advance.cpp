#include "inspect/check_values.h"
#include "inspect/header_text.h"
#include "inspect/inspectors.h"

std::uint8_t computeGbaComplement(std::span<const std::uint8_t> image) {
    std::uint8_t sum = 0;
    for (std::uint64_t i = gbaTitle; i < gbaComplement; ++i) {
        sum = static_cast<std::uint8_t>(sum + image[static_cast<std::size_t>(i)]);
    }
    return static_cast<std::uint8_t>(0xE7 - sum);
}

RomInfo inspectGameBoyAdvance(ImageHead head) {
    const std::span<const std::uint8_t> image = head.bytes;
    RomInfo info;
    info.platform = RomPlatform::GameBoyAdvance;
    info.platformName = "Nintendo Game Boy Advance";
    info.fileSize = head.size;
    info.title = readHeaderText(image, gbaTitle, 12, true);
    // The game code is taken as stored: it ends at its first zero byte.
    info.gameCode = readHeaderText(image, gbaGameCode, 4, false);
    info.computedChecksum = computeGbaComplement(image);
    info.storedChecksum = image[gbaComplement];
    info.checksumValid = info.storedChecksum == info.computedChecksum;
    return info;
}
