#include "base/byte_order.h"
#include "inspect/check_values.h"
#include "inspect/inspect.h"
#include "inspect/n64_checksum.h"
#include "inspect/snes_header.h"
#include "io/output_file.h"
#include "repair/repair.h"

namespace {

void repairGameBoy(Bytes& image) {
    image[gameBoyHeaderChecksum] = computeGameBoyHeaderChecksum(image);
    // The global checksum covers every byte but its own two, the new header
    // checksum included.
    const std::span<const std::uint8_t> bytes(image);
    const std::uint64_t sum = sumBytes(bytes.first(gameBoyGlobalChecksum)) +
                              sumBytes(bytes.subspan(gameBoyGlobalChecksum + 2));
    putBE(image, gameBoyGlobalChecksum, static_cast<std::uint16_t>(sum), 2);
}

void repairGameBoyAdvance(Bytes& image) {
    image[gbaComplement] = computeGbaComplement(image);
}

bool repairSnes(Bytes& image, bool copierHeader) {
    const SnesHeaderLocation where = locateSnesHeader(ImageHead{image, image.size()}, copierHeader);
    if (!where.credible) {
        // No header the console would read: the four bytes would land in
        // program code or data.
        return false;
    }
    // A credible header's block lies wholly inside the image.
    const std::uint64_t fields = where.headerStart + snesComplementOffset;
    // The copier header is not part of the cartridge data.
    const std::span<const std::uint8_t> cartridge =
        std::span<const std::uint8_t>(image).subspan(static_cast<std::size_t>(where.base));
    const std::uint16_t checksum = computeSnesChecksum(cartridge, fields - where.base);
    putLE(image, static_cast<std::size_t>(fields), static_cast<std::uint16_t>(~checksum), 2);
    putLE(image, static_cast<std::size_t>(fields) + 2, checksum, 2);
    return true;
}

// Stores the checksums the boot code expects, each byte where the image's
// own order keeps it, so that a .v64 or .n64 image stays in its order.
bool repairNintendo64(Bytes& image) {
    const std::optional<N64ByteOrder> order = n64ByteOrder(image);
    if (!order) {
        return false;
    }
    const std::optional<N64Checksums> checksums = computeN64Checksums(image, *order);
    if (!checksums) {
        return false; // too short to check, or a boot code whose rule is unknown
    }
    const auto putWord = [&](std::uint64_t canonical, std::uint32_t value) {
        for (std::uint64_t k = 0; k < 4; ++k) {
            const auto byte = static_cast<std::uint8_t>(value >> (24 - 8 * k));
            image[static_cast<std::size_t>(n64FileOffset(canonical + k, *order))] = byte;
        }
    };
    putWord(n64Crc1Offset, checksums->crc1);
    putWord(n64Crc2Offset, checksums->crc2);
    return true;
}

} // namespace

bool fixChecksumImage(Bytes& image) {
    // Detection runs on the bytes already read, so that the fields written are
    // those of the image in hand.
    const RomInfo info = inspectImage(image);
    switch (info.platform) {
    case RomPlatform::GameBoy:
        repairGameBoy(image);
        return true;
    case RomPlatform::GameBoyAdvance:
        repairGameBoyAdvance(image);
        return true;
    case RomPlatform::Snes:
        return repairSnes(image, info.hasCopierHeader);
    case RomPlatform::Genesis:
        if (image.size() < genesisSummedStart) {
            return false;
        }
        // The inspection has just summed the words; the sum is not taken twice.
        putBE(image, genesisChecksum, static_cast<std::uint16_t>(info.computedChecksum), 2);
        return true;
    case RomPlatform::Nintendo64:
        return repairNintendo64(image);
    case RomPlatform::Unknown:
    case RomPlatform::Nes:
        break;
    }
    return false;
}

bool fixChecksum(const std::string& inputPath, const std::string& outputPath) {
    return transformFile(inputPath, outputPath, fixChecksumImage);
}
