#include <gtest/gtest.h>

#include "e2e/harness.h"
#include "base/hex.h"
#include "inspect/header_text.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

struct InspectCase {
    const char* name;
    std::string fileName;
    Bytes image;
    std::string report;
};

void PrintTo(const InspectCase& c, std::ostream* os) { *os << c.name; }

class InspectReport : public ::testing::TestWithParam<InspectCase> {};

TEST_P(InspectReport, PrintsExactReportAndSucceeds) {
    const InspectCase& c = GetParam();
    e2e::ScratchFolder scratch;
    scratch.write(c.fileName, c.image);
    const e2e::RunResult result = e2e::runQuillon({"--inspect", c.fileName}, scratch.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, c.report);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(scratch.read(c.fileName), toBytes(c.image)); // inspection never writes
}

Bytes badGameBoy() {
    Bytes image = makeGameBoy(0x8000, "ZELDA", 0x1B);
    image[0x14D] ^= 0x5A;
    image[0x143] = 0xC0;
    return image;
}

Bytes nesWithSega() {
    Bytes image = makeNes(2, 1, 0x10, 0x00);
    putText(image, 0x100, "SEGA");
    return image;
}

Bytes snesWithCopier() {
    Bytes image = makeSnes(0x100000, false, true, "SUPER QUILLON");
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Platforms, InspectReport,
    ::testing::Values(
        InspectCase{"GameBoy", "game.gb", makeGameBoy(0x8000, "QUILLON", 0x13),
                    "=== Quillon Inspection Report ===\n"
                    "File:            game.gb\n"
                    "File Size:       32768 bytes (32 KB)\n"
                    "Platform:        Nintendo Game Boy / GBC\n"
                    "Internal Title:  QUILLON         \n"
                    "Copier Header:   NO\n"
                    "Checksum Status: VALID [PASSED]\n"
                    "Details:         Cartridge Type: 0x13\n"},
        InspectCase{"GameBoyBadChecksum", "bad.gbc", badGameBoy(),
                    "=== Quillon Inspection Report ===\n"
                    "File:            bad.gbc\n"
                    "File Size:       32768 bytes (32 KB)\n"
                    "Platform:        Nintendo Game Boy / GBC\n"
                    "Internal Title:  ZELDA           \n"
                    "Copier Header:   NO\n"
                    "Checksum Status: INVALID OR CORRUPTED [FAILED]\n"
                    "Details:         Cartridge Type: 0x1B\n"},
        InspectCase{"GameBoyAdvance", "game.gba", makeGameBoyAdvance(0x600, "QUILLONADV", "AQLE"),
                    "=== Quillon Inspection Report ===\n"
                    "File:            game.gba\n"
                    "File Size:       1536 bytes (1 KB)\n"
                    "Platform:        Nintendo Game Boy Advance\n"
                    "Internal Title:  QUILLONADV  \n"
                    "Game Code:       AQLE\n"
                    "Copier Header:   NO\n"
                    "Checksum Status: VALID [PASSED]\n"},
        InspectCase{"GameBoyAdvanceNoCode", "nocode.gba", makeGameBoyAdvance(0x100, "X", ""),
                    "=== Quillon Inspection Report ===\n"
                    "File:            nocode.gba\n"
                    "File Size:       256 bytes (0 KB)\n"
                    "Platform:        Nintendo Game Boy Advance\n"
                    "Internal Title:  X           \n"
                    "Copier Header:   NO\n"
                    "Checksum Status: VALID [PASSED]\n"},
        InspectCase{"SnesWithCopierHeader", "game.smc", snesWithCopier(),
                    "=== Quillon Inspection Report ===\n"
                    "File:            game.smc\n"
                    "File Size:       1049088 bytes (1024 KB)\n"
                    "Platform:        Super Nintendo (SNES)\n"
                    "Internal Title:  SUPER QUILLON        \n"
                    "Copier Header:   YES (512-byte copier header present)\n"
                    "Checksum Status: VALID [PASSED]\n"
                    "Details:         Mapping: LoROM (512-byte copier header detected)\n"},
        InspectCase{"SnesHiRom", "game.sfc", makeSnes(0x10000, true, false, "HIGH"),
                    "=== Quillon Inspection Report ===\n"
                    "File:            game.sfc\n"
                    "File Size:       65536 bytes (64 KB)\n"
                    "Platform:        Super Nintendo (SNES)\n"
                    "Internal Title:  HIGH                 \n"
                    "Copier Header:   NO\n"
                    "Checksum Status: VALID [PASSED]\n"
                    "Details:         Mapping: HiROM\n"},
        InspectCase{"SnesHiRomHeaderCutOff", "cut.sfc", filled(65501, 0x01),
                    "=== Quillon Inspection Report ===\n"
                    "File:            cut.sfc\n"
                    "File Size:       65501 bytes (63 KB)\n"
                    "Platform:        Super Nintendo (SNES)\n"
                    "Internal Title:  (None)\n"
                    "Copier Header:   NO\n"
                    "Checksum Status: INVALID OR CORRUPTED [FAILED]\n"},
        InspectCase{"Genesis", "game.md", makeGenesis(0x1000, "QUILLON GENESIS"),
                    "=== Quillon Inspection Report ===\n"
                    "File:            game.md\n"
                    "File Size:       4096 bytes (4 KB)\n"
                    "Platform:        Sega Genesis / Mega Drive\n"
                    "Internal Title:  QUILLON GENESIS                                 \n"
                    "Copier Header:   NO\n"
                    "Checksum Status: VALID [PASSED]\n"
                    "Details:         Checksum: 0x8000 (Matched)\n"},
        InspectCase{"Nintendo64ByteSwapped", "game.v64",
                    makeNintendo64(0x1000, N64Order::V64, "ABCDEFGHIJKLMNOPQRST"),
                    "=== Quillon Inspection Report ===\n"
                    "File:            game.v64\n"
                    "File Size:       4096 bytes (4 KB)\n"
                    "Platform:        Nintendo 64\n"
                    "Internal Title:  BADCFEHGJILKNMPORQTS\n"
                    "Copier Header:   NO\n"
                    "Checksum Status: VALID [PASSED]\n"
                    "Details:         Format: .v64 (Byte-swapped)\n"},
        InspectCase{"Nintendo64TooShort", "short.z64", imageOf({0x80, 0x37, 0x12, 0x40}),
                    "=== Quillon Inspection Report ===\n"
                    "File:            short.z64\n"
                    "File Size:       4 bytes (0 KB)\n"
                    "Platform:        Nintendo 64\n"
                    "Internal Title:  (None)\n"
                    "Copier Header:   NO\n"
                    "Checksum Status: INVALID OR CORRUPTED [FAILED]\n"},
        InspectCase{"NesBeforeSega", "game.nes", nesWithSega(),
                    "=== Quillon Inspection Report ===\n"
                    "File:            game.nes\n"
                    "File Size:       40976 bytes (40 KB)\n"
                    "Platform:        Nintendo Entertainment System (NES)\n"
                    "Internal Title:  NES Cartridge\n"
                    "Copier Header:   NO\n"
                    "Checksum Status: VALID [PASSED]\n"
                    "Details:         Mapper: 1, PRG: 32 KB, CHR: 8 KB\n"},
        InspectCase{"Unrecognised", "data.bin", filled(1023, 0x55),
                    "=== Quillon Inspection Report ===\n"
                    "File:            data.bin\n"
                    "File Size:       1023 bytes (0 KB)\n"
                    "Platform:        Unknown Binary Format\n"
                    "Internal Title:  (None)\n"
                    "Copier Header:   NO\n"
                    "Checksum Status: INVALID OR CORRUPTED [FAILED]\n"},
        InspectCase{"Empty", "empty.gb", Bytes{},
                    "=== Quillon Inspection Report ===\n"
                    "File:            empty.gb\n"
                    "File Size:       0 bytes (0 KB)\n"
                    "Platform:        Unknown Binary Format\n"
                    "Internal Title:  (None)\n"
                    "Copier Header:   NO\n"
                    "Checksum Status: INVALID OR CORRUPTED [FAILED]\n"}),
    [](const auto& info) { return std::string(info.param.name); });

