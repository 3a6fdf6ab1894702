#include <gtest/gtest.h>

#include <optional>

#include "io/input_file.h"
#include "e2e/harness.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

struct RepairCommandCase {
    const char* name;
    std::string command;
    Bytes input;
    std::optional<Bytes> output; // nullopt: rejected, no output file
    std::string progress;
    std::string result; // the success line (stdout) or the failure line (stderr)
};

void PrintTo(const RepairCommandCase& c, std::ostream* os) { *os << c.name; }

class RepairCommand : public ::testing::TestWithParam<RepairCommandCase> {};

TEST_P(RepairCommand, PrintsItsLinesAndWritesExactBytes) {
    const RepairCommandCase& c = GetParam();
    e2e::ScratchFolder scratch;
    scratch.write("in.rom", c.input);
    const e2e::RunResult result = e2e::runQuillon({c.command, "in.rom", "out.rom"}, scratch.path());
    if (c.output) {
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, c.progress + "\n" + c.result + "\n");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(scratch.read("out.rom"), toBytes(*c.output));
    } else {
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, c.progress + "\n");
        EXPECT_EQ(result.err, c.result + "\n");
        EXPECT_FALSE(scratch.exists("out.rom"));
    }
    EXPECT_EQ(scratch.read("in.rom"), toBytes(c.input)); // the input is never modified
    // Nothing but the input and the output is left behind.
    std::vector<std::string> expected{"in.rom"};
    if (c.output) {
        expected.push_back("out.rom");
    }
    EXPECT_EQ(scratch.entries(), expected);
}

Bytes brokenGameBoy() {
    Bytes image = makeGameBoy(0x8000, "QUILLON", 0x01);
    image[0x14D] = 0;
    return image;
}

Bytes repairedGameBoy() {
    Bytes image = makeGameBoy(0x8000, "QUILLON", 0x01);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        sum += (i == 0x14E || i == 0x14F) ? 0 : image[i];
    }
    image[0x14E] = static_cast<std::uint8_t>(sum >> 8);
    image[0x14F] = static_cast<std::uint8_t>(sum);
    return image;
}

// A LoROM image as an assembler leaves it, its checksum pair 00 00 00 00.
Bytes assembledSnes() { return makeAssembledSnes(0x80000, 0x7FC0, 0x20); }

Bytes noise(std::size_t size) {
    Bytes image(size);
    std::uint32_t state = 5;
    for (std::uint8_t& byte : image) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return image;
}

// A Nintendo 64 image of one boot code variant in one byte order, with zero
// or with correct header checksums.
Bytes nintendo64(std::size_t variant, N64Order order, bool correct) {
    const N64BootCodeVariant& v = n64Variants[variant];
    Bytes image = makeNintendo64WithBootCode(v.crc32);
    if (correct) {
        putN64Checksums(image, v.crc1, v.crc2);
    }
    return inN64Order(std::move(image), order);
}

// 3 MiB whose last 1 MiB is 0xFF fill after a last data byte at 2 MiB - 1.
Bytes overdumped(std::size_t size = 3 << 20) {
    Bytes image = filled(size, 0xFF);
    image[(2 << 20) - 1] = 0x00;
    return image;
}

const std::string fixProgress = "Repairing checksums for in.rom -> out.rom...";
const std::string fixFailed = "ERROR: Failed to fix checksum for in.rom";
const std::string fixDone = "SUCCESS: Header & global checksums repaired and verified!";
const std::string stripProgress = "Stripping 512-byte copier header from in.rom -> out.rom...";
const std::string stripFailed =
    "ERROR: Input file does not contain a standard 512-byte copier header.";
const std::string n64Progress = "Converting N64 ROM to Big-Endian (.z64) format...";
const std::string n64Failed = "ERROR: Failed to convert N64 ROM endianness.";
const std::string srmProgress = "Swapping save RAM 16-bit endianness for in.rom -> out.rom...";
const std::string srmFailed = "ERROR: Failed to swap save RAM endianness.";
const std::string trimProgress = "Trimming overdumped padding bytes from in.rom...";
const std::string trimFailed = "ERROR: Failed to trim ROM.";

