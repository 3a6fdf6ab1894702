#include <algorithm>
#include <array>

#include "io/output_file.h"
#include "repair/byte_swap.h"
#include "repair/repair.h"

namespace {

constexpr std::array<std::uint8_t, 4> z64Mark{0x80, 0x37, 0x12, 0x40};
constexpr std::array<std::uint8_t, 4> v64Mark{0x37, 0x80, 0x40, 0x12};
constexpr std::array<std::uint8_t, 4> n64Mark{0x40, 0x12, 0x37, 0x80};

bool startsWith(const Bytes& image, const std::array<std::uint8_t, 4>& mark) {
    return std::equal(mark.begin(), mark.end(), image.begin());
}

} // namespace

bool convertN64ImageToBigEndian(Bytes& image) {
    if (image.size() < 4) {
        return false;
    }
    if (startsWith(image, v64Mark)) {
        swapPairs(image);
    } else if (startsWith(image, n64Mark)) {
        reverseQuads(image);
    } else if (!startsWith(image, z64Mark)) {
        return false;
    }
    return true;
}

bool convertN64ToBigEndian(const std::string& inputPath, const std::string& outputPath) {
    return transformFile(inputPath, outputPath, convertN64ImageToBigEndian);
}
