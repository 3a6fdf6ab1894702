#include "base/hex.h"
#include "inspect/check_values.h"
#include "inspect/header_text.h"
#include "inspect/inspectors.h"

std::uint8_t computeGameBoyHeaderChecksum(std::span<const std::uint8_t> image) {
    std::uint8_t x = 0;
    for (std::uint64_t i = gameBoyTitle; i < gameBoyHeaderChecksum; ++i) {
        x = static_cast<std::uint8_t>(x - image[static_cast<std::size_t>(i)] - 1);
    }
    return x;
}

RomInfo inspectGameBoy(ImageHead head) {
    const std::span<const std::uint8_t> image = head.bytes;
    RomInfo info;
    info.platform = RomPlatform::GameBoy;
    info.platformName = "Nintendo Game Boy / GBC";
    info.fileSize = head.size;
    // The title area is taken whole, manufacturer code and colour flag included.
    info.title = readHeaderText(image, gameBoyTitle, 16, true);
    info.computedChecksum = computeGameBoyHeaderChecksum(image);
    info.storedChecksum = image[gameBoyHeaderChecksum];
    info.checksumValid = info.storedChecksum == info.computedChecksum;
    info.details = "Cartridge Type: 0x" + hexUpper(image[gameBoyCartridgeType]);
    return info;
}
