#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "bps_crcs.h"
#include "e2e/harness.h"
#include "patch/formats.h"
#include "rom_builders.h"
#include "ups_builder.h"
#include "vectors.h"

using namespace testing_support;

namespace {

std::string hex8(std::uint32_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(8, '0');
    for (int i = 0; i < 8; ++i) {
        out[static_cast<std::size_t>(7 - i)] = digits[(value >> (4 * i)) & 0xF];
    }
    return out;
}

// The patches xdelta3 made and their inputs (tests/data/vcdiff/make.sh).
ByteList vcdiff(const std::string& name) {
    return testData(std::filesystem::path("vcdiff") / name);
}
Bytes vcdiffRom(const std::string& name) {
    const ByteList bytes = vcdiff(name);
    return Bytes(bytes.begin(), bytes.end());
}

std::string vcdiffBody(int windows, std::size_t targetSize, const std::string& compression,
                       bool checksums = true) {
    return "Format:          VCDIFF\n"
           "Windows:         " +
           std::to_string(windows) + "\nTarget Size:     " + std::to_string(targetSize) +
           " bytes\nCompression:     " + compression +
           "\nChecksums:       " + (checksums ? "Adler-32 per window" : "none") + "\n";
}

struct PatchInfoCase {
    const char* name;
    ByteList patch;
    std::optional<Bytes> rom;
    std::string body; // the lines after "Patch Size:" and before the ROM lines
    std::string match;
    int exitCode;
};

void PrintTo(const PatchInfoCase& c, std::ostream* os) { *os << c.name; }

class PatchInfoReport : public ::testing::TestWithParam<PatchInfoCase> {};

TEST_P(PatchInfoReport, PrintsReportAndExitCode) {
    const PatchInfoCase& c = GetParam();
    e2e::ScratchFolder scratch;
    scratch.write("fix.pat", c.patch);
    std::vector<std::string> args{"--patch-info", "fix.pat"};
    std::string expected = "=== Quillon Patch Report ===\n"
                           "Patch:           fix.pat\n"
                           "Patch Size:      " +
                           std::to_string(c.patch.size()) + " bytes\n" + c.body;
    if (c.rom) {
        scratch.write("game.rom", *c.rom);
        args.push_back("game.rom");
        expected += "ROM:             game.rom\n"
                    "ROM Size:        " +
                    std::to_string(c.rom->size()) + " bytes\nROM CRC32:       " + hex8(crc32(*c.rom)) +
                    "\nSource Match:    " + c.match + "\n";
    }
    const e2e::RunResult result = e2e::runQuillon(args, scratch.path());
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, c.exitCode);
}

const Bytes snes = makeSnes(0x8000, false, false, "SOURCE");
const Bytes z64 = makeNintendo64(0x1000, N64Order::Z64);
const Bytes target = filled(16, 0x42);

ByteList bpsFor(const Bytes& source, bool spoil = false) {
    return withBpsCrcs(BpsPatch(source.size(), target.size()).targetRead(target).bytes(), source,
                       target, spoil);
}

std::string bpsBody(const Bytes& source, bool spoil = false) {
    const ByteList patch = bpsFor(source, spoil);
    const std::uint32_t own = crc32(std::span<const std::uint8_t>(patch).first(patch.size() - 4));
    const std::uint32_t stored = spoil ? own ^ 1u : own;
    return "Format:          BPS\n"
           "Source Size:     " +
           std::to_string(source.size()) +
           " bytes\n"
           "Target Size:     16 bytes\n"
           "Metadata:        0 bytes\n"
           "Source CRC32:    " +
           hex8(crc32(source)) + "\nTarget CRC32:    " + hex8(crc32(target)) +
           "\nPatch CRC32:     " + hex8(stored) +
           (spoil ? " (INVALID, computed " + hex8(own) + ")\n" : std::string(" (VALID)\n"));
}

const std::string notChecked = "NOT CHECKED (IPS carries no checksum)";

ByteList upsFor(const Bytes& source, bool spoil = false) {
    return UpsPatch(source.size(), target.size()).hunk(0, {1}).bytes(source, target, spoil);
}

