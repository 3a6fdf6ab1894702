#include <gtest/gtest.h>

#include "base/hex.h"
#include "inspect/header_text.h"
#include "inspect/inspect.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

// Game Boy

TEST(GameBoyInspector, ReadsTitleTypeAndHeaderChecksum) {
    Bytes image = makeGameBoy(0x8000, "POKEMON", 0x1B);
    const RomInfo info = inspectImage(image);
    EXPECT_EQ(info.platform, RomPlatform::GameBoy);
    EXPECT_EQ(info.platformName, "Nintendo Game Boy / GBC");
    EXPECT_EQ(info.title, "POKEMON         "); // zero padding shows as spaces
    EXPECT_EQ(info.details, "Cartridge Type: 0x1B");
    EXPECT_TRUE(info.checksumValid);
    EXPECT_EQ(info.storedChecksum, info.computedChecksum);
    EXPECT_FALSE(info.hasCopierHeader);
    EXPECT_TRUE(info.gameCode.empty());
}

TEST(GameBoyInspector, AllZeroHeaderChecksumIsE7) {
    Bytes image = filled(0x150);
    put(image, 0x104, {0xCE, 0xED, 0x66, 0x66});
    EXPECT_EQ(inspectImage(image).computedChecksum, 0xE7u);
    EXPECT_FALSE(inspectImage(image).checksumValid);
    image[0x14D] = 0xE7;
    EXPECT_TRUE(inspectImage(image).checksumValid);
    EXPECT_EQ(inspectImage(image).details, "Cartridge Type: 0x0");
}

TEST(GameBoyInspector, ColourFlagBecomesSpaceAndGlobalChecksumIsIgnored) {
    Bytes image = makeGameBoy(0x8000, "ABCDEFGHIJKLMNO", 0x13);
    image[0x143] = 0x80;
    image[0x14D] = static_cast<std::uint8_t>(inspectImage(image).computedChecksum);
    const RomInfo before = inspectImage(image);
    EXPECT_EQ(before.title, "ABCDEFGHIJKLMNO ");
    EXPECT_EQ(before.details, "Cartridge Type: 0x13");
    image[0x14E] = 0x12;
    image[0x14F] = 0x34;
    const RomInfo after = inspectImage(image);
    EXPECT_EQ(after.checksumValid, before.checksumValid);
    EXPECT_EQ(after.computedChecksum, before.computedChecksum);
    image[0x14D] ^= 1;
    EXPECT_FALSE(inspectImage(image).checksumValid);
}

// Game Boy Advance

TEST(GameBoyAdvanceInspector, ReadsTitleCodeAndComplement) {
    const RomInfo info = inspectImage(makeGameBoyAdvance(0x400, "ADVANCEWARS", "AWRE"));
    EXPECT_EQ(info.platform, RomPlatform::GameBoyAdvance);
    EXPECT_EQ(info.platformName, "Nintendo Game Boy Advance");
    EXPECT_EQ(info.title, "ADVANCEWARS ");
    EXPECT_EQ(info.gameCode, "AWRE");
    EXPECT_TRUE(info.checksumValid);
    EXPECT_TRUE(info.details.empty());
}

TEST(GameBoyAdvanceInspector, GameCodeIsTakenUnsanitised) {
    Bytes image = makeGameBoyAdvance();
    image[0xAE] = 0;
    EXPECT_EQ(inspectImage(image).gameCode, "AQ");
    image[0xAC] = 0;
    EXPECT_EQ(inspectImage(image).gameCode, "");
    image[0xAC] = 0xFF;
    image[0xA0] = 0xFF;
    const RomInfo info = inspectImage(image);
    EXPECT_EQ(info.gameCode, "\xFFQ");
    EXPECT_EQ(info.title[0], ' ');
}

TEST(GameBoyAdvanceInspector, ComplementCoversA0ToBCOnly) {
    Bytes image = filled(0x100);
    put(image, 0x04, {0x24, 0xFF, 0xAE, 0x51});
    EXPECT_EQ(inspectImage(image).computedChecksum, 0xE7u);
    image[0xBD] = 0xE7;
    EXPECT_TRUE(inspectImage(image).checksumValid);
    image[0xBE] = 0x55;
    image[0x08] = 0x55;
    EXPECT_TRUE(inspectImage(image).checksumValid);
    image[0xBC] = 0x01;
    EXPECT_FALSE(inspectImage(image).checksumValid);
}

// Super Nintendo

