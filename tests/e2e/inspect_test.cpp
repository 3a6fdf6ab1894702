#include <gtest/gtest.h>

#include "base/hex.h"
#include "e2e/harness.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

// Large images are read only in their header window (the Genesis checksum
// reads all); the reports are those of the whole image.
TEST(InspectLargeImage, SameReportFromTheHeaderWindow) {
    const Bytes genesis = makeGenesis(8u << 20, "BIG GENESIS");
    const std::uint32_t genesisSum =
        static_cast<std::uint32_t>(genesis[0x18E] << 8 | genesis[0x18F]);
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
        {"snes exhirom",
         withCopierHeader(makeAssembledSnes(0x600000, 0x40FFC0, 0x35, "EXHIROM"), 0),
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
         "Details:         Checksum: 0x" +
             hexUpper(genesisSum) + " (Matched)\n"},
    };
    for (const auto& c : cases) {
        e2e::ScratchFolder scratch;
        scratch.write("big.rom", c.image);
        const e2e::RunResult result = e2e::runQuillon({"--inspect", "big.rom"}, scratch.path());
        EXPECT_EQ(result.out, "=== Quillon Inspection Report ===\n"
                              "File:            big.rom\n" +
                                  c.report)
            << c.name;
        EXPECT_EQ(result.exitCode, 0) << c.name;
    }
}

} // namespace
