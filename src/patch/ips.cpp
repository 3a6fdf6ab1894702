#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <new>

#include "patch/patch.h"

namespace {

constexpr std::array<std::uint8_t, 5> ipsMagic{'P', 'A', 'T', 'C', 'H'};
constexpr std::array<std::uint8_t, 3> ipsEndMarker{'E', 'O', 'F'};

// The magic followed directly by the end marker: the smallest complete patch.
constexpr std::size_t minimumPatchSize = ipsMagic.size() + ipsEndMarker.size();

// Every record starts with a 3-byte target offset and a 2-byte length; a
// run-length record (length 0) adds a 2-byte run length and the fill value.
constexpr std::size_t recordHeaderSize = 5;
constexpr std::size_t runRecordSize = 8;
constexpr std::size_t truncationSizeLength = 3;

bool matchesAt(std::span<const std::uint8_t> patch, std::size_t p,
               std::span<const std::uint8_t> expected) {
    return expected.size() <= patch.size() - p &&
           std::equal(expected.begin(), expected.end(),
                      patch.begin() + static_cast<std::ptrdiff_t>(p));
}

std::size_t readBigEndian(std::span<const std::uint8_t> patch, std::size_t p, std::size_t width) {
    std::size_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = value << 8 | patch[p + i];
    }
    return value;
}

// Records may write past the end of the image; it grows to exactly the end of
// the record, the new bytes zero. At most 0xFFFFFF + 0xFFFF bytes, so the
// sum cannot overflow. False when even that much memory cannot be had.
bool growTo(RomImage& image, std::size_t end) {
    if (image.size() < end) {
        try {
            image.resize(end, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return true;
}

// Creators write a patch for a shorter target as the records, "EOF" and the
// target's 3-byte big-endian size. Only exactly three bytes ending the patch
// count as that size; it only ever cuts, never grows. Any other number of
// bytes after the marker is ignored.
void truncateToDeclaredSize(RomImage& image, std::span<const std::uint8_t> patch,
                            std::size_t afterMarker) {
    if (patch.size() - afterMarker != truncationSizeLength) {
        return;
    }
    const std::size_t size = readBigEndian(patch, afterMarker, truncationSizeLength);
    if (image.size() > size) {
        image.resize(size);
    }
}

} // namespace

bool applyIpsPatchImage(RomImage& image, std::span<const std::uint8_t> patch) {
    if (image.empty() || patch.size() < minimumPatchSize || !matchesAt(patch, 0, ipsMagic)) {
        return false;
    }
    const std::size_t size = patch.size();
    std::size_t p = ipsMagic.size();
    // p < size holds at the top of every pass.
    for (;;) {
        // "EOF" is tested before the record is decoded: a record at offset
        // 0x454F46 cannot be expressed.
        if (matchesAt(patch, p, ipsEndMarker)) {
            truncateToDeclaredSize(image, patch, p + ipsEndMarker.size());
            return true;
        }
        if (size - p < recordHeaderSize) {
            return false;
        }
        const std::size_t offset = readBigEndian(patch, p, 3);
        const std::size_t length = readBigEndian(patch, p + 3, 2);
        if (length != 0) {
            if (length > size - p - recordHeaderSize) {
                return false;
            }
            if (!growTo(image, offset + length)) {
                return false;
            }
            const auto* data = patch.data() + p + recordHeaderSize;
            std::copy(data, data + length, image.begin() + static_cast<std::ptrdiff_t>(offset));
            p += recordHeaderSize + length;
        } else {
            if (size - p < runRecordSize) {
                return false;
            }
            const std::size_t runLength = readBigEndian(patch, p + 5, 2);
            const std::uint8_t value = patch[p + 7];
            // Grows even for a run of 0, so that such a record extends the
            // image to its offset.
            if (!growTo(image, offset + runLength)) {
                return false;
            }
            std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(offset), runLength, value);
            p += runRecordSize;
        }
        // A patch whose last record ends exactly at the end of the file needs
        // no end marker.
        if (p >= size) {
            return true;
        }
    }
}

bool applyIpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath) {
    RomImage image = readRomFile(romPath);
    const RomImage patch = readRomFile(patchPath);
    // A malformed patch discards whatever its earlier records did: nothing is written.
    if (!applyIpsPatchImage(image, patch)) {
        return false;
    }
    return writeRomFile(outputPath, image);
}