TEST(SnesInspector, LoRomWithoutAndWithCopierHeader) {
    const RomInfo plain = inspectImage(makeSnes(0x100000, false, false, "SUPER QUILLON"));
    EXPECT_EQ(plain.platform, RomPlatform::Snes);
    EXPECT_EQ(plain.platformName, "Super Nintendo (SNES)");
    EXPECT_EQ(plain.title, "SUPER QUILLON        ");
    EXPECT_EQ(plain.details, "Mapping: LoROM");
    EXPECT_FALSE(plain.hasCopierHeader);
    EXPECT_TRUE(plain.checksumValid);
    EXPECT_EQ(plain.computedChecksum, 0u);

    const RomInfo copier = inspectImage(makeSnes(0x100000, false, true, "SUPER QUILLON"));
    EXPECT_EQ(copier.fileSize, 1049088u);
    EXPECT_TRUE(copier.hasCopierHeader);
    EXPECT_EQ(copier.title, "SUPER QUILLON        ");
    EXPECT_EQ(copier.details, "Mapping: LoROM (512-byte copier header detected)");
    EXPECT_TRUE(copier.checksumValid);
}

TEST(SnesInspector, HiRomWhenLoRomPairDisagrees) {
    Bytes image = makeSnes(0x100000, true, false, "HIGH QUILLON");
    const RomInfo info = inspectImage(image);
    EXPECT_EQ(info.details, "Mapping: HiROM");
    EXPECT_EQ(info.title, "HIGH QUILLON         ");
    EXPECT_TRUE(info.checksumValid);
    image[0xFFDE] ^= 0x01;
    EXPECT_FALSE(inspectImage(image).checksumValid);
}

// When both pairs agree, the other fields decide: the HiROM header has its
// map mode and title, the LoROM position only the pair.
TEST(SnesInspector, BothPairsAgreeingTheHeaderWithMoreEvidenceWins) {
    Bytes image = makeSnes(0x100000, true);
    putLittleEndian16(image, 0x7FDC, 0xEDCB);
    putLittleEndian16(image, 0x7FDE, 0x1234);
    const RomInfo info = inspectImage(image);
    EXPECT_EQ(info.details, "Mapping: HiROM");
    EXPECT_EQ(info.title, "QUILLON SNES         ");
    EXPECT_TRUE(info.checksumValid);
}

TEST(SnesInspector, ShortImagesAreAlwaysLoRom) {
    Bytes image = filled(65499);
    putLittleEndian16(image, 0x7FDC, 0x0001); // a disagreeing pair
    EXPECT_EQ(inspectImage(image).details, "Mapping: LoROM");
}

TEST(SnesInspector, HiRomHeaderCutOffGivesShortRecord) {
    for (std::size_t size : {65500u, 65503u}) {
        Bytes image = filled(size);
        putLittleEndian16(image, 0x7FDC, 0x0001);
        const RomInfo info = inspectImage(image);
        EXPECT_EQ(info.platform, RomPlatform::Snes) << size;
        EXPECT_TRUE(info.title.empty()) << size;
        EXPECT_TRUE(info.details.empty()) << size;
        EXPECT_FALSE(info.checksumValid) << size;
        EXPECT_EQ(info.storedChecksum, 0u) << size;
    }
    Bytes complete = filled(65504);
    putLittleEndian16(complete, 0x7FDC, 0x0001);
    EXPECT_EQ(inspectImage(complete).details, "Mapping: HiROM");
}

TEST(SnesInspector, ZeroImageAndCopierSizeRule) {
    const RomInfo zeros = inspectImage(filled(40000));
    EXPECT_EQ(zeros.title, std::string(21, ' '));
    EXPECT_EQ(zeros.details, "Mapping: LoROM");
    EXPECT_FALSE(zeros.checksumValid);
    EXPECT_EQ(zeros.storedChecksum, 0u);
    EXPECT_TRUE(inspectImage(filled(33280)).hasCopierHeader);
    EXPECT_FALSE(inspectImage(filled(33792)).hasCopierHeader);
    EXPECT_EQ(inspectImage(filled(33280)).title, std::string(21, ' ')); // header at 0x81C0
}

// Genesis

TEST(GenesisInspector, ReadsTitleAndComparesChecksum) {
    Bytes image = makeGenesis(0x1000, "QUILLON GENESIS");
    const RomInfo info = inspectImage(image);
    EXPECT_EQ(info.platform, RomPlatform::Genesis);
    EXPECT_EQ(info.platformName, "Sega Genesis / Mega Drive");
    EXPECT_EQ(info.title.size(), 48u);
    EXPECT_EQ(info.title.substr(0, 16), "QUILLON GENESIS ");
    EXPECT_TRUE(info.checksumValid);
    EXPECT_EQ(info.details, "Checksum: 0x" + hexUpper(info.computedChecksum) + " (Matched)");
    image[0x18F] ^= 0xFF;
    const RomInfo bad = inspectImage(image);
    EXPECT_FALSE(bad.checksumValid);
    EXPECT_EQ(bad.computedChecksum, info.computedChecksum);
    EXPECT_EQ(bad.details, "Checksum: 0x" + hexUpper(info.computedChecksum) + " (Mismatch!)");
}

