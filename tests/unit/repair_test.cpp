#include <gtest/gtest.h>

#include "inspect/inspect.h"
#include "inspect/snes_header.h"
#include "repair/repair.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

// Positions where two images differ.
std::vector<std::size_t> changedOffsets(const RomImage& before, const RomImage& after) {
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i) {
        if (before[i] != after[i]) {
            offsets.push_back(i);
        }
    }
    return offsets;
}

// Checksum repair

TEST(FixChecksum, GameBoyHeaderThenGlobalChecksum) {
    RomImage image = makeGameBoy(0x8000, "QUILLON", 0x03);
    image[0x200] = 0x77;
    image[0x14D] = 0x00;
    image[0x14E] = 0xAA;
    image[0x14F] = 0xBB;
    ASSERT_TRUE(fixChecksumImage(image));
    EXPECT_TRUE(inspectImage(image).checksumValid);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (i != 0x14E && i != 0x14F) {
            sum += image[i]; // 0x14D with its new value
        }
    }
    EXPECT_EQ(image[0x14E], static_cast<std::uint8_t>(sum >> 8));
    EXPECT_EQ(image[0x14F], static_cast<std::uint8_t>(sum));
}

TEST(FixChecksum, GameBoyAdvanceChangesOnlyComplement) {
    RomImage image = makeGameBoyAdvance();
    image[0xBD] ^= 0x33;
    const RomImage before = image;
    ASSERT_TRUE(fixChecksumImage(image));
    EXPECT_EQ(changedOffsets(before, image), std::vector<std::size_t>{0xBD});
    EXPECT_TRUE(inspectImage(image).checksumValid);
}

struct SnesRepairCase {
    const char* name;
    std::size_t size; // after any copier header
    bool hiRom;
    bool copierHeader;
    std::size_t fields; // where the complement/checksum pair must be written
};

void PrintTo(const SnesRepairCase& c, std::ostream* os) { *os << c.name; }

class SnesRepair : public ::testing::TestWithParam<SnesRepairCase> {};

TEST_P(SnesRepair, WritesPairAtChosenHeaderOnly) {
    const SnesRepairCase& c = GetParam();
    RomImage image = makeSnes(c.size, c.hiRom, c.copierHeader);
    const std::size_t base = c.copierHeader ? 512 : 0;
    for (std::size_t i = 0; i < image.size(); i += 97) {
        image[i] = static_cast<std::uint8_t>(i >> 3); // data whose sum is not zero
    }
    if (c.hiRom) {
        image[base + 0x7FDC] = 0x01; // keep the LoROM pair in disagreement
    }
    // A stale pair that still agrees with itself, so the mapping choice stays.
    putLittleEndian16(image, c.fields, 0xEDCB);
    putLittleEndian16(image, c.fields + 2, 0x1234);
    const RomImage before = image;
    ASSERT_TRUE(fixChecksumImage(image));

    const std::uint16_t checksum = snesChecksumOf(image, base, c.fields);
    EXPECT_EQ(image[c.fields + 2] | image[c.fields + 3] << 8, checksum);
    EXPECT_EQ(image[c.fields] | image[c.fields + 1] << 8, static_cast<std::uint16_t>(~checksum));
    for (std::size_t offset : changedOffsets(before, image)) {
        EXPECT_TRUE(offset >= c.fields && offset < c.fields + 4) << offset;
    }
    EXPECT_TRUE(inspectImage(image).checksumValid);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SnesRepair,
    ::testing::Values(SnesRepairCase{"LoRom", 0x100000, false, false, 0x7FDC},
                      SnesRepairCase{"HiRom", 0x100000, true, false, 0xFFDC},
                      SnesRepairCase{"LoRomCopier", 0x100000, false, true, 512 + 0x7FDC},
                      SnesRepairCase{"HiRomCopier", 0x100000, true, true, 512 + 0xFFDC},
                      SnesRepairCase{"HiRomSmallest", 65504, true, false, 0xFFDC},
                      SnesRepairCase{"OddSizeLoRom", 0x30001, false, false, 0x7FDC},
                      // Sizes above a power of two: the part beyond it is mirrored.
                      SnesRepairCase{"Mirrored3MiB", 0x300000, false, false, 0x7FDC},
                      SnesRepairCase{"Mirrored1Point25MiB", 0x140000, true, false, 0xFFDC},
                      SnesRepairCase{"Mirrored10MbitCopier", 0x140000, false, true, 512 + 0x7FDC},
                      SnesRepairCase{"Mirrored48Mbit", 0x600000, true, true, 512 + 0xFFDC},
                      SnesRepairCase{"MirroredUneven", 0x10000 + 0x6000, false, false, 0x7FDC}),
    [](const auto& info) { return std::string(info.param.name); });

