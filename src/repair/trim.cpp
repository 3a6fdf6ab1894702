#include <bit>

#include "io/output_file.h"
#include "repair/repair.h"

namespace {

// Images are never cut below this size.
constexpr std::size_t minimumTrimmedSize = 4096;

} // namespace

bool trimOverdumpImage(Bytes& image) {
    if (image.empty()) {
        return false;
    }
    const std::uint8_t fill = image.back();
    if (fill != 0x00 && fill != 0xFF) {
        return true; // no padding to cut
    }
    // One backward pass; whole 64-byte blocks of fill are skipped at a time.
    constexpr std::size_t block = 64;
    std::size_t used = image.size();
    while (used >= minimumTrimmedSize + block) {
        std::uint8_t differs = 0;
        for (std::size_t i = used - block; i < used; ++i) {
            differs |= static_cast<std::uint8_t>(image[i] ^ fill);
        }
        if (differs != 0) {
            break;
        }
        used -= block;
    }
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
    return transformFile(inputPath, outputPath, trimOverdumpImage);
}
