#include "inspect/header_text.h"
#include "inspect/inspectors.h"
#include "inspect/n64_checksum.h"

namespace {

constexpr std::size_t headerLength = 0x40;
constexpr std::uint64_t titleOffset = 0x20;

const char* orderDetails(N64ByteOrder order) {
    switch (order) {
    case N64ByteOrder::V64:
        return "Format: .v64 (Byte-swapped)";
    case N64ByteOrder::N64:
        return "Format: .n64 (Little-Endian)";
    case N64ByteOrder::Z64:
        break;
    }
    return "Format: .z64 (Big-Endian native)";
}

} // namespace

RomInfo inspectNintendo64(ImageHead head) {
    const std::span<const std::uint8_t> image = head.bytes;
    RomInfo info;
    info.platform = RomPlatform::Nintendo64;
    info.platformName = "Nintendo 64";
    info.fileSize = head.size;
    const std::optional<N64ByteOrder> order = n64ByteOrder(image);
    if (image.size() < headerLength || !order) {
        return info;
    }
    info.details = orderDetails(*order);
    // Taken in file order: a swapped image shows its title swapped too.
    info.title = readHeaderText(image, titleOffset, 20, true);
    // Only the checksums of a known boot code over a whole first megabyte can
    // be checked; any other image passes, as nothing was checked.
    const std::optional<N64Checksums> expected = computeN64Checksums(image, *order);
    info.checksumValid = !expected || *expected == storedN64Checksums(image, *order);
    return info;
}