// The fast sum against the checksum's definition, for every small size and
// pair position: whole and partial repetitions of the mirrored part, the pair
// in the first block and in the mirrored part.
TEST(SnesChecksum, AgreesWithItsDefinitionForEverySizeAndPairPosition) {
    for (std::size_t size = 4; size <= 40; ++size) {
        RomImage data = filled(size);
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 37 + 11);
        }
        for (std::size_t fields = 0; fields + 4 <= size; ++fields) {
            EXPECT_EQ(computeSnesChecksum(data, fields), snesChecksumOf(data, 0, fields))
                << size << " " << fields;
        }
    }
}

TEST(FixChecksum, ShortSnesImageAlwaysUsesLoRomFields) {
    RomImage image = filled(65499, 0x11);
    putLittleEndian16(image, 0x7FDC, 0x0001); // a disagreeing LoROM pair
    ASSERT_TRUE(fixChecksumImage(image));
    EXPECT_EQ(inspectImage(image).details, "Mapping: LoROM");
    EXPECT_TRUE(inspectImage(image).checksumValid);
}

TEST(FixChecksum, SnesWithoutCompleteHiRomFieldsIsRejected) {
    for (std::size_t size : {65500u, 65503u}) {
        RomImage image = filled(size, 0x11);
        const RomImage before = image;
        EXPECT_FALSE(fixChecksumImage(image)) << size;
        EXPECT_EQ(image, before) << size;
    }
}

TEST(FixChecksum, GenesisSumsWordsFrom200AndSkipsOddByte) {
    RomImage image = makeGenesis(0x1001);
    image[0x18E] = 0;
    image[0x18F] = 0;
    const RomImage before = image;
    ASSERT_TRUE(fixChecksumImage(image));
    EXPECT_TRUE(inspectImage(image).checksumValid);
    EXPECT_EQ(changedOffsets(before, image).size() <= 2, true);
    RomImage lastByteChanged = before;
    lastByteChanged.back() ^= 0xFF;
    ASSERT_TRUE(fixChecksumImage(lastByteChanged));
    EXPECT_EQ(lastByteChanged[0x18E], image[0x18E]);
    EXPECT_EQ(lastByteChanged[0x18F], image[0x18F]);

    for (std::size_t size : {512u, 513u}) {
        RomImage tiny = filled(size, 0x5A);
        putText(tiny, 0x100, "SEGA");
        ASSERT_TRUE(fixChecksumImage(tiny));
        EXPECT_EQ(tiny[0x18E], 0);
        EXPECT_EQ(tiny[0x18F], 0);
    }
}

TEST(FixChecksum, RefusesPlatformsWithoutRepair) {
    for (RomImage image : {makeNes(), makeNintendo64(), filled(1000, 0x42), RomImage{}}) {
        const RomImage before = image;
        EXPECT_FALSE(fixChecksumImage(image));
        EXPECT_EQ(image, before);
    }
}

// Conversions

struct ConversionCase {
    const char* name;
    bool (*convert)(RomImage&);
    RomImage input;
    std::optional<RomImage> expected; // nullopt: rejected
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, GivesExpectedBytes) {
    const ConversionCase& c = GetParam();
    RomImage image = c.input;
    const bool accepted = c.convert(image);
    ASSERT_EQ(accepted, c.expected.has_value());
    if (accepted) {
        EXPECT_EQ(toBytes(image), toBytes(*c.expected));
    }
}

RomImage counting(std::size_t size, std::size_t from = 0) {
    RomImage image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(from + i);
    }
    return image;
}

