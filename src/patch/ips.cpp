#include "patch/patch.h"

bool applyIpsPatchImage(RomImage& image, std::span<const std::uint8_t> patch) {
    (void)image;
    (void)patch;
    return false;
}

bool applyIpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath) {
    (void)romPath;
    (void)patchPath;
    (void)outputPath;
    return false;
}
