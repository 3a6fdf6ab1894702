#include "repair/byte_swap.h"
#include "repair/repair.h"

bool swapSaveRam16Image(RomImage& image) {
    if (image.size() < 2) {
        return false;
    }
    swapPairs(image);
    return true;
}

bool swapSaveRam16(const std::string& inputPath, const std::string& outputPath) {
    return transformRomFile(inputPath, outputPath, swapSaveRam16Image);
}