INSTANTIATE_TEST_SUITE_P(
    Commands, RepairCommand,
    ::testing::Values(
        RepairCommandCase{"FixGameBoy", "--fix-checksum", brokenGameBoy(), repairedGameBoy(),
                          fixProgress, fixDone},
        RepairCommandCase{"FixRefusesNes", "--fix-checksum", makeNes(), std::nullopt, fixProgress,
                          fixFailed},
        RepairCommandCase{"FixAssembledSnes", "--fix-checksum", assembledSnes(),
                          withSnesChecksum(assembledSnes(), 0, 0x7FDC), fixProgress, fixDone},
        RepairCommandCase{"FixRefusesSnesWithoutHeader", "--fix-checksum", noise(0x40000),
                          std::nullopt, fixProgress, fixFailed},
        RepairCommandCase{"FixNintendo64", "--fix-checksum", nintendo64(1, N64Order::Z64, false),
                          nintendo64(1, N64Order::Z64, true), fixProgress, fixDone},
        RepairCommandCase{"FixNintendo64KeepsByteSwappedOrder", "--fix-checksum",
                          nintendo64(4, N64Order::V64, false), nintendo64(4, N64Order::V64, true),
                          fixProgress, fixDone},
        RepairCommandCase{"FixNintendo64KeepsLittleEndianOrder", "--fix-checksum",
                          nintendo64(5, N64Order::N64, false), nintendo64(5, N64Order::N64, true),
                          fixProgress, fixDone},
        RepairCommandCase{"FixRefusesNintendo64UnknownBootCode", "--fix-checksum",
                          makeNintendo64WithBootCode(0x01020304), std::nullopt, fixProgress, fixFailed},
        RepairCommandCase{"FixRefusesShortNintendo64", "--fix-checksum", makeNintendo64(),
                          std::nullopt, fixProgress, fixFailed},
        RepairCommandCase{"FixRefusesUnknown", "--fix-checksum", filled(100, 1), std::nullopt,
                          fixProgress, fixFailed},
        RepairCommandCase{"FixRefusesEmpty", "--fix-checksum", Bytes{}, std::nullopt,
                          fixProgress, fixFailed},
        RepairCommandCase{"StripCopierHeader", "--strip-header", withCopierHeader(makeGameBoy(), 0xAA),
                          makeGameBoy(), stripProgress, "SUCCESS: Clean headerless ROM written to out.rom"},
        RepairCommandCase{"StripOnly512Bytes", "--strip-header", filled(512, 1), Bytes{},
                          stripProgress, "SUCCESS: Clean headerless ROM written to out.rom"},
        RepairCommandCase{"StripRefusesWholeKilobytes", "--strip-header", filled(1024),
                          std::nullopt, stripProgress, stripFailed},
        RepairCommandCase{"N64FromByteSwapped", "--n64-endian",
                          makeNintendo64(4099, N64Order::V64), makeNintendo64(4099),
                          n64Progress, "SUCCESS: Big-Endian N64 ROM written to out.rom"},
        RepairCommandCase{"N64FromLittleEndian", "--n64-endian",
                          makeNintendo64(4096, N64Order::N64), makeNintendo64(4096),
                          n64Progress, "SUCCESS: Big-Endian N64 ROM written to out.rom"},
        RepairCommandCase{"N64RefusesGameBoy", "--n64-endian", makeGameBoy(), std::nullopt,
                          n64Progress, n64Failed},
        RepairCommandCase{"SrmSwap", "--srm-swap", imageOf({1, 2, 3, 4, 5}),
                          imageOf({2, 1, 4, 3, 5}), srmProgress,
                          "SUCCESS: Save RAM endianness swapped!"},
        RepairCommandCase{"SrmRefusesOneByte", "--srm-swap", imageOf({1}), std::nullopt,
                          srmProgress, srmFailed},
        RepairCommandCase{"TrimOverdump", "--trim", overdumped(),
                          overdumped(2 << 20),
                          trimProgress, "SUCCESS: Trimmed ROM written to out.rom"},
        RepairCommandCase{"TrimNothingToCut", "--trim", filled(5000, 0x12), filled(5000, 0x12),
                          trimProgress, "SUCCESS: Trimmed ROM written to out.rom"},
        RepairCommandCase{"TrimRefusesEmpty", "--trim", Bytes{}, std::nullopt, trimProgress,
                          trimFailed}),
    [](const auto& info) { return std::string(info.param.name); });

