#include "inspect/check_values.h"
#include "inspect/header_text.h"
#include "inspect/inspect.h"

std::uint64_t sumBytes(std::span<const std::uint8_t> bytes) {
    std::uint64_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum += byte;
    }
    return sum;
}

std::uint16_t computeGenesisChecksum(std::span<const std::uint8_t> image) {
    if (image.size() <= genesisSummedStart) {
        return 0;
    }
    const auto words = image.subspan(static_cast<std::size_t>(genesisSummedStart));
    // High and low bytes are summed apart so that the loop vectorises; a final
    // odd byte belongs to no word.
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    const std::size_t wordCount = words.size() / 2;
    for (std::size_t k = 0; k < wordCount; ++k) {
        high += words[2 * k];
        low += words[2 * k + 1];
    }
    return static_cast<std::uint16_t>((high << 8) + low);
}

RomInfo inspectGenesis(std::span<const std::uint8_t> image) {
    RomInfo info;
    info.platform = RomPlatform::Genesis;
    info.platformName = "Sega Genesis / Mega Drive";
    info.fileSize = image.size();
    info.title = readHeaderText(image, genesisTitle, 48, true);
    info.storedChecksum = static_cast<std::uint32_t>(image[genesisChecksum] << 8) |
                          image[genesisChecksum + 1];
    info.computedChecksum = computeGenesisChecksum(image);
    info.checksumValid = info.computedChecksum == info.storedChecksum;
    info.details = "Checksum: 0x" + hexDigits(info.computedChecksum) +
                   (info.checksumValid ? " (Matched)" : " (Mismatch!)");
    return info;
}
