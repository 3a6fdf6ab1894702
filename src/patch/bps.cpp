#include "patch/patch.h"

std::optional<RomImage> applyBpsPatchImage(std::span<const std::uint8_t> source,
                                           std::span<const std::uint8_t> patch) {
    (void)source;
    (void)patch;
    return std::nullopt;
}

bool applyBpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath) {
    (void)romPath;
    (void)patchPath;
    (void)outputPath;
    return false;
}
