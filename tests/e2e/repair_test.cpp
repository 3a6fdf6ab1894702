#include <gtest/gtest.h>

#include <optional>

#include "e2e/harness.h"
#include "io/input_file.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

// A LoROM image as an assembler leaves it, its checksum pair 00 00 00 00.
Bytes assembledSnes() {
    return makeAssembledSnes(0x80000, 0x7FC0, 0x20);
}

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
    cases.push_back(
        {"big.smc",
         withCopierHeader(
             withSnesChecksum(makeAssembledSnes(0x600000, 0x40FFC0, 0x25), 0, 0x40FFDC), 0x00),
         512 + 0x40FFDD});
    cases.push_back({"game.v64", makeNintendo64OfVariant(3, N64Order::V64, true), 0x13});
    cases.push_back({"game.n64", makeNintendo64OfVariant(5, N64Order::N64, true), 0x100FFF});
    for (Case& c : cases) {
        e2e::ScratchFolder scratch;
        c.image[c.corruptAt] ^= 0x5A;
        scratch.write(c.fileName, c.image);
        const auto before = e2e::runQuillon({"--inspect", c.fileName}, scratch.path());
        EXPECT_NE(before.out.find("INVALID OR CORRUPTED [FAILED]"), std::string::npos)
            << c.fileName;

        const auto fixed =
            e2e::runQuillon({"--fix-checksum", c.fileName, c.fileName}, scratch.path());
        EXPECT_EQ(fixed.exitCode, 0) << c.fileName;
        EXPECT_EQ(scratch.read(c.fileName).size(), c.image.size()) << c.fileName;
        const auto after = e2e::runQuillon({"--inspect", c.fileName}, scratch.path());
        EXPECT_NE(after.out.find("Checksum Status: VALID [PASSED]"), std::string::npos)
            << c.fileName << "\n"
            << after.out;
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
            readFile(std::string(QUILLON_TEST_DATA_DIR) + "/vectors/images/" + c.file)
                .value_or(Bytes{});
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
            const auto result =
                e2e::runQuillon({"--fix-checksum", "in.rom", "out.rom"}, scratch.path());
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(scratch.read("out.rom"), toBytes(original));
        }
    }
}

} // namespace