TEST(GenesisInspector, ChecksumWordsWrapAndSkipOddByte) {
    Bytes image = filled(0x205);
    putText(image, 0x100, "SEGA");
    put(image, 0x200, {0xFF, 0xFF, 0x00, 0x02, 0x77});
    const RomInfo info = inspectImage(image);
    EXPECT_EQ(info.computedChecksum, 0x0001u);
    EXPECT_EQ(info.details, "Checksum: 0x1 (Mismatch!)");
    image[0x18F] = 0x01;
    EXPECT_TRUE(inspectImage(image).checksumValid);
}

TEST(GenesisInspector, NoWordsBelow514Bytes) {
    for (std::size_t size : {512u, 513u}) {
        Bytes image = filled(size, 0x41);
        putText(image, 0x100, "SEGA");
        image[0x18E] = 0;
        image[0x18F] = 0;
        const RomInfo info = inspectImage(image);
        EXPECT_EQ(info.computedChecksum, 0u) << size;
        EXPECT_EQ(info.details, "Checksum: 0x0 (Matched)") << size;
        EXPECT_EQ(info.title, std::string(48, 'A')) << size;
    }
}

// Nintendo 64

TEST(Nintendo64Inspector, NamesEachByteOrderAndReadsTitleInFileOrder) {
    struct Case {
        N64Order order;
        const char* details;
        const char* titleStart;
    };
    for (const Case& c : {Case{N64Order::Z64, "Format: .z64 (Big-Endian native)", "ABCD"},
                          Case{N64Order::V64, "Format: .v64 (Byte-swapped)", "BADC"},
                          Case{N64Order::N64, "Format: .n64 (Little-Endian)", "DCBA"}}) {
        const RomInfo info = inspectImage(makeNintendo64(0x1000, c.order, "ABCDEFGHIJKLMNOPQRST"));
        EXPECT_EQ(info.platform, RomPlatform::Nintendo64);
        EXPECT_EQ(info.platformName, "Nintendo 64");
        EXPECT_EQ(info.details, c.details);
        EXPECT_EQ(info.title.size(), 20u);
        EXPECT_EQ(info.title.substr(0, 4), c.titleStart);
        EXPECT_TRUE(info.checksumValid);
    }
}

TEST(Nintendo64Inspector, HeaderNeeds64Bytes) {
    Bytes image = filled(64);
    put(image, 0, {0x80, 0x37, 0x12, 0x40});
    const RomInfo full = inspectImage(image);
    EXPECT_EQ(full.title, std::string(20, ' '));
    EXPECT_TRUE(full.checksumValid);
    image.resize(63);
    const RomInfo cut = inspectImage(image);
    EXPECT_EQ(cut.platform, RomPlatform::Nintendo64);
    EXPECT_TRUE(cut.title.empty());
    EXPECT_TRUE(cut.details.empty());
    EXPECT_FALSE(cut.checksumValid);
}

// NES

TEST(NesInspector, ReadsSizesAndMapper) {
    struct Case {
        std::uint8_t prg, chr, flags6, flags7;
        std::uint32_t mapper;
        const char* details;
    };
    for (const Case& c :
         {Case{2, 1, 0x10, 0x00, 1, "Mapper: 1, PRG: 32 KB, CHR: 8 KB"},
          Case{0, 0, 0x00, 0x00, 0, "Mapper: 0, PRG: 0 KB, CHR: 0 KB"},
          Case{255, 255, 0xF0, 0xF0, 255, "Mapper: 255, PRG: 4080 KB, CHR: 2040 KB"},
          Case{1, 0, 0x1F, 0x0F, 1, "Mapper: 1, PRG: 16 KB, CHR: 0 KB"},
          Case{8, 16, 0x40, 0x30, 0x34, "Mapper: 52, PRG: 128 KB, CHR: 128 KB"}}) {
        const RomInfo info = inspectImage(makeNes(c.prg, c.chr, c.flags6, c.flags7, false));
        EXPECT_EQ(info.platform, RomPlatform::Nes);
        EXPECT_EQ(info.platformName, "Nintendo Entertainment System (NES)");
        EXPECT_EQ(info.title, "NES Cartridge");
        EXPECT_EQ(info.prgRomSize, c.prg * 16384u);
        EXPECT_EQ(info.chrRomSize, c.chr * 8192u);
        EXPECT_EQ(info.mapperNumber, c.mapper);
        EXPECT_EQ(info.details, c.details);
        EXPECT_TRUE(info.checksumValid);
        EXPECT_TRUE(info.gameCode.empty());
    }
}

TEST(NesInspector, IgnoresBytesEightToFifteen) {
    Bytes image = makeNes();
    const RomInfo before = inspectImage(image);
    for (std::size_t i = 8; i < 16; ++i) {
        image[i] = 0xFF;
    }
    EXPECT_EQ(inspectImage(image).details, before.details);
}

} // namespace