std::string unknownReport(const std::string& path) {
    return "=== Quillon Inspection Report ===\n"
           "File:            " + path + "\n"
           "File Size:       0 bytes (0 KB)\n"
           "Platform:        Unknown Binary Format\n"
           "Internal Title:  (None)\n"
           "Copier Header:   NO\n"
           "Checksum Status: INVALID OR CORRUPTED [FAILED]\n";
}

TEST(InspectUnreadable, MissingPathAndFolderReportUnknownOfSizeZero) {
    e2e::ScratchFolder scratch;
    std::filesystem::create_directory(scratch.path() / "roms");
    for (const std::string path : {"missing.gb", "roms", "./roms/../missing.gb"}) {
        const e2e::RunResult result = e2e::runQuillon({"--inspect", path}, scratch.path());
        EXPECT_EQ(result.exitCode, 0) << path;
        EXPECT_EQ(result.out, unknownReport(path)) << path; // the path exactly as typed
        EXPECT_EQ(result.err, "") << path;
    }
}

TEST(InspectRealImages, ImagesBuiltWithPublicTools) {
    const std::string vectors = std::string(QUILLON_TEST_DATA_DIR) + "/vectors/images/";
    e2e::ScratchFolder scratch;
    const e2e::RunResult gb =
        e2e::runQuillon({"--inspect", vectors + "quillon_demo.gb"}, scratch.path());
    EXPECT_EQ(gb.out, "=== Quillon Inspection Report ===\n"
                      "File:            " + vectors + "quillon_demo.gb\n"
                      "File Size:       32768 bytes (32 KB)\n"
                      "Platform:        Nintendo Game Boy / GBC\n"
                      "Internal Title:  QUILLONDEMO     \n"
                      "Copier Header:   NO\n"
                      "Checksum Status: VALID [PASSED]\n"
                      "Details:         Cartridge Type: 0x0\n");
    const e2e::RunResult nes =
        e2e::runQuillon({"--inspect", vectors + "nes_hello.nes"}, scratch.path());
    EXPECT_EQ(nes.out, "=== Quillon Inspection Report ===\n"
                       "File:            " + vectors + "nes_hello.nes\n"
                       "File Size:       40976 bytes (40 KB)\n"
                       "Platform:        Nintendo Entertainment System (NES)\n"
                       "Internal Title:  NES Cartridge\n"
                       "Copier Header:   NO\n"
                       "Checksum Status: VALID [PASSED]\n"
                       "Details:         Mapper: 0, PRG: 32 KB, CHR: 8 KB\n");
}

