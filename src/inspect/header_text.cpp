#include "inspect/header_text.h"

std::string readHeaderText(std::span<const std::uint8_t> image, std::uint64_t offset,
                           std::size_t length, bool sanitise) {
    std::string text;
    for (std::size_t i = 0; i < length && offset < image.size() && i < image.size() - offset; ++i) {
        std::uint8_t byte = image[static_cast<std::size_t>(offset) + i];
        if (sanitise && (byte < 0x20 || byte > 0x7E)) {
            byte = 0x20;
        }
        if (byte == 0) {
            break;
        }
        text.push_back(static_cast<char>(byte));
    }
    return text;
}
