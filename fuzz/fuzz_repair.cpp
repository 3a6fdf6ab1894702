// Checksum repair and the four conversions. The first input byte, modulo 5,
// picks the operation (0 checksum repair, 1 copier header removal, 2 Nintendo
// 64 byte order, 3 save RAM swap, 4 overdump trim); the rest is the image.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "check.h"
#include "inspect/inspect.h"
#include "repair/repair.h"
#include "rom_builders.h"

namespace {

using View = std::span<const std::uint8_t>;

bool same(const Bytes& image, View original) {
    return std::equal(image.begin(), image.end(), original.begin(), original.end());
}

// Whether every byte that differs between the two equal-sized images lies in
// [start, start + length).
bool changedOnlyWithin(const Bytes& image, View original, std::size_t start, std::size_t length) {
    for (std::size_t i = 0; i < original.size(); ++i) {
        if (image[i] != original[i] && (i < start || i - start >= length)) {
            return false;
        }
    }
    return true;
}

bool startsWithZ64Mark(const Bytes& image) {
    return image.size() >= 4 && image[0] == 0x80 && image[1] == 0x37 && image[2] == 0x12 &&
           image[3] == 0x40;
}

std::uint16_t bigEndian16(const Bytes& image, std::size_t at) {
    return static_cast<std::uint16_t>(image[at] << 8 | image[at + 1]);
}
std::uint16_t littleEndian16(View image, std::size_t at) {
    return static_cast<std::uint16_t>(image[at] | image[at + 1] << 8);
}

// The sum of the bytes from start to the end, leaving out [skip, skip + skipLength).
std::uint32_t sumWithout(View image, std::size_t start, std::size_t skip, std::size_t skipLength) {
    std::uint32_t sum = 0;
    for (std::size_t i = start; i < image.size(); ++i) {
        if (i < skip || i - skip >= skipLength) {
            sum += image[i];
        }
    }
    return sum;
}

// Where a repair may put the Super Nintendo pair: at the LoROM, HiROM or
// ExHiROM header, and the mapping the report then names.
struct SnesPair {
    std::size_t offset;
    const char* mapping;
};
constexpr SnesPair snesPairs[] = {
    {0x7FDC, "Mapping: LoROM"}, {0xFFDC, "Mapping: HiROM"}, {0x40FFDC, "Mapping: ExHiROM"}};

// The check values as each format defines them, computed apart from the
// library, and only their bytes changed.
void checkFixChecksum(View original) {
    Bytes image(original.begin(), original.end());
    const RomInfo before = inspectImage(original);
    const bool repaired = fixChecksumImage(image);
    FUZZ_CHECK(image.size() == original.size());

    switch (before.platform) {
    case RomPlatform::GameBoy: {
        FUZZ_CHECK(repaired);
        FUZZ_CHECK(changedOnlyWithin(image, original, 0x14D, 3));
        std::uint8_t header = 0;
        for (std::size_t i = 0x134; i <= 0x14C; ++i) {
            header = static_cast<std::uint8_t>(header - image[i] - 1);
        }
        FUZZ_CHECK(image[0x14D] == header);
        // The global checksum covers the new header checksum too.
        FUZZ_CHECK(bigEndian16(image, 0x14E) ==
                   static_cast<std::uint16_t>(sumWithout(image, 0, 0x14E, 2)));
        break;
    }
    case RomPlatform::GameBoyAdvance: {
        FUZZ_CHECK(repaired);
        FUZZ_CHECK(changedOnlyWithin(image, original, 0xBD, 1));
        std::uint8_t sum = 0;
        for (std::size_t i = 0xA0; i <= 0xBC; ++i) {
            sum = static_cast<std::uint8_t>(sum + image[i]);
        }
        FUZZ_CHECK(image[0xBD] == static_cast<std::uint8_t>(0xE7 - sum));
        break;
    }
    case RomPlatform::Genesis: {
        FUZZ_CHECK(repaired);
        FUZZ_CHECK(changedOnlyWithin(image, original, 0x18E, 2));
        std::uint32_t sum = 0;
        for (std::size_t i = 0x200; i + 1 < image.size(); i += 2) {
            sum += bigEndian16(image, i);
        }
        FUZZ_CHECK(bigEndian16(image, 0x18E) == static_cast<std::uint16_t>(sum));
        break;
    }
    case RomPlatform::Snes: {
        // Behind any copier header, which is neither summed nor changed, at
        // one of the three headers; data without a credible one are refused.
        if (!repaired) {
            FUZZ_CHECK(same(image, original));
            break;
        }
        const std::size_t base = before.hasCopierHeader ? 512 : 0;
        // The report of the repaired image names the header the repair took.
        const std::string details = inspectImage(image).details;
        const SnesPair* written = nullptr;
        for (const SnesPair& pair : snesPairs) {
            if (details.starts_with(pair.mapping)) {
                written = &pair;
            }
        }
        FUZZ_CHECK(written != nullptr);
        const std::size_t pair = base + written->offset;
        FUZZ_CHECK(pair + 4 <= original.size());
        FUZZ_CHECK(changedOnlyWithin(image, original, pair, 4));
        const std::uint16_t checksum = testing_support::snesChecksumOf(image, base, pair);
        FUZZ_CHECK(littleEndian16(image, pair + 2) == checksum);
        FUZZ_CHECK(littleEndian16(image, pair) == static_cast<std::uint16_t>(~checksum));
        break;
    }
    case RomPlatform::Nintendo64:
        // Only CRC1 and CRC2 (0x10..0x17, which every byte order keeps in
        // place as a block); an image that cannot be checked is refused.
        FUZZ_CHECK(repaired ? changedOnlyWithin(image, original, 0x10, 8) : same(image, original));
        break;
    case RomPlatform::Unknown:
    case RomPlatform::Nes:
        FUZZ_CHECK(!repaired);
        break;
    }
    if (!repaired) {
        return;
    }
    // The values written lie outside every signature, so the image keeps its
    // platform, now passes its check, and a second repair changes nothing.
    const RomInfo after = inspectImage(image);
    FUZZ_CHECK(after.platform == before.platform);
    FUZZ_CHECK(after.checksumValid);
    const Bytes once = image;
    FUZZ_CHECK(fixChecksumImage(image));
    FUZZ_CHECK(image == once);
}

void checkStripHeader(View original) {
    Bytes image(original.begin(), original.end());
    const bool stripped = stripCopierHeaderImage(image);
    FUZZ_CHECK(stripped == (original.size() % 1024 == 512));
    if (stripped) {
        FUZZ_CHECK(same(image, original.subspan(512)));
    }
}

void checkN64Endian(View original) {
    Bytes image(original.begin(), original.end());
    const bool converted = convertN64ImageToBigEndian(image);
    FUZZ_CHECK(converted == (inspectImage(original).platform == RomPlatform::Nintendo64));
    if (!converted) {
        return;
    }
    FUZZ_CHECK(image.size() == original.size());
    FUZZ_CHECK(startsWithZ64Mark(image));
    // Undo the conversion by the order the input was in; a tail shorter than
    // one group stays in place either way.
    Bytes undone = image;
    if (original[0] == 0x37) {
        for (std::size_t k = 0; k + 1 < undone.size(); k += 2) {
            std::swap(undone[k], undone[k + 1]);
        }
    } else if (original[0] == 0x40) {
        for (std::size_t k = 0; k + 3 < undone.size(); k += 4) {
            std::swap(undone[k], undone[k + 3]);
            std::swap(undone[k + 1], undone[k + 2]);
        }
    }
    FUZZ_CHECK(same(undone, original));
    // A .z64 image is taken as it is.
    const Bytes asZ64 = image;
    FUZZ_CHECK(convertN64ImageToBigEndian(image));
    FUZZ_CHECK(image == asZ64);
}

void checkSaveRamSwap(View original) {
    Bytes image(original.begin(), original.end());
    const bool swapped = swapSaveRam16Image(image);
    FUZZ_CHECK(swapped == (original.size() >= 2));
    if (!swapped) {
        return;
    }
    FUZZ_CHECK(image.size() == original.size());
    FUZZ_CHECK(image[0] == original[1] && image[1] == original[0]);
    if (original.size() % 2 == 1) {
        FUZZ_CHECK(image.back() == original.back());
    }
    FUZZ_CHECK(swapSaveRam16Image(image));
    FUZZ_CHECK(same(image, original));
}

// Whether the bytes from start on are all the fill value.
bool onlyFillFrom(View bytes, std::size_t start, std::uint8_t fill) {
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end(),
                       [fill](std::uint8_t b) { return b == fill; });
}