// A repaired image reads as valid for every platform that has a repair, and
// a repair written over its own input replaces it.
TEST(FixChecksumInPlace, RepairedImagesInspectAsValid) {
    struct Case {
        const char* fileName;
        Bytes image;
        std::size_t corruptAt;
    };
    std::vector<Case> cases;
    cases.push_back({"game.gb", makeGameBoy(), 0x14D});
    cases.push_back({"game.gba", makeGameBoyAdvance(), 0xBD});
    cases.push_back({"game.smc", makeSnes(0x40000, true, true), 512 + 0xFFDE});
    cases.push_back({"game.md", makeGenesis(0x2001), 0x18F});
    cases.push_back({"game.sfc", withSnesChecksum(assembledSnes(), 0, 0x7FDC), 0x7FDE});
    cases.push_back({"big.smc",
                     withCopierHeader(withSnesChecksum(makeAssembledSnes(0x600000, 0x40FFC0, 0x25),
                                                       0, 0x40FFDC), 0x00),
                     512 + 0x40FFDD});
    cases.push_back({"game.v64", nintendo64(3, N64Order::V64, true), 0x13});
    cases.push_back({"game.n64", nintendo64(5, N64Order::N64, true), 0x100FFF});
    for (Case& c : cases) {
        e2e::ScratchFolder scratch;
        c.image[c.corruptAt] ^= 0x5A;
        scratch.write(c.fileName, c.image);
        const auto before = e2e::runQuillon({"--inspect", c.fileName}, scratch.path());
        EXPECT_NE(before.out.find("INVALID OR CORRUPTED [FAILED]"), std::string::npos) << c.fileName;

        const auto fixed = e2e::runQuillon({"--fix-checksum", c.fileName, c.fileName}, scratch.path());
        EXPECT_EQ(fixed.exitCode, 0) << c.fileName;
        EXPECT_EQ(scratch.read(c.fileName).size(), c.image.size()) << c.fileName;
        const auto after = e2e::runQuillon({"--inspect", c.fileName}, scratch.path());
        EXPECT_NE(after.out.find("Checksum Status: VALID [PASSED]"), std::string::npos)
            << c.fileName << "\n" << after.out;
        EXPECT_EQ(scratch.entries(), std::vector<std::string>{c.fileName});
    }
}

// Images whose check values a public toolchain computed: a repair leaves each
// byte for byte as it is, and restores the Super Nintendo ones after their
// pair is blanked to FF FF 00 00.
TEST(RealImages, RepairAgreesWithTheToolchains) {
    struct Case {
        const char* file;
        std::optional<std::size_t> snesPair;
    };
    const Case cases[] = {{"quillon_demo.gb", std::nullopt},
                          {"snes_lorom_96k.sfc", 0x7FDC},
                          {"snes_lorom_128k.sfc", 0x7FDC},
                          {"snes_hirom_192k.sfc", 0xFFDC}};
    e2e::ScratchFolder scratch;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Bytes original =
            readFile(std::string(QUILLON_TEST_DATA_DIR) + "/vectors/images/" + c.file).value_or(Bytes{});
        ASSERT_FALSE(original.empty());
        std::vector<Bytes> inputs{original};
        if (c.snesPair) {
            Bytes blanked = original;
            const std::uint8_t blank[] = {0xFF, 0xFF, 0x00, 0x00};
            std::copy(std::begin(blank), std::end(blank), blanked.begin() + *c.snesPair);
            ASSERT_NE(blanked, original);
            inputs.push_back(blanked);
        }
        for (const Bytes& input : inputs) {
            scratch.write("in.rom", input);
            const auto result = e2e::runQuillon({"--fix-checksum", "in.rom", "out.rom"}, scratch.path());
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(scratch.read("out.rom"), toBytes(original));
        }
    }
}

TEST(ExtraArguments, TrimWithThreePathsTrimsFirstIntoSecond) {
    e2e::ScratchFolder scratch;
    scratch.write("in.rom", filled(8192));
    const auto result = e2e::runQuillon({"--trim", "in.rom", "out.rom", "ignored.rom"}, scratch.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, trimProgress + "\nSUCCESS: Trimmed ROM written to out.rom\n");
    EXPECT_EQ(scratch.read("out.rom").size(), 4096u);
    EXPECT_FALSE(scratch.exists("ignored.rom"));
}

} // namespace
