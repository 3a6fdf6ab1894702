#include <gtest/gtest.h>

#include <optional>

#include "inspect/inspect.h"
#include "rom_builders.h"
#include "scan/header_rules.h"

using namespace testing_support;

namespace {

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
    return image;
}

Bytes marked(Bytes image, std::size_t offset, std::string_view text) {
    putText(image, offset, text);
    return image;
}

// Both conventions over the same images, the catalogue's given the image's
// inspection as the walk gives it. Where they part is pinned: the catalogue
// follows the inspected platform (a trainer is header, a copier header only
// on a Super Nintendo image), the skippers follow the bytes alone.
TEST(HeaderRules, CatalogueAndSkippersOnTheSameImages) {
    struct Case {
        const char* name;
        Bytes image;
        std::optional<std::uint64_t> catalog;
        std::optional<std::uint64_t> skipper;
    };
    const Bytes atari =
        marked(marked(pattern(0x1080, 2), 1, "ATARI7800"), 0x64, "ACTUAL CART DATA STARTS HERE");
    const Case cases[] = {
        {"iNES", makeNes(1, 1), 16, 16},
        {"iNES with a trainer", makeNes(1, 1, 0x04), 16 + 512, 16},
        {"iNES cut off inside its trainer", makeNes(0, 0, 0x04, 0x00, false), 16 + 512, 16},
        {"NES magic in fewer bytes than a header", marked(filled(10), 0, "NES\x1A"), std::nullopt,
         16},
        {"NES magic cut short", imageOf({'N', 'E', 'S'}), std::nullopt, std::nullopt},
        {"fwNES", marked(pattern(16 + 65500, 3), 0, "FDS\x1A"), std::nullopt, 16},
        {"Lynx", marked(pattern(0x840, 1), 0, "LYNX"), std::nullopt, 64},
        {"Atari 7800", atari, std::nullopt, 128},
        {"ATARI7800 without the second mark", marked(pattern(0x1080, 2), 1, "ATARI7800"),
         std::nullopt, std::nullopt},
        {"SNES copier header", makeSnes(0x8000, false, true), 512, 512},
        {"SNES whole KiB", makeSnes(0x8000), std::nullopt, std::nullopt},
        {"KiB + 512, too small for SNES", filled(1024 + 512), std::nullopt, 512},
        {"only a header's worth", filled(512), std::nullopt, std::nullopt},
        {"Game Boy", makeGameBoy(), std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(catalogHeaderSize(inspectImage(c.image), c.image), c.catalog) << c.name;
        EXPECT_EQ(skipperHeaderSize(RomInfo{}, c.image), c.skipper) << c.name;
    }
}

} // namespace
