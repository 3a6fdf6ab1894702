#include "inspect/check_values.h"
#include "inspect/inspect.h"
#include "inspect/snes_header.h"
#include "repair/repair.h"

namespace {

void putBigEndian16(RomImage& image, std::uint64_t offset, std::uint16_t value) {
    image[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value >> 8);
    image[static_cast<std::size_t>(offset) + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

void putLittleEndian16(RomImage& image, std::uint64_t offset, std::uint16_t value) {
    image[static_cast<std::size_t>(offset)] = static_cast<std::uint8_t>(value & 0xFF);
    image[static_cast<std::size_t>(offset) + 1] = static_cast<std::uint8_t>(value >> 8);
}

void repairGameBoy(RomImage& image) {
    image[gameBoyHeaderChecksum] = computeGameBoyHeaderChecksum(image);
    // The global checksum covers every byte but its own two, the new header
    // checksum included.
    const std::span<const std::uint8_t> bytes(image);
    const std::uint64_t sum = sumBytes(bytes.first(gameBoyGlobalChecksum)) +
                              sumBytes(bytes.subspan(gameBoyGlobalChecksum + 2));
    putBigEndian16(image, gameBoyGlobalChecksum, static_cast<std::uint16_t>(sum));
}

void repairGameBoyAdvance(RomImage& image) { image[gbaComplement] = computeGbaComplement(image); }

bool repairSnes(RomImage& image, bool copierHeader) {
    const SnesHeaderLocation where = locateSnesHeader(image, copierHeader);
    const std::uint64_t fields = where.headerStart + snesComplementOffset;
    if (image.size() < fields + 4) {
        // A HiROM choice on an image too short to hold the HiROM fields.
        return false;
    }
    // The copier header is not part of the cartridge data.
    const std::span<const std::uint8_t> cartridge = std::span<const std::uint8_t>(image).subspan(
        static_cast<std::size_t>(where.base));
    const std::uint16_t checksum = computeSnesChecksum(cartridge, fields - where.base);
    putLittleEndian16(image, fields, static_cast<std::uint16_t>(~checksum));
    putLittleEndian16(image, fields + 2, checksum);
    return true;
}

} // namespace

bool fixChecksumImage(RomImage& image) {
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
        putBigEndian16(image, genesisChecksum, static_cast<std::uint16_t>(info.computedChecksum));
        return true;
    case RomPlatform::Unknown:
    case RomPlatform::Nes:
    case RomPlatform::Nintendo64:
        break;
    }
    return false;
}

bool fixChecksum(const std::string& inputPath, const std::string& outputPath) {
    return transformRomFile(inputPath, outputPath, fixChecksumImage);
}
