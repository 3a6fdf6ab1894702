#include <gtest/gtest.h>

#include "inspect/inspect.h"
#include "inspect/snes_header.h"
#include "repair/repair.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

// Positions where two images differ.
std::vector<std::size_t> changedOffsets(const Bytes& before, const Bytes& after) {
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
    Bytes image = makeGameBoy(0x8000, "QUILLON", 0x03);
    image[0x200] = 0x77;
    image[0x14D] = 0x00;
    image[0x14E] = 0xAA;
    image[0x14F] = 0xBB;
    ASSERT_TRUE(fixChecksumImage(image));
    EXPECT_TRUE(inspectImage(image).checksumValid);
    const std::uint16_t sum = gameBoyGlobalChecksum(image); // 0x14D with its new value
    EXPECT_EQ(image[0x14E], static_cast<std::uint8_t>(sum >> 8));
    EXPECT_EQ(image[0x14F], static_cast<std::uint8_t>(sum));
}

TEST(FixChecksum, GameBoyAdvanceChangesOnlyComplement) {
    Bytes image = makeGameBoyAdvance();
    image[0xBD] ^= 0x33;
    const Bytes before = image;
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

void PrintTo(const SnesRepairCase& c, std::ostream* os) {
    *os << c.name;
}

class SnesRepair : public ::testing::TestWithParam<SnesRepairCase> {};

TEST_P(SnesRepair, WritesPairAtChosenHeaderOnly) {
    const SnesRepairCase& c = GetParam();
    Bytes image = makeSnes(c.size, c.hiRom, c.copierHeader);
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
    const Bytes before = image;
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
                      SnesRepairCase{"HiRomSmallest", 0x10000, true, false, 0xFFDC},
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
        Bytes data = filled(size);
        for (std::size_t i = 0; i < size; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 37 + 11);
        }
        for (std::size_t fields = 0; fields + 4 <= size; ++fields) {
            EXPECT_EQ(computeSnesChecksum(data, fields), snesChecksumOf(data, 0, fields))
                << size << " " << fields;
        }
    }
}

// The header is chosen by its fields, the same for the report and the repair;
// data without a credible header report as before and are not repaired.
struct SnesChoiceCase {
    const char* name;
    Bytes (*make)(); // built when the case runs: some images are megabytes
    std::string details;
    std::optional<std::size_t> fields; // where the repair writes the pair; nullopt: refused
    std::string title = "";            // checked when not empty
};