std::string upsBody(const Bytes& source, bool spoil = false) {
    const ByteList patch = upsFor(source, spoil);
    const std::uint32_t own = crc32(std::span<const std::uint8_t>(patch).first(patch.size() - 4));
    const std::uint32_t stored = spoil ? own ^ 0x01000000u : own;
    return "Format:          UPS\n"
           "Source Size:     " +
           std::to_string(source.size()) +
           " bytes\n"
           "Target Size:     16 bytes\n"
           "Source CRC32:    " +
           hex8(crc32(source)) + "\nTarget CRC32:    " + hex8(crc32(target)) +
           "\nPatch CRC32:     " + hex8(stored) +
           (spoil ? " (INVALID, computed " + hex8(own) + ")\n" : std::string(" (VALID)\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Patches, PatchInfoReport,
    ::testing::Values(
        PatchInfoCase{"Ips", IpsPatch().record(0x10, {1, 2}).run(0x100, 5, 0xAA).eof().bytes(),
                      snes,
                      "Format:          IPS\n"
                      "Records:         2 (1 run-length)\n"
                      "Writes Up To:    261 bytes\n"
                      "Well-Formed:     YES\n",
                      notChecked, 0},
        PatchInfoCase{"IpsCutOff", IpsPatch().record(0x10, {1, 2}).raw({0, 0, 1, 0, 9, 7}).bytes(),
                      std::nullopt,
                      "Format:          IPS\n"
                      "Records:         1 (0 run-length)\n"
                      "Writes Up To:    18 bytes\n"
                      "Well-Formed:     NO (cut off at byte 12)\n",
                      "", 1},
        PatchInfoCase{"IpsTruncating",
                      IpsPatch().record(0, {9}).eof().raw({0x00, 0x40, 0x00}).bytes(), std::nullopt,
                      "Format:          IPS\n"
                      "Records:         1 (0 run-length)\n"
                      "Writes Up To:    1 bytes\n"
                      "Truncates To:    16384 bytes\n"
                      "Well-Formed:     YES\n",
                      "", 0},
        PatchInfoCase{"BpsExactSource", bpsFor(snes), snes, bpsBody(snes), "YES", 0},
        PatchInfoCase{"BpsHeaderedSnes", bpsFor(snes), withCopierHeader(snes, 0x00), bpsBody(snes),
                      "YES after --strip-header", 1},
        PatchInfoCase{"BpsByteSwappedN64", bpsFor(z64), makeNintendo64(0x1000, N64Order::V64),
                      bpsBody(z64), "YES after --n64-endian", 1},
        PatchInfoCase{"BpsWrongRom", bpsFor(snes), z64, bpsBody(snes), "NO", 1},
        PatchInfoCase{"BpsBadPatchCrc", bpsFor(snes, true), std::nullopt, bpsBody(snes, true), "",
                      1},
        PatchInfoCase{"BpsBadPatchCrcRightRom", bpsFor(snes, true), snes, bpsBody(snes, true),
                      "YES", 1},
        PatchInfoCase{"BpsSizesUnreadable", ByteList{'B', 'P', 'S', '1', 0x01, 0x02, 0x03}, snes,
                      "Format:          BPS\n"
                      "Well-Formed:     NO\n",
                      "NO", 1},
        PatchInfoCase{"UpsExactSource", upsFor(snes), snes, upsBody(snes), "YES", 0},
        PatchInfoCase{"UpsTargetGivesBackwards", upsFor(snes), target, upsBody(snes),
                      "YES backwards", 0},
        PatchInfoCase{"UpsHeaderedSnes", upsFor(snes), withCopierHeader(snes, 0x00), upsBody(snes),
                      "YES after --strip-header", 1},
        PatchInfoCase{"UpsByteSwappedN64", upsFor(z64), makeNintendo64(0x1000, N64Order::V64),
                      upsBody(z64), "YES after --n64-endian", 1},
        PatchInfoCase{"UpsWrongRom", upsFor(snes), z64, upsBody(snes), "NO", 1},
        PatchInfoCase{"UpsBadPatchCrc", upsFor(snes, true), snes, upsBody(snes, true), "YES", 1},
        PatchInfoCase{"UpsSizesUnreadable", ByteList{'U', 'P', 'S', '1', 0x01}, snes,
                      "Format:          UPS\n"
                      "Well-Formed:     NO\n",
                      "NO", 1},
        PatchInfoCase{"VcdiffNone", vcdiff("small_none.xdelta"), std::nullopt,
                      vcdiffBody(1, 10292, "none"), "", 0},
        PatchInfoCase{"VcdiffNoneOnItsSource", vcdiff("small_none.xdelta"),
                      vcdiffRom("small_source.bin"), vcdiffBody(1, 10292, "none"), "YES", 0},
        PatchInfoCase{"VcdiffLzma", vcdiff("small_lzma.xdelta"), std::nullopt,
                      vcdiffBody(1, 10292, "LZMA"), "", 0},
        PatchInfoCase{"VcdiffDjwOnItsSource", vcdiff("small_djw.xdelta"),
                      vcdiffRom("small_source.bin"), vcdiffBody(1, 10292, "DJW"), "YES", 0},
        PatchInfoCase{"VcdiffFgkOnAnotherRom", vcdiff("small_fgk.xdelta"), snes,
                      vcdiffBody(1, 10292, "FGK"), "NO", 1},
        PatchInfoCase{"VcdiffThreeLzmaWindows", vcdiff("large_lzma.xdelta"),
                      vcdiffRom("large_source.bin"), vcdiffBody(3, 37316, "LZMA"), "YES", 0},
        PatchInfoCase{"VcdiffThreeDjwWindowsOnAnotherRom", vcdiff("large_djw.xdelta"),
                      vcdiffRom("small_source.bin"), vcdiffBody(3, 37316, "DJW"), "NO", 1},
        PatchInfoCase{"VcdiffThreeFgkWindows", vcdiff("text_fgk.xdelta"),
                      vcdiffRom("text_source.bin"), vcdiffBody(3, 34000, "FGK"), "YES", 0},
        PatchInfoCase{"VcdiffWithoutChecksums", vcdiff("small_lzma_nochecksum.xdelta"),
                      std::nullopt, vcdiffBody(1, 10292, "LZMA", false), "", 0},
        PatchInfoCase{"VcdiffWithoutChecksumsNotChecked", vcdiff("small_lzma_nochecksum.xdelta"),
                      snes, vcdiffBody(1, 10292, "LZMA", false),
                      "NOT CHECKED (VCDIFF carries no checksum)", 0},
        PatchInfoCase{"VcdiffHeaderedSource", vcdiff("small_lzma.xdelta"),
                      withCopierHeader(vcdiff("small_source.bin"), 0x00),
                      vcdiffBody(1, 10292, "LZMA"), "YES after --strip-header", 1},
        PatchInfoCase{"VcdiffByteSwappedN64", vcdiff("n64_lzma.xdelta"),
                      inN64Order(vcdiffRom("n64_source.bin"), N64Order::V64),
                      vcdiffBody(1, 8192, "LZMA"), "YES after --n64-endian", 1},
        // Framing intact, a compressed section spoilt: no decoding, no match.
        PatchInfoCase{"VcdiffLzmaSectionSpoilt",
                      [] {
                          ByteList patch = vcdiff("small_lzma.xdelta");
                          patch.at(300) ^= 0x01;
                          return patch;
                      }(),
                      vcdiffRom("small_source.bin"), vcdiffBody(1, 10292, "LZMA"), "NO", 1},
        // A header cut off is not well-formed.
        PatchInfoCase{"VcdiffCutOff", ByteList{0xD6, 0xC3, 0xC4}, snes,
                      "Format:          VCDIFF\n"
                      "Well-Formed:     NO\n",
                      "NO", 1},
        PatchInfoCase{"Unknown", ByteList{'U', 'P', 'S', '2', 0, 0}, std::nullopt,
                      "Format:          Unknown\n", "", 1}));

// An unknown patch never reaches the ROM lines, so the ROM is not even read.
TEST(PatchInfoUnknown, RomLinesLeftOut) {
    e2e::ScratchFolder scratch;
    scratch.write("x.pat", ByteList{'X'});
    const e2e::RunResult result = e2e::runQuillon({"--patch-info", "x.pat", "missing.rom"}, scratch.path());
    EXPECT_EQ(result.out, "=== Quillon Patch Report ===\n"
                          "Patch:           x.pat\n"
                          "Patch Size:      1 bytes\n"
                          "Format:          Unknown\n");
    EXPECT_EQ(result.exitCode, 1);
}

TEST(PatchInfoUnreadable, PatchOrRomThatCannotBeRead) {
    e2e::ScratchFolder scratch;
    scratch.write("fix.ips", IpsPatch().eof().bytes());
    std::filesystem::create_directory(scratch.path() / "folder");
    const struct {
        std::vector<std::string> args;
        const char* err;
    } cases[] = {
        {{"--patch-info", "missing.ips"}, "ERROR: Failed to read patch.\n"},
        {{"--patch-info", "folder", "fix.ips"}, "ERROR: Failed to read patch.\n"},
        {{"--patch-info", "fix.ips", "missing.rom"}, "ERROR: Failed to read ROM.\n"},
        {{"--patch-info", "fix.ips", "folder"}, "ERROR: Failed to read ROM.\n"},
    };
    for (const auto& c : cases) {
        const e2e::RunResult result = e2e::runQuillon(c.args, scratch.path());
        EXPECT_EQ(result.out, "") << c.args[1];
        EXPECT_EQ(result.err, c.err) << c.args[1];
        EXPECT_EQ(result.exitCode, 1) << c.args[1];
    }
}

} // namespace