// Large images are read only in their header window (the Genesis checksum
// reads all); the reports are those of the whole image.
TEST(InspectLargeImage, SameReportFromTheHeaderWindow) {
    const Bytes genesis = makeGenesis(8u << 20, "BIG GENESIS");
    const std::uint32_t genesisSum = static_cast<std::uint32_t>(genesis[0x18E] << 8 | genesis[0x18F]);
    Bytes hiRomBehindCopier = makeSnes(32u << 20, true, true, "BIG HIROM");
    Bytes n64Valid = makeNintendo64WithBootCode(n64Variants[4].crc32, 8u << 20);
    putN64Checksums(n64Valid, n64Variants[4].crc1, n64Variants[4].crc2);
    Bytes n64Corrupted = n64Valid;
    n64Corrupted[0x100FFC] ^= 0x80; // the last checksummed word
    const struct {
        const char* name;
        Bytes image;
        std::string report;
    } cases[] = {
        {"n64", makeNintendo64(64u << 20, N64Order::V64),
         "File Size:       67108864 bytes (65536 KB)\n"
         "Platform:        Nintendo 64\n"
         "Internal Title:  UQLIOL NISTX-YOFRU  \n"
         "Copier Header:   NO\n"
         "Checksum Status: VALID [PASSED]\n"
         "Details:         Format: .v64 (Byte-swapped)\n"},
        // The checksums cover the first 0x101000 bytes, the boot code included.
        {"n64 checksums valid", inN64Order(n64Valid, N64Order::N64),
         "File Size:       8388608 bytes (8192 KB)\n"
         "Platform:        Nintendo 64\n"
         "Internal Title:  LIUQ NOLTXISOF-Y  RU\n"
         "Copier Header:   NO\n"
         "Checksum Status: VALID [PASSED]\n"
         "Details:         Format: .n64 (Little-Endian)\n"},
        {"n64 checksummed data changed", n64Corrupted,
         "File Size:       8388608 bytes (8192 KB)\n"
         "Platform:        Nintendo 64\n"
         "Internal Title:  QUILLON SIXTY-FOUR  \n"
         "Copier Header:   NO\n"
         "Checksum Status: INVALID OR CORRUPTED [FAILED]\n"
         "Details:         Format: .z64 (Big-Endian native)\n"},
        // The ExHiROM header lies far beyond the window, at 0x40FFC0 behind
        // the copier header.
        {"snes exhirom", withCopierHeader(makeAssembledSnes(0x600000, 0x40FFC0, 0x35, "EXHIROM"), 0),
         "File Size:       6291968 bytes (6144 KB)\n"
         "Platform:        Super Nintendo (SNES)\n"
         "Internal Title:  EXHIROM              \n"
         "Copier Header:   YES (512-byte copier header present)\n"
         "Checksum Status: INVALID OR CORRUPTED [FAILED]\n"
         "Details:         Mapping: ExHiROM (512-byte copier header detected)\n"},
        // The HiROM header behind a copier header ends exactly at the window's end.
        {"snes", std::move(hiRomBehindCopier),
         "File Size:       33554944 bytes (32768 KB)\n"
         "Platform:        Super Nintendo (SNES)\n"
         "Internal Title:  BIG HIROM            \n"
         "Copier Header:   YES (512-byte copier header present)\n"
         "Checksum Status: VALID [PASSED]\n"
         "Details:         Mapping: HiROM (512-byte copier header detected)\n"},
        {"genesis", genesis,
         "File Size:       8388608 bytes (8192 KB)\n"
         "Platform:        Sega Genesis / Mega Drive\n"
         "Internal Title:  BIG GENESIS                                     \n"
         "Copier Header:   NO\n"
         "Checksum Status: VALID [PASSED]\n"
         "Details:         Checksum: 0x" + hexUpper(genesisSum) + " (Matched)\n"},
    };
    for (const auto& c : cases) {
        e2e::ScratchFolder scratch;
        scratch.write("big.rom", c.image);
        const e2e::RunResult result = e2e::runQuillon({"--inspect", "big.rom"}, scratch.path());
        EXPECT_EQ(result.out, "=== Quillon Inspection Report ===\n"
                              "File:            big.rom\n" + c.report)
            << c.name;
        EXPECT_EQ(result.exitCode, 0) << c.name;
    }
}

} // namespace