RomImage padded(std::size_t size, std::size_t lastData, std::uint8_t fill) {
    RomImage image = filled(size, fill);
    image.at(lastData) = 0x42;
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Conversion,
    ::testing::Values(
        // Copier header removal
        ConversionCase{"StripExactly512", stripCopierHeaderImage, filled(512, 7), RomImage{}},
        ConversionCase{"Strip1536", stripCopierHeaderImage, counting(1536),
                       counting(1024, 512)},
        ConversionCase{"StripRefuses1024", stripCopierHeaderImage, filled(1024), std::nullopt},
        ConversionCase{"StripRefuses513", stripCopierHeaderImage, filled(513), std::nullopt},
        // N64 byte order
        ConversionCase{"N64FromV64", convertN64ImageToBigEndian, imageOf({0x37, 0x80, 0x40, 0x12}),
                       imageOf({0x80, 0x37, 0x12, 0x40})},
        ConversionCase{"N64FromN64", convertN64ImageToBigEndian, imageOf({0x40, 0x12, 0x37, 0x80}),
                       imageOf({0x80, 0x37, 0x12, 0x40})},
        ConversionCase{"N64V64OddSize", convertN64ImageToBigEndian,
                       imageOf({0x37, 0x80, 0x40, 0x12, 1, 2, 3}),
                       imageOf({0x80, 0x37, 0x12, 0x40, 2, 1, 3})},
        ConversionCase{"N64N64Remainder", convertN64ImageToBigEndian,
                       imageOf({0x40, 0x12, 0x37, 0x80, 1, 2, 3, 4, 5, 6, 7}),
                       imageOf({0x80, 0x37, 0x12, 0x40, 4, 3, 2, 1, 5, 6, 7})},
        ConversionCase{"N64Z64Unchanged", convertN64ImageToBigEndian,
                       imageOf({0x80, 0x37, 0x12, 0x40, 9, 8}),
                       imageOf({0x80, 0x37, 0x12, 0x40, 9, 8})},
        ConversionCase{"N64RefusesThreeBytes", convertN64ImageToBigEndian,
                       imageOf({0x37, 0x80, 0x40}), std::nullopt},
        ConversionCase{"N64RefusesOtherImages", convertN64ImageToBigEndian, makeGameBoy(),
                       std::nullopt},
        // Save RAM swap
        ConversionCase{"SwapTwoBytes", swapSaveRam16Image, imageOf({0x12, 0x34}),
                       imageOf({0x34, 0x12})},
        ConversionCase{"SwapOddSize", swapSaveRam16Image, imageOf({1, 2, 3, 4, 5}),
                       imageOf({2, 1, 4, 3, 5})},
        ConversionCase{"SwapRefusesOneByte", swapSaveRam16Image, imageOf({1}), std::nullopt},
        // Overdump trimming
        ConversionCase{"Trim3MiBTo2MiB", trimOverdumpImage, padded(3 << 20, (2 << 20) - 1, 0xFF),
                       padded(2 << 20, (2 << 20) - 1, 0xFF)},
        ConversionCase{"TrimKeeps3MiBWhenDataPast2MiB", trimOverdumpImage,
                       padded(3 << 20, 2 << 20, 0xFF), padded(3 << 20, 2 << 20, 0xFF)},
        ConversionCase{"Trim8MiBHalfPadding", trimOverdumpImage, padded(8 << 20, (4 << 20) - 1, 0xFF),
                       padded(4 << 20, (4 << 20) - 1, 0xFF)},
        ConversionCase{"TrimZerosTo4096", trimOverdumpImage, filled(8192, 0x00), filled(4096)},
        ConversionCase{"TrimNeverGrows", trimOverdumpImage, padded(5000, 4200, 0x00),
                       padded(5000, 4200, 0x00)},
        ConversionCase{"TrimOtherFillUnchanged", trimOverdumpImage, filled(9000, 0x12),
                       filled(9000, 0x12)},
        ConversionCase{"TrimSmallUnchanged", trimOverdumpImage, filled(4096, 0xFF),
                       filled(4096, 0xFF)},
        ConversionCase{"TrimOneByte", trimOverdumpImage, imageOf({0x00}), imageOf({0x00})},
        ConversionCase{"TrimRefusesEmpty", trimOverdumpImage, RomImage{}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SaveRamSwap, TwiceGivesBackInput) {
    RomImage image = counting(1001);
    ASSERT_TRUE(swapSaveRam16Image(image));
    ASSERT_TRUE(swapSaveRam16Image(image));
    EXPECT_EQ(image, counting(1001));
}

} // namespace

namespace {

// Wherever the last data byte falls, the cut is the smallest power of two
// holding it (never below 4096, never above the size).
TEST(Trim, CutFollowsLastDataByteAtEveryPosition) {
    for (std::size_t size : {4097u, 8192u, 8200u, 20000u}) {
        for (std::size_t last = 0; last < size; last += 61) {
            for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
                RomImage image = filled(size, fill);
                image[last] = 0x42;
                std::size_t expected = 4096;
                while (expected < last + 1) {
                    expected *= 2;
                }
                expected = std::min(expected, size);
                ASSERT_TRUE(trimOverdumpImage(image));
                ASSERT_EQ(image.size(), expected) << "size " << size << " last " << last;
            }
        }
    }
}

} // namespace
