#include "inspect/image_head.h"

std::span<const std::uint8_t> bytesAt(ImageHead image, std::uint64_t offset, std::size_t length) {
    const auto inside = [&](std::span<const std::uint8_t> part, std::uint64_t start) {
        return offset >= start && offset - start <= part.size() &&
               length <= part.size() - (offset - start);
    };
    if (inside(image.bytes, 0)) {
        return image.bytes.subspan(static_cast<std::size_t>(offset), length);
    }
    if (inside(image.far, image.farOffset)) {
        return image.far.subspan(static_cast<std::size_t>(offset - image.farOffset), length);
    }
    return {};
}
