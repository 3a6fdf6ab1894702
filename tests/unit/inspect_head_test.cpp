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

// The header window with the true size says what more to read; the head and
// far block so read give the record of the whole image, at every size around
// the window's end.
TEST(InspectImageHead, ReadsAskedForGiveTheWholeImageRecord) {
    const std::uint64_t window = inspectionWindow;
    const struct {
        const char* name;
        Bytes image;
        InspectionReads reads;
    } cases[] = {
        {"snes lorom", makeSnes(0x20000), {window, 0, 0}},
        {"snes hirom copier", makeSnes(0x20000, true, true), {window, 0, 0}},
        {"snes hirom copier, window exactly", makeSnes(0x10000, true, true), {0x10200, 0, 0}},
        {"snes hirom cut off one byte past the window",
         filled(inspectionWindow + 1, 0x01),
         {window, 0, 0}},
        {"snes exhirom", makeAssembledSnes(0x600000, 0x40FFC0, 0x25), {window, 0x408000, 0x8000}},
        {"snes exhirom copier",
         withCopierHeader(makeAssembledSnes(0x410000, 0x40FFC0, 0x25), 0),
         {window, 0x408200, 0x8000}},
        {"snes one byte short of the exhirom block", filled(0x40FFFF, 0x01), {window, 0, 0}},
        {"game boy", makeGameBoy(0x40000), {window, 0, 0}},
        {"game boy advance", makeGameBoyAdvance(0x20000, "ADV", "AXVE"), {window, 0, 0}},
        {"n64 small", makeNintendo64(0x20000, N64Order::N64), {0x20000, 0, 0}},
        {"n64 checksummed",
         makeNintendo64WithBootCode(n64Variants[0].crc32, 0x200000, N64Order::V64),
         {0x101000, 0, 0}},
        {"nes", makeNes(16, 16), {window, 0, 0}},
        {"genesis", makeGenesis(0x20000), {0x20000, 0, 0}},
        {"unknown", filled(0x7FFF, 0x00), {0x7FFF, 0, 0}},
    };
    for (const auto& c : cases) {
        const std::span<const std::uint8_t> image(c.image);
        const std::size_t first = std::min(image.size(), inspectionWindow);
        const InspectionReads reads = inspectionReads(ImageHead{image.first(first), image.size()});
        EXPECT_EQ(reads.headLength, c.reads.headLength) << c.name;
        EXPECT_EQ(reads.farOffset, c.reads.farOffset) << c.name;
        EXPECT_EQ(reads.farLength, c.reads.farLength) << c.name;
        const ImageHead head{image.first(static_cast<std::size_t>(reads.headLength)), image.size(),
                             image.subspan(static_cast<std::size_t>(reads.farOffset),
                                           static_cast<std::size_t>(reads.farLength)),
                             reads.farOffset};
        expectSameInfo(inspectImageHead(head), inspectImage(c.image), c.name);
    }
}

// A head shorter than the window (a caller's mistake) fails detection rather
// than letting an inspector read past it.
TEST(InspectImageHead, ShortHeadStaysInside) {
    const Bytes image = makeGameBoy(0x8000);
    const ImageHead head{std::span<const std::uint8_t>(image).first(0x100), image.size()};
    EXPECT_NE(inspectImageHead(head).platform, RomPlatform::GameBoy);
}

} // namespace