void checkTrim(View original) {
    constexpr std::size_t floor = 4096;
    Bytes image(original.begin(), original.end());
    const bool accepted = trimOverdumpImage(image);
    FUZZ_CHECK(accepted == !original.empty());
    FUZZ_CHECK(image.size() <= original.size());
    FUZZ_CHECK(std::equal(image.begin(), image.end(), original.begin()));
    if (original.empty()) {
        return;
    }
    const std::uint8_t fill = original.back();
    const bool padded = fill == 0x00 || fill == 0xFF;
    if (image.size() < original.size()) {
        // Cut only padding, to a power of two of at least 4096 bytes, and to
        // the smallest one: half of it would lose a byte other than the fill.
        FUZZ_CHECK(padded);
        FUZZ_CHECK(std::has_single_bit(image.size()) && image.size() >= floor);
        FUZZ_CHECK(onlyFillFrom(original, image.size(), fill));
        FUZZ_CHECK(image.size() == floor || !onlyFillFrom(original, image.size() / 2, fill));
    } else if (padded && original.size() > floor) {
        // Uncut: the largest power of two below the size would lose a byte
        // other than the fill.
        const std::size_t below = std::bit_floor(original.size() - 1);
        FUZZ_CHECK(below < floor || !onlyFillFrom(original, below, fill));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const View image(data + 1, size - 1);
    switch (data[0] % 5) {
    case 0:
        checkFixChecksum(image);
        break;
    case 1:
        checkStripHeader(image);
        break;
    case 2:
        checkN64Endian(image);
        break;
    case 3:
        checkSaveRamSwap(image);
        break;
    default:
        checkTrim(image);
        break;
    }
    return 0;
}
