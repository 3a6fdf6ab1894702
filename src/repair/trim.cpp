#include <bit>

#include "repair/repair.h"

namespace {

// Images are never cut below this size.
constexpr std::size_t minimumTrimmedSize = 4096;

} // namespace

bool trimOverdumpImage(RomImage& image) {
    if (image.empty()) {
        return false;
    }
    const std::uint8_t fill = image.back();
    if (fill != 0x00 && fill != 0xFF) {
        return true; // no padding to cut
    }
    std::size_t used = image.size();
    while (used > minimumTrimmedSize && image[used - 1] == fill) {
        --used;
    }
    const std::size_t powerOfTwo = std::bit_ceil(used);
    if (powerOfTwo < image.size()) {
        image.resize(powerOfTwo);
    }
    return true;
}

bool trimOverdump(const std::string& inputPath, const std::string& outputPath) {
    return transformRomFile(inputPath, outputPath, trimOverdumpImage);
}
