#include <gtest/gtest.h>

#include "inspect/inspect.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

void expectSameInfo(const RomInfo& a, const RomInfo& b, const char* name) {
    EXPECT_EQ(a.platform, b.platform) << name;
    EXPECT_EQ(a.platformName, b.platformName) << name;
    EXPECT_EQ(a.title, b.title) << name;
    EXPECT_EQ(a.gameCode, b.gameCode) << name;
    EXPECT_EQ(a.fileSize, b.fileSize) << name;
    EXPECT_EQ(a.hasCopierHeader, b.hasCopierHeader) << name;
    EXPECT_EQ(a.checksumValid, b.checksumValid) << name;
    EXPECT_EQ(a.storedChecksum, b.storedChecksum) << name;
    EXPECT_EQ(a.details, b.details) << name;
}

// The header window with the true size gives the record of the whole image,
// at every size around the window's end; only Genesis asks for everything.
TEST(InspectImageHead, WindowAndTrueSizeGiveTheWholeImageRecord) {
    const struct {
        const char* name;
        RomImage image;
        bool whole;
    } cases[] = {
        {"snes lorom", makeSnes(0x20000), false},
        {"snes hirom copier", makeSnes(0x20000, true, true), false},
        {"snes hirom copier, window exactly", makeSnes(0x10000, true, true), false},
        {"snes hirom cut off one byte past the window", filled(inspectionWindow + 1, 0x01), false},
        {"game boy", makeGameBoy(0x40000), false},
        {"game boy advance", makeGameBoyAdvance(0x20000, "ADV", "AXVE"), false},
        {"n64", makeNintendo64(0x20000, N64Order::N64), false},
        {"nes", makeNes(16, 16), false},
        {"genesis", makeGenesis(0x20000), true},
        {"unknown", filled(0x7FFF, 0x00), false},
    };
    for (const auto& c : cases) {
        const std::size_t window = std::min(c.image.size(), inspectionWindow);
        const ImageHead head{std::span<const std::uint8_t>(c.image).first(window), c.image.size()};
        EXPECT_EQ(needsWholeImage(head), c.whole) << c.name;
        if (!c.whole) {
            expectSameInfo(inspectImageHead(head), inspectImage(c.image), c.name);
        }
    }
}

// A head shorter than the window (a caller's mistake) fails detection rather
// than letting an inspector read past it.
TEST(InspectImageHead, ShortHeadStaysInside) {
    const RomImage image = makeGameBoy(0x8000);
    const ImageHead head{std::span<const std::uint8_t>(image).first(0x100), image.size()};
    EXPECT_NE(inspectImageHead(head).platform, RomPlatform::GameBoy);
}

} // namespace