void PrintTo(const SnesChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class SnesHeaderChoice : public ::testing::TestWithParam<SnesChoiceCase> {};

TEST_P(SnesHeaderChoice, InspectorAndRepairTakeTheSameHeader) {
    const SnesChoiceCase& c = GetParam();
    const Bytes input = c.make();
    const RomInfo info = inspectImage(input);
    EXPECT_EQ(info.details, c.details);
    if (!c.title.empty()) {
        EXPECT_EQ(info.title, c.title);
    }
    Bytes image = input;
    ASSERT_EQ(fixChecksumImage(image), c.fields.has_value());
    if (!c.fields) {
        EXPECT_EQ(image, input);
        return;
    }
    const std::size_t at = *c.fields;
    for (std::size_t offset : changedOffsets(input, image)) {
        EXPECT_TRUE(offset >= at && offset < at + 4) << offset;
    }
    const std::uint16_t checksum = snesChecksumOf(image, info.hasCopierHeader ? 512 : 0, at);
    EXPECT_EQ(image[at + 2] | image[at + 3] << 8, checksum);
    EXPECT_EQ(image[at] | image[at + 1] << 8, static_cast<std::uint16_t>(~checksum));
    const RomInfo after = inspectImage(image);
    EXPECT_EQ(after.details, c.details);
    EXPECT_TRUE(after.checksumValid);
}

Bytes loRomWithAgreeingHiRomPair() {
    Bytes image = makeSnes(0x100000, false, false, "LOW QUILLON");
    putLittleEndian16(image, 0xFFDC, 0xEDCB);
    putLittleEndian16(image, 0xFFDE, 0x1234);
    return image;
}

// Zero data but for a LoROM header without a pair (its program starting with
// an instruction that says nothing) and an agreeing HiROM pair: four points
// each, and the tie goes to LoROM.
Bytes zeroedLoRomTiesHiRomPair() {
    Bytes image = filled(0x80000);
    image[0] = 0xEA; // nop
    putText(image, 0x7FC0, "TIE QUILLON          ");
    image[0x7FD5] = 0x20;
    putLittleEndian16(image, 0x7FFC, 0x8000);
    putLittleEndian16(image, 0xFFDC, 0xFFFF);
    return image;
}

Bytes randomData(std::size_t size) {
    Bytes image = filled(size);
    std::uint32_t state = 99;
    for (std::uint8_t& byte : image) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return image;
}

// Katakana title, no pair, no reset vector: credible through map mode and title.
Bytes japaneseTitle() {
    Bytes image = makeAssembledSnes(0x80000, 0x7FC0, 0x30, "", 0x0000);
    put(image, 0x7FC0, {0xBD, 0xB0, 0xCA, 0xDF, 0xB0, 0x20, 0x51, 0x55, 0x49, 0x4C});
    return image;
}

// A test program as an assembler leaves it: blank title, map mode 0, the
// pair zeroed; only its reset vector and the first instruction there (at
// vector - 0x8000 in LoROM, at vector in HiROM) tell the mapping.
Bytes testProgram(std::size_t size, std::size_t header, std::size_t start, std::uint8_t opcode) {
    Bytes image = filled(size);
    putText(image, header, std::string(21, ' '));
    putLittleEndian16(image, header + 0x3C, 0x8000 + (start & 0x7FFF));
    image[start] = opcode;
    return image;
}

// 48 Mbit ExHiROM: the header at 0x40FFC0 (the fast-ROM map mode 0x35).
Bytes exHiRom(bool copier) {
    const Bytes cartridge = makeAssembledSnes(0x600000, 0x40FFC0, 0x35, "EXTENDED QUILLON");
    return copier ? withCopierHeader(cartridge, 0x00) : cartridge;
}

// An ExHiROM header whose 64-byte block the data end one byte short of.
Bytes exHiRomCutShort() {
    Bytes image = filled(0x410000 - 1);
    putText(image, 0x40FFC0, "EXTENDED QUILLON     ");
    image[0x40FFD5] = 0x25;
    putLittleEndian16(image, 0x40FFDC, 0xFFFF);
    image[0x40FFFD] = 0x80;
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Images, SnesHeaderChoice,
    ::testing::Values(
        SnesChoiceCase{"AssembledLoRomZeroedPair",
                       [] { return makeAssembledSnes(0x80000, 0x7FC0, 0x20); }, "Mapping: LoROM",
                       0x7FDC, "QUILLON ASSEMBLED    "},
        SnesChoiceCase{
            "AssembledLoRomZeroedPairCopier",
            [] { return withCopierHeader(makeAssembledSnes(0x80000, 0x7FC0, 0x20), 0xAA); },
            "Mapping: LoROM (512-byte copier header detected)", 512 + 0x7FDC},
        SnesChoiceCase{"HiRomBrokenPair", [] { return makeAssembledSnes(0x100000, 0xFFC0, 0x31); },
                       "Mapping: HiROM", 0xFFDC, "QUILLON ASSEMBLED    "},
        SnesChoiceCase{
            "HiRomBrokenPairCopier",
            [] { return withCopierHeader(makeAssembledSnes(0x100000, 0xFFC0, 0x21), 0x00); },
            "Mapping: HiROM (512-byte copier header detected)", 512 + 0xFFDC},
        SnesChoiceCase{"LoRomWithAgreeingHiRomPair", loRomWithAgreeingHiRomPair, "Mapping: LoROM",
                       0x7FDC},
        SnesChoiceCase{"TieGoesToLoRom", zeroedLoRomTiesHiRomPair, "Mapping: LoROM", 0x7FDC},
        SnesChoiceCase{"JapaneseTitle", japaneseTitle, "Mapping: LoROM", 0x7FDC,
                       "      QUIL           "},
        SnesChoiceCase{"ExHiRom48Mbit", [] { return exHiRom(false); }, "Mapping: ExHiROM", 0x40FFDC,
                       "EXTENDED QUILLON     "},
        SnesChoiceCase{"ExHiRom48MbitCopier", [] { return exHiRom(true); },
                       "Mapping: ExHiROM (512-byte copier header detected)", 512 + 0x40FFDC},
        SnesChoiceCase{"LoRomTestProgramStartingWithClc",
                       [] { return testProgram(0x8000, 0x7FC0, 0x0010, 0x18); }, "Mapping: LoROM",
                       0x7FDC},
        SnesChoiceCase{
            "HiRomTestProgramStartingWithSeiBehindCopier",
            [] { return withCopierHeader(testProgram(0x10000, 0xFFC0, 0x8000, 0x78), 0); },
            "Mapping: HiROM (512-byte copier header detected)", 512 + 0xFFDC},
        // No credible header: the bare pair test's report, and no repair.
        SnesChoiceCase{"LoRomTestProgramStartingWithRts",
                       [] { return testProgram(0x8000, 0x7FC0, 0x0010, 0x60); }, "Mapping: LoROM",
                       std::nullopt},
        SnesChoiceCase{"HiRomTestProgramStartingWithBrk",
                       [] { return testProgram(0x10000, 0xFFC0, 0x8000, 0x00); }, "Mapping: HiROM",
                       std::nullopt},
        SnesChoiceCase{"RandomDataKeepsReport", [] { return randomData(0x100000); },
                       "Mapping: HiROM", std::nullopt},
        SnesChoiceCase{"RandomDataCopier", [] { return randomData(0x40200); },
                       "Mapping: HiROM (512-byte copier header detected)", std::nullopt},
        SnesChoiceCase{"ShortFillerIsLoRom", [] { return filled(65499, 0x11); }, "Mapping: LoROM",
                       std::nullopt},
        SnesChoiceCase{"ExHiRomBlockOneByteShort", exHiRomCutShort, "Mapping: HiROM",
                       std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// The 48 Mbit sum: the first 4 MiB once and the last 2 MiB twice.
TEST(SnesChecksum, ExHiRomCountsTheUpperTwoMegabytesTwice) {
    Bytes image = filled(0x600000);
    image[0x100] = 1;       // lower 4 MiB: once
    image[0x500000] = 10;   // upper 2 MiB: twice
    image[0x40FFDC] = 0x5A; // the pair itself counts as FF FF 00 00, twice
    EXPECT_EQ(computeSnesChecksum(image, 0x40FFDC), 1 + 2 * 10 + 2 * (0xFF + 0xFF));
}

TEST(FixChecksum, SnesWithoutCompleteHiRomFieldsIsRejected) {
    for (std::size_t size : {65500u, 65503u}) {
        Bytes image = filled(size, 0x11);
        const Bytes before = image;
        EXPECT_FALSE(fixChecksumImage(image)) << size;
        EXPECT_EQ(image, before) << size;
    }
}

// Nintendo 64: every boot code variant in every byte order is checked and
// repaired, the checksums stored where the file's own order keeps them.
std::string orderName(N64Order order) {
    switch (order) {
    case N64Order::V64:
        return "v64";
    case N64Order::N64:
        return "n64";
    case N64Order::Z64:
        break;
    }
    return "z64";
}

class Nintendo64Checksums
    : public ::testing::TestWithParam<std::tuple<N64BootCodeVariant, N64Order>> {};

TEST_P(Nintendo64Checksums, CheckedAndRepairedInTheFilesOrder) {
    const auto& [variant, order] = GetParam();
    const Bytes canonical = makeNintendo64WithBootCode(variant.crc32);
    Bytes valid = canonical;
    putN64Checksums(valid, variant.crc1, variant.crc2);

    Bytes image = inN64Order(canonical, order);
    const RomInfo before = inspectImage(image);
    EXPECT_EQ(before.platform, RomPlatform::Nintendo64);
    EXPECT_FALSE(before.checksumValid);
    ASSERT_TRUE(fixChecksumImage(image));
    EXPECT_EQ(image, inN64Order(valid, order));
    const RomInfo after = inspectImage(image);
    EXPECT_TRUE(after.checksumValid);
    EXPECT_EQ(after.details, before.details);

    // The checksummed data end with byte 0x100FFF; the next byte is not counted.
    Bytes lastCounted = valid;
    lastCounted[0x100FFF] ^= 0x01;
    EXPECT_FALSE(inspectImage(inN64Order(lastCounted, order)).checksumValid);
    Bytes longer = makeNintendo64WithBootCode(variant.crc32, 0x101008);
    putN64Checksums(longer, variant.crc1, variant.crc2);
    longer[0x101000] ^= 0x01;
    EXPECT_TRUE(inspectImage(inN64Order(longer, order)).checksumValid);
}

INSTANTIATE_TEST_SUITE_P(Variants, Nintendo64Checksums,
                         ::testing::Combine(::testing::ValuesIn(n64Variants),
                                            ::testing::Values(N64Order::Z64, N64Order::V64,
                                                              N64Order::N64)),
                         [](const auto& info) {
                             return std::string("Cic") + std::get<0>(info.param).name + "_" +
                                    orderName(std::get<1>(info.param));
                         });

// An unknown boot code or an image one byte short of the checksummed data:
// nothing is checked, so the report passes and the repair refuses.
TEST(FixChecksum, Nintendo64WithoutCheckableChecksumsIsRefused) {
    const struct {
        const char* name;
        Bytes image;
    } cases[] = {
        {"unknown boot code", makeNintendo64WithBootCode(0x12345678)},
        {"unknown boot code v64", makeNintendo64WithBootCode(0x12345678, 0x101000, N64Order::V64)},
        {"one byte short", makeNintendo64WithBootCode(n64Variants[1].crc32, 0x101000 - 1)},
        {"one byte short n64",
         makeNintendo64WithBootCode(n64Variants[4].crc32, 0x101000 - 1, N64Order::N64)},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(inspectImage(c.image).checksumValid) << c.name;
        Bytes image = c.image;
        EXPECT_FALSE(fixChecksumImage(image)) << c.name;
        EXPECT_EQ(image, c.image) << c.name;
    }
}

TEST(FixChecksum, GenesisSumsWordsFrom200AndSkipsOddByte) {
    Bytes image = makeGenesis(0x1001);
    image[0x18E] = 0;
    image[0x18F] = 0;
    const Bytes before = image;
    ASSERT_TRUE(fixChecksumImage(image));
    EXPECT_TRUE(inspectImage(image).checksumValid);
    EXPECT_EQ(changedOffsets(before, image).size() <= 2, true);
    Bytes lastByteChanged = before;
    lastByteChanged.back() ^= 0xFF;
    ASSERT_TRUE(fixChecksumImage(lastByteChanged));
    EXPECT_EQ(lastByteChanged[0x18E], image[0x18E]);
    EXPECT_EQ(lastByteChanged[0x18F], image[0x18F]);

    for (std::size_t size : {512u, 513u}) {
        Bytes tiny = filled(size, 0x5A);
        putText(tiny, 0x100, "SEGA");
        ASSERT_TRUE(fixChecksumImage(tiny));
        EXPECT_EQ(tiny[0x18E], 0);
        EXPECT_EQ(tiny[0x18F], 0);
    }
}

TEST(FixChecksum, RefusesPlatformsWithoutRepair) {
    for (Bytes image : {makeNes(), makeNintendo64(), filled(1000, 0x42), Bytes{}}) {
        const Bytes before = image;
        EXPECT_FALSE(fixChecksumImage(image));
        EXPECT_EQ(image, before);
    }
}

// Conversions

struct ConversionCase {
    const char* name;
    bool (*convert)(Bytes&);
    Bytes input;
    std::optional<Bytes> expected; // nullopt: rejected
};

void PrintTo(const ConversionCase& c, std::ostream* os) {
    *os << c.name;
}

class Conversion : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversion, GivesExpectedBytes) {
    const ConversionCase& c = GetParam();
    Bytes image = c.input;
    const bool accepted = c.convert(image);
    ASSERT_EQ(accepted, c.expected.has_value());
    if (accepted) {
        EXPECT_EQ(toBytes(image), toBytes(*c.expected));
    }
}

Bytes counting(std::size_t size, std::size_t from = 0) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(from + i);
    }
    return image;
}

Bytes padded(std::size_t size, std::size_t lastData, std::uint8_t fill) {
    Bytes image = filled(size, fill);
    image.at(lastData) = 0x42;
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Conversion,
    ::testing::Values(
        // Copier header removal
        ConversionCase{"StripExactly512", stripCopierHeaderImage, filled(512, 7), Bytes{}},
        ConversionCase{"Strip1536", stripCopierHeaderImage, counting(1536), counting(1024, 512)},
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
        ConversionCase{"Trim8MiBHalfPadding", trimOverdumpImage,
                       padded(8 << 20, (4 << 20) - 1, 0xFF), padded(4 << 20, (4 << 20) - 1, 0xFF)},
        ConversionCase{"TrimZerosTo4096", trimOverdumpImage, filled(8192, 0x00), filled(4096)},
        ConversionCase{"TrimNeverGrows", trimOverdumpImage, padded(5000, 4200, 0x00),
                       padded(5000, 4200, 0x00)},
        ConversionCase{"TrimOtherFillUnchanged", trimOverdumpImage, filled(9000, 0x12),
                       filled(9000, 0x12)},
        ConversionCase{"TrimSmallUnchanged", trimOverdumpImage, filled(4096, 0xFF),
                       filled(4096, 0xFF)},
        ConversionCase{"TrimOneByte", trimOverdumpImage, imageOf({0x00}), imageOf({0x00})},
        ConversionCase{"TrimRefusesEmpty", trimOverdumpImage, Bytes{}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SaveRamSwap, TwiceGivesBackInput) {
    Bytes image = counting(1001);
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
                Bytes image = filled(size, fill);
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
