#include <gtest/gtest.h>

#include "inspect/inspect.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

Bytes withBytes(std::size_t size, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    Bytes image = filled(size);
    put(image, offset, bytes);
    return image;
}

Bytes withBoth(std::size_t size) {
    Bytes image = withBytes(size, 0x104, {0xCE, 0xED, 0x66, 0x66});
    put(image, 0x04, {0x24, 0xFF, 0xAE, 0x51});
    return image;
}

struct DetectionCase {
    const char* name;
    Bytes image;
    RomPlatform expected;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const DetectionCase& c, std::ostream* os) {
    *os << c.name;
}

class DetectionTest : public ::testing::TestWithParam<DetectionCase> {};

TEST_P(DetectionTest, FirstMatchingRowWins) {
    const DetectionCase& c = GetParam();
    const RomInfo info = inspectImage(c.image);
    EXPECT_EQ(info.platform, c.expected);
    EXPECT_EQ(info.fileSize, c.image.size());
}

const std::initializer_list<std::uint8_t> nesMagic = {0x4E, 0x45, 0x53, 0x1A};
const std::initializer_list<std::uint8_t> sega = {0x53, 0x45, 0x47, 0x41};

INSTANTIATE_TEST_SUITE_P(
    Boundaries, DetectionTest,
    ::testing::Values(
        DetectionCase{"Empty", Bytes{}, RomPlatform::Unknown},
        DetectionCase{"N64MarkCutShort", imageOf({0x80, 0x37, 0x12}), RomPlatform::Unknown},
        DetectionCase{"N64BigEndian", imageOf({0x80, 0x37, 0x12, 0x40}), RomPlatform::Nintendo64},
        DetectionCase{"N64ByteSwapped", imageOf({0x37, 0x80, 0x40, 0x12}), RomPlatform::Nintendo64},
        DetectionCase{"N64LittleEndian", imageOf({0x40, 0x12, 0x37, 0x80}),
                      RomPlatform::Nintendo64},
        DetectionCase{"N64MixedOrderIsNoMark", imageOf({0x80, 0x37, 0x40, 0x12}),
                      RomPlatform::Unknown},
        DetectionCase{"NesAt15Bytes", withBytes(15, 0, nesMagic), RomPlatform::Unknown},
        DetectionCase{"NesAt16Bytes", withBytes(16, 0, nesMagic), RomPlatform::Nes},
        DetectionCase{"NesBeatsSega",
                      [] {
                          Bytes image = withBytes(0x200, 0, nesMagic);
                          put(image, 0x100, sega);
                          return image;
                      }(),
                      RomPlatform::Nes},
        DetectionCase{"GameBoyLogoAt300BytesOnly", withBytes(300, 0x104, {0xCE, 0xED, 0x66, 0x66}),
                      RomPlatform::Unknown},
        DetectionCase{"BothLogosAt300BytesIsAdvance", withBoth(300), RomPlatform::GameBoyAdvance},
        DetectionCase{"GameBoyAt335BytesIsNot", withBytes(335, 0x104, {0xCE, 0xED, 0x66, 0x66}),
                      RomPlatform::Unknown},
        DetectionCase{"GameBoyAt336Bytes", withBytes(336, 0x104, {0xCE, 0xED, 0x66, 0x66}),
                      RomPlatform::GameBoy},
        DetectionCase{"BothLogosAt336BytesIsGameBoy", withBoth(336), RomPlatform::GameBoy},
        DetectionCase{"AdvanceAt255Bytes", withBytes(255, 0x04, {0x24, 0xFF, 0xAE, 0x51}),
                      RomPlatform::Unknown},
        DetectionCase{"AdvanceAt256Bytes", withBytes(256, 0x04, {0x24, 0xFF, 0xAE, 0x51}),
                      RomPlatform::GameBoyAdvance},
        DetectionCase{"SegaAt511Bytes", withBytes(511, 0x100, sega), RomPlatform::Unknown},
        DetectionCase{"SegaAt512Bytes", withBytes(512, 0x100, sega), RomPlatform::Genesis},
        DetectionCase{"PartialLogoIsNoMatch", withBytes(0x400, 0x104, {0xCE, 0xED, 0x66, 0x67}),
                      RomPlatform::Unknown},
        DetectionCase{"ZerosAt32767Bytes", filled(32767), RomPlatform::Unknown},
        DetectionCase{"ZerosAt32768BytesIsSnes", filled(32768), RomPlatform::Snes}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Detection, UnknownRecordIsFresh) {
    const RomInfo info = inspectImage(filled(1000, 0xAB));
    EXPECT_EQ(info.platform, RomPlatform::Unknown);
    EXPECT_EQ(info.platformName, "Unknown Binary Format");
    EXPECT_EQ(info.fileSize, 1000u);
    EXPECT_TRUE(info.title.empty());
    EXPECT_TRUE(info.gameCode.empty());
    EXPECT_TRUE(info.details.empty());
    EXPECT_FALSE(info.hasCopierHeader);
    EXPECT_FALSE(info.checksumValid);
}

TEST(Detection, MissingFileIsUnknownOfSizeZero) {
    const RomInfo info = inspectRom("/nonexistent/quillon/test.gb");
    EXPECT_EQ(info.platform, RomPlatform::Unknown);
    EXPECT_EQ(info.platformName, "Unknown Binary Format");
    EXPECT_EQ(info.fileSize, 0u);
}

} // namespace
