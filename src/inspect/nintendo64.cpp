#include <algorithm>
#include <array>

#include "inspect/header_text.h"
#include "inspect/inspect.h"

namespace {

struct ByteOrder {
    std::array<std::uint8_t, 4> mark;
    const char* details;
};

constexpr std::array<ByteOrder, 3> byteOrders{{
    {{0x80, 0x37, 0x12, 0x40}, "Format: .z64 (Big-Endian native)"},
    {{0x37, 0x80, 0x40, 0x12}, "Format: .v64 (Byte-swapped)"},
    {{0x40, 0x12, 0x37, 0x80}, "Format: .n64 (Little-Endian)"},
}};

constexpr std::size_t headerLength = 0x40;
constexpr std::uint64_t titleOffset = 0x20;

} // namespace

RomInfo inspectNintendo64(ImageHead head) {
    const std::span<const std::uint8_t> image = head.bytes;
    RomInfo info;
    info.platform = RomPlatform::Nintendo64;
    info.platformName = "Nintendo 64";
    info.fileSize = head.size;
    if (image.size() < headerLength) {
        return info;
    }
    for (const ByteOrder& order : byteOrders) {
        if (std::equal(order.mark.begin(), order.mark.end(), image.begin())) {
            info.details = order.details;
            break;
        }
    }
    // Taken in file order: a swapped image shows its title swapped too.
    info.title = readHeaderText(image, titleOffset, 20, true);
    info.checksumValid = true;
    return info;
}
