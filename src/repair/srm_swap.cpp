#include "io/output_file.h"
#include "repair/byte_swap.h"
#include "repair/repair.h"

bool swapSaveRam16Image(Bytes& image) {
    if (image.size() < 2) {
        return false;
    }
    swapPairs(image);
    return true;
}

bool swapSaveRam16(const std::string& inputPath, const std::string& outputPath) {
    return transformFile(inputPath, outputPath, swapSaveRam16Image);
}
