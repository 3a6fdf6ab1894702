// Detection and the inspection report over arbitrary bytes: the whole input
// is the image.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "check.h"
#include "cli/console.h"
#include "inspect/inspect.h"

namespace {

// The smallest image each platform's row of the detection table accepts.
std::uint64_t minimumSize(RomPlatform platform) {
    switch (platform) {
    case RomPlatform::Nes:
        return 16;
    case RomPlatform::Nintendo64:
        return 4;
    case RomPlatform::GameBoy:
        return 0x150;
    case RomPlatform::GameBoyAdvance:
        return 0x100;
    case RomPlatform::Genesis:
        return 0x200;
    case RomPlatform::Snes:
        return 0x8000;
    case RomPlatform::Unknown:
        break;
    }
    return 0;
}

bool printable(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    const RomInfo info = inspectImage(image);

    FUZZ_CHECK(info.fileSize == size);
    FUZZ_CHECK(!info.platformName.empty());
    FUZZ_CHECK(size >= minimumSize(info.platform));
    // Titles are sanitised, whatever the header holds.
    FUZZ_CHECK(printable(info.title));
    if (info.platform == RomPlatform::Unknown) {
        FUZZ_CHECK(info.platformName == "Unknown Binary Format");
        FUZZ_CHECK(info.title.empty() && info.gameCode.empty() && info.details.empty());
        FUZZ_CHECK(!info.hasCopierHeader && !info.checksumValid);
    }
    if (info.platform != RomPlatform::Snes) {
        FUZZ_CHECK(!info.hasCopierHeader);
    }

    // What a file's inspection reads of the image (its head and any far
    // block: the Super Nintendo reset targets included) tells the same.
    const InspectionReads reads = inspectionReads(ImageHead{image, size});
    const std::span<const std::uint8_t> far =
        reads.farLength == 0 ? std::span<const std::uint8_t>()
                             : image.subspan(static_cast<std::size_t>(reads.farOffset),
                                             static_cast<std::size_t>(reads.farLength));
    const RomInfo fromHead = inspectImageHead(ImageHead{
        image.first(static_cast<std::size_t>(reads.headLength)), size, far, reads.farOffset});
    FUZZ_CHECK(fromHead.platform == info.platform && fromHead.title == info.title &&
               fromHead.details == info.details && fromHead.checksumValid == info.checksumValid);

    const std::string path = "fuzz-input.rom";
    const std::vector<std::string> lines = inspectionReport(path, info);
    FUZZ_CHECK(lines.size() >= 6);
    FUZZ_CHECK(lines[1] == "File:            " + path);
    return 0;
}
