#include "inspect/inspect.h"

#include <algorithm>
#include <array>
#include <optional>

#include "inspect/inspectors.h"
#include "inspect/n64_checksum.h"
#include "inspect/snes_header.h"
#include "io/input_file.h"

namespace {

using Signature = std::array<std::uint8_t, 4>;

// One row of the detection table: the image must be at least minimumSize bytes
// long and, where the row has signatures, hold one of them at offset.
struct DetectionRow {
    std::uint64_t minimumSize;
    std::uint64_t offset;
    std::array<Signature, 3> signatures;
    std::size_t signatureCount;
    RomInfo (*inspector)(ImageHead);
    InspectionReads (*reads)(std::uint64_t size); // what the inspector reads of an image that size
};

InspectionReads headerWindow(std::uint64_t) {
    return {inspectionWindow, 0, 0};
}
InspectionReads wholeImage(std::uint64_t size) {
    return {size, 0, 0};
}
InspectionReads nintendo64Checksummed(std::uint64_t) {
    return {n64ChecksummedEnd, 0, 0};
}

constexpr std::array<DetectionRow, 6> detectionTable{{
    // iNES: "NES" followed by the MS-DOS end-of-file byte.
    {16, 0x00, {{{0x4E, 0x45, 0x53, 0x1A}}}, 1, inspectNes, headerWindow},
    // Nintendo 64 header word in its .z64, .v64 and .n64 byte orders.
    {4,
     0x00,
     {{{0x80, 0x37, 0x12, 0x40}, {0x37, 0x80, 0x40, 0x12}, {0x40, 0x12, 0x37, 0x80}}},
     3,
     inspectNintendo64,
     nintendo64Checksummed},
    // Start of the Nintendo logo in the Game Boy cartridge header.
    {0x150, 0x104, {{{0xCE, 0xED, 0x66, 0x66}}}, 1, inspectGameBoy, headerWindow},
    // Start of the Nintendo logo in the Game Boy Advance cartridge header.
    {0x100, 0x04, {{{0x24, 0xFF, 0xAE, 0x51}}}, 1, inspectGameBoyAdvance, headerWindow},
    // "SEGA" at the start of the system name field.
    {0x200, 0x100, {{{0x53, 0x45, 0x47, 0x41}}}, 1, inspectGenesis, wholeImage},
    // The Super Nintendo header has no signature: any large enough image.
    {0x8000, 0x00, {}, 0, inspectSnes, snesInspectionReads},
}};

// Sizes are compared with the smaller of the true size and the bytes at hand,
// so that an inspector which relies on its row's minimum size stays inside
// the span even if handed a head shorter than the window.
bool matches(const DetectionRow& row, ImageHead image) {
    const std::uint64_t available = std::min<std::uint64_t>(image.size, image.bytes.size());
    if (available < row.minimumSize || available < row.offset + 4) {
        return false;
    }
    if (row.signatureCount == 0) {
        return true;
    }
    const auto field = image.bytes.subspan(static_cast<std::size_t>(row.offset), 4);
    return std::any_of(
        row.signatures.begin(), row.signatures.begin() + row.signatureCount,
        [&](const Signature& s) { return std::equal(s.begin(), s.end(), field.begin()); });
}

const DetectionRow* detect(ImageHead image) {
    for (const DetectionRow& row : detectionTable) {
        if (matches(row, image)) {
            return &row;
        }
    }
    return nullptr;
}

RomInfo unknownImage(std::uint64_t size) {
    RomInfo unknown;
    unknown.platformName = "Unknown Binary Format";
    unknown.fileSize = size;
    return unknown;
}

} // namespace

RomInfo inspectImageHead(ImageHead image) {
    const DetectionRow* row = detect(image);
    return row != nullptr ? row->inspector(image) : unknownImage(image.size);
}

RomInfo catalogueInfo(RomInfo info, bool archive) {
    if (archive || (info.platform == RomPlatform::Snes && !info.credibleHeader)) {
        return unknownImage(info.fileSize);
    }
    return info;
}

InspectionReads inspectionReads(ImageHead window) {
    const DetectionRow* row = detect(window);
    InspectionReads reads = row != nullptr ? row->reads(window.size) : headerWindow(window.size);
    reads.headLength = std::min(reads.headLength, window.size);
    return reads;
}

RomInfo inspectImage(std::span<const std::uint8_t> image) {
    return inspectImageHead(ImageHead{image, image.size()});
}

RomInfo inspectRom(const std::string& path) {
    // Whatever cannot be read reports as an empty image, as a whole-file
    // read that failed would.
    const std::optional<InputFile> file = InputFile::open(path);
    return file ? inspectFile(*file) : unknownImage(0);
}

RomInfo inspectFile(const InputFile& file) {
    if (file.size() == 0) {
        return unknownImage(0);
    }
    const std::uint64_t size = file.size();
    std::optional<Bytes> head = file.readRange(0, std::min<std::uint64_t>(size, inspectionWindow));
    if (!head) {
        return unknownImage(0);
    }
    const InspectionReads reads = inspectionReads(ImageHead{*head, size});
    if (reads.headLength > head->size()) {
        head = file.readRange(0, reads.headLength);
        if (!head) {
            return unknownImage(0);
        }
    }
    std::optional<Bytes> far = file.readRange(reads.farOffset, reads.farLength);
    if (!far) {
        return unknownImage(0);
    }
    return inspectImageHead(ImageHead{*head, size, *far, reads.farOffset});
}
