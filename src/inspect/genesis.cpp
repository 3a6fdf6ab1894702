#include <algorithm>

#include "base/byte_order.h"
#include "base/hex.h"
#include "inspect/check_values.h"
#include "inspect/header_text.h"
#include "inspect/inspectors.h"

// Both sums run in blocks small enough for 32-bit lanes not to overflow
// (65,536 bytes of at most 255, or 32,768 words of at most 65,535), which lets
// the compiler vectorise the inner loops.
constexpr std::size_t sumBlock = 32768;

std::uint64_t sumBytes(std::span<const std::uint8_t> bytes) {
    std::uint64_t sum = 0;
    for (std::size_t start = 0; start < bytes.size(); start += sumBlock) {
        const std::size_t end = std::min(bytes.size(), start + sumBlock);
        std::uint32_t block = 0;
        for (std::size_t i = start; i < end; ++i) {
            block += bytes[i];
        }
        sum += block;
    }
    return sum;
}

std::uint16_t computeGenesisChecksum(std::span<const std::uint8_t> image) {
    if (image.size() <= genesisSummedStart) {
        return 0;
    }
    const auto words = image.subspan(static_cast<std::size_t>(genesisSummedStart));
    const std::size_t wordCount = words.size() / 2; // a final odd byte belongs to no word
    std::uint64_t sum = 0;
    for (std::size_t start = 0; start < wordCount; start += sumBlock) {
        const std::size_t end = std::min(wordCount, start + sumBlock);
        std::uint32_t block = 0;
        for (std::size_t k = start; k < end; ++k) {
            block += static_cast<std::uint32_t>(words[2 * k] << 8 | words[2 * k + 1]);
        }
        sum += block;
    }
    return static_cast<std::uint16_t>(sum);
}

RomInfo inspectGenesis(ImageHead head) {
    const std::span<const std::uint8_t> image = head.bytes;
    RomInfo info;
    info.platform = RomPlatform::Genesis;
    info.platformName = "Sega Genesis / Mega Drive";
    info.fileSize = head.size;
    info.title = readHeaderText(image, genesisTitle, 48, true);
    info.storedChecksum = readBE16(image, genesisChecksum);
    info.computedChecksum = computeGenesisChecksum(image);
    info.checksumValid = info.computedChecksum == info.storedChecksum;
    info.details = "Checksum: 0x" + hexUpper(info.computedChecksum) +
                   (info.checksumValid ? " (Matched)" : " (Mismatch!)");
    return info;
}
