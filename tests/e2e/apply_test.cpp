#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "bps_crcs.h"
#include "e2e/harness.h"
#include "patch/formats.h"
#include "rom_builders.h"
#include "ups_builder.h"
#include "vectors.h"

using namespace testing_support;

namespace {

ByteList vector(const std::string& relative) {
    return testData(std::filesystem::path("vectors") / relative);
}

// The patches xdelta3 made and their inputs (tests/data/vcdiff/make.sh).
ByteList vcdiff(const std::string& name) {
    return testData(std::filesystem::path("vcdiff") / name);
}

Bytes vcdiffRom(const std::string& name) {
    const ByteList bytes = vcdiff(name);
    return Bytes(bytes.begin(), bytes.end());
}

ByteList firstBytes(ByteList bytes, std::size_t count) {
    bytes.resize(count);
    return bytes;
}

ByteList withByteFlipped(ByteList bytes, std::size_t at) {
    bytes.at(at) ^= 0x01;
    return bytes;
}

std::string hex8(std::uint32_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(8, '0');
    for (int i = 0; i < 8; ++i) {
        out[static_cast<std::size_t>(7 - i)] = digits[(value >> (4 * i)) & 0xF];
    }
    return out;
}

const std::string progressTail = " patch fix.pat to game.rom -> out.rom...\n";
std::string applying(const std::string& format) {
    return "Applying " + format + progressTail;
}

// One run of `--apply game.rom fix.pat out.rom`: the files that stand before
// it (nullopt: none), what it prints and what it writes (nullopt: nothing).
struct ApplyRow {
    const char* name;
    std::optional<ByteList> rom;
    std::optional<ByteList> patch;
    std::string out;
    std::string err;
    std::optional<ByteList> written;
};

void PrintTo(const ApplyRow& row, std::ostream* os) {
    *os << row.name;
}

class ApplyCommand : public ::testing::TestWithParam<ApplyRow> {};

TEST_P(ApplyCommand, PrintsItsLinesAndWritesOnlyACheckedResult) {
    const ApplyRow& row = GetParam();
    e2e::ScratchFolder scratch;
    if (row.rom) {
        scratch.write("game.rom", *row.rom);
    }
    if (row.patch) {
        scratch.write("fix.pat", *row.patch);
    }
    const e2e::RunResult r =
        e2e::runQuillon({"--apply", "game.rom", "fix.pat", "out.rom"}, scratch.path());
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(r.err, row.err);
    EXPECT_EQ(r.exitCode, row.written ? 0 : 1);
    EXPECT_EQ(scratch.exists("out.rom"), row.written.has_value());
    if (row.written && scratch.exists("out.rom")) {
        EXPECT_EQ(scratch.read("out.rom"), *row.written);
    }
    // Nothing else is left behind, not even a temporary file.
    EXPECT_EQ(scratch.entries().size(),
              (row.rom ? 1u : 0u) + (row.patch ? 1u : 0u) + (row.written ? 1u : 0u));
}

const Bytes snes = makeSnes(0x8000, false, false, "SOURCE");
const Bytes z64 = makeNintendo64(0x1000, N64Order::Z64);
const Bytes target = filled(16, 0x42);

ByteList bpsFor(const Bytes& source) {
    return withBpsCrcs(BpsPatch(source.size(), target.size()).targetRead(target).bytes(), source,
                       target);
}
ByteList upsFor(const Bytes& source) {
    return toBytes(*ups::create(source, target));
}

const std::string applied = "SUCCESS: UPS patch applied";
const std::string damaged = "ERROR: The patch is damaged.\n";

const std::string vcdiffApplied = applying("VCDIFF") + "SUCCESS: VCDIFF patch applied";
const std::string anotherRom = "ERROR: This patch is for another ROM.\n";

// VCDIFF rows take their patches, ROMs and targets from tests/data/vcdiff.
INSTANTIATE_TEST_SUITE_P(
    Rows, ApplyCommand,
    ::testing::Values(
        ApplyRow{"Ips", toBytes(imageOf({1, 2, 3, 4})), IpsPatch().record(1, {7}).eof().bytes(),
                 applying("IPS") + "SUCCESS: IPS patch applied.\n", "", ByteList{1, 7, 3, 4}},
        ApplyRow{"IpsOnAnEmptyRom", ByteList{}, IpsPatch().record(1, {7}).eof().bytes(),
                 applying("IPS") + "SUCCESS: IPS patch applied.\n", "", ByteList{0, 7}},
        ApplyRow{"BpsVector", vector("pairs/insdel_128k.source.bin"),
                 vector("patches/insdel_128k.delta.bps"),
                 applying("BPS") + "SUCCESS: BPS patch applied.\n", "",
                 vector("pairs/insdel_128k.target.bin")},
        ApplyRow{"BpsAfterN64Endian", toBytes(makeNintendo64(0x1000, N64Order::N64)), bpsFor(z64),
                 applying("BPS") +
                     "SUCCESS: BPS patch applied (after converting to .z64 byte order).\n",
                 "", toBytes(target)},
        ApplyRow{"BpsForAnotherRom", toBytes(z64), bpsFor(snes), applying("BPS"),
                 "ERROR: This patch is for another ROM (CRC32 " + hex8(crc32(z64)) + ", expected " +
                     hex8(crc32(snes)) + ").\n",
                 std::nullopt},
        ApplyRow{"Ups", toBytes(snes), upsFor(snes), applying("UPS") + applied + ".\n", "",
                 toBytes(target)},
        ApplyRow{"UpsBackwards", toBytes(target), upsFor(snes),
                 applying("UPS") + applied + " (backwards: the ROM was the patch's target).\n", "",
                 toBytes(snes)},
        ApplyRow{"UpsAfterStripHeader", toBytes(withCopierHeader(snes, 0xAA)), upsFor(snes),
                 applying("UPS") + applied + " (after removing the 512-byte copier header).\n", "",
                 toBytes(target)},
        ApplyRow{"UpsForAnotherRom", toBytes(z64), upsFor(snes), applying("UPS"),
                 "ERROR: This patch is for another ROM (CRC32 " + hex8(crc32(z64)) + ", expected " +
                     hex8(crc32(snes)) + ").\n",
                 std::nullopt},
        ApplyRow{"UpsDamaged", toBytes(snes), UpsPatch(snes.size(), 16).bytes(snes, target, true),
                 applying("UPS"), damaged, std::nullopt},
        ApplyRow{"VcdiffCutOff", toBytes(snes), ByteList{0xD6, 0xC3, 0xC4}, applying("VCDIFF"),
                 damaged, std::nullopt},
        ApplyRow{"VcdiffNone", vcdiff("small_source.bin"), vcdiff("small_none.xdelta"),
                 vcdiffApplied + ".\n", "", vcdiff("small_target.bin")},
        ApplyRow{"VcdiffLzma", vcdiff("small_source.bin"), vcdiff("small_lzma.xdelta"),
                 vcdiffApplied + ".\n", "", vcdiff("small_target.bin")},
        ApplyRow{"VcdiffDjw", vcdiff("small_source.bin"), vcdiff("small_djw.xdelta"),
                 vcdiffApplied + ".\n", "", vcdiff("small_target.bin")},
        ApplyRow{"VcdiffFgk", vcdiff("small_source.bin"), vcdiff("small_fgk.xdelta"),
                 vcdiffApplied + ".\n", "", vcdiff("small_target.bin")},
        ApplyRow{"VcdiffThreeLzmaWindows", vcdiff("large_source.bin"), vcdiff("large_lzma.xdelta"),
                 vcdiffApplied + ".\n", "", vcdiff("large_target.bin")},
        ApplyRow{"VcdiffThreeDjwWindows", vcdiff("large_source.bin"), vcdiff("large_djw.xdelta"),
                 vcdiffApplied + ".\n", "", vcdiff("large_target.bin")},
        ApplyRow{"VcdiffThreeFgkWindows", vcdiff("text_source.bin"), vcdiff("text_fgk.xdelta"),
                 vcdiffApplied + ".\n", "", vcdiff("text_target.bin")},
        ApplyRow{"VcdiffWithoutChecksums", vcdiff("small_source.bin"),
                 vcdiff("small_lzma_nochecksum.xdelta"), vcdiffApplied + ".\n", "",
                 vcdiff("small_target.bin")},
        ApplyRow{"VcdiffWithoutAppHeader", vcdiff("small_source.bin"),
                 vcdiff("small_none_noappheader.xdelta"), vcdiffApplied + ".\n", "",
                 vcdiff("small_target.bin")},
        // A patch that copies nothing from a source takes any ROM.
        ApplyRow{"VcdiffWithoutSource", toBytes(snes), vcdiff("nosource_lzma.xdelta"),
                 vcdiffApplied + ".\n", "", vcdiff("text_target.bin")},
        ApplyRow{"VcdiffAfterStripHeader", toBytes(withCopierHeader(vcdiff("small_source.bin"), 0)),
                 vcdiff("small_lzma.xdelta"),
                 vcdiffApplied + " (after removing the 512-byte copier header).\n", "",
                 vcdiff("small_target.bin")},
        ApplyRow{"VcdiffAfterN64Endian",
                 toBytes(inN64Order(vcdiffRom("n64_source.bin"), N64Order::V64)),
                 vcdiff("n64_lzma.xdelta"),
                 vcdiffApplied + " (after converting to .z64 byte order).\n", "",
                 vcdiff("n64_target.bin")},
        ApplyRow{"VcdiffForAnotherRom", withByteFlipped(vcdiff("small_source.bin"), 4000),
                 vcdiff("small_djw.xdelta"), applying("VCDIFF"), anotherRom, std::nullopt},
        ApplyRow{"VcdiffForALargerRom", toBytes(snes), vcdiff("large_none.xdelta"),
                 applying("VCDIFF"), anotherRom, std::nullopt},
        ApplyRow{"VcdiffLastWindowForAnotherRom", withByteFlipped(vcdiff("large_source.bin"), 34000),
                 vcdiff("large_lzma.xdelta"), applying("VCDIFF"), anotherRom, std::nullopt},
        ApplyRow{"VcdiffCutOffInAWindow", vcdiff("small_source.bin"),
                 firstBytes(vcdiff("small_lzma.xdelta"), 300), applying("VCDIFF"), damaged,
                 std::nullopt},
        ApplyRow{"VcdiffLzmaSectionSpoilt", vcdiff("small_source.bin"),
                 withByteFlipped(vcdiff("small_lzma.xdelta"), 300), applying("VCDIFF"), damaged,
                 std::nullopt},
        ApplyRow{"VcdiffLastWindowCutOff", vcdiff("large_source.bin"),
                 firstBytes(vcdiff("large_djw.xdelta"), 900), applying("VCDIFF"), damaged,
                 std::nullopt},
        ApplyRow{"UnknownFormat", toBytes(snes), ByteList{'U', 'P', 'S', '2'}, "",
                 "ERROR: Unknown patch format.\n", std::nullopt},
        ApplyRow{"EmptyPatch", toBytes(snes), ByteList{}, "", "ERROR: Unknown patch format.\n",
                 std::nullopt},
        ApplyRow{"MissingPatch", toBytes(snes), std::nullopt, "", "ERROR: Failed to read patch.\n",
                 std::nullopt},
        ApplyRow{"MissingRom", std::nullopt, upsFor(snes), applying("UPS"),
                 "ERROR: Failed to read ROM.\n", std::nullopt}));

TEST(ApplyCommandOutput, UnwritableOutputNamedAsTyped) {
    e2e::ScratchFolder scratch;
    scratch.write("game.rom", snes);
    scratch.write("fix.pat", upsFor(snes));
    const e2e::RunResult r =
        e2e::runQuillon({"--apply", "game.rom", "fix.pat", "no/such/out.rom"}, scratch.path());
    EXPECT_EQ(r.out, "Applying UPS patch fix.pat to game.rom -> no/such/out.rom...\n");
    EXPECT_EQ(r.err, "ERROR: Failed to write no/such/out.rom.\n");
    EXPECT_EQ(r.exitCode, 1);
}

// --create-ups writes the canonical patch, which --apply takes both ways.
TEST(CreateUpsCommand, WritesThePatchApplyTakesBothWays) {
    e2e::ScratchFolder scratch;
    scratch.write("orig.bin", ByteList{1, 2, 3, 4});
    scratch.write("mod.bin", ByteList{1, 9, 3, 4, 5});
    const e2e::RunResult made =
        e2e::runQuillon({"--create-ups", "orig.bin", "mod.bin", "made.ups"}, scratch.path());
    EXPECT_EQ(made.out, "Creating UPS patch made.ups from orig.bin -> mod.bin...\n"
                        "SUCCESS: UPS patch written to made.ups\n");
    EXPECT_EQ(made.err, "");
    EXPECT_EQ(made.exitCode, 0);
    EXPECT_EQ(scratch.read("made.ups"), UpsPatch(4, 5).hunk(1, {0x0B}).hunk(1, {5}).bytes(
                                            ByteList{1, 2, 3, 4}, ByteList{1, 9, 3, 4, 5}));

    const e2e::RunResult back =
        e2e::runQuillon({"--apply", "mod.bin", "made.ups", "back.bin"}, scratch.path());
    EXPECT_EQ(back.out,
              "Applying UPS patch made.ups to mod.bin -> back.bin...\n"
              "SUCCESS: UPS patch applied (backwards: the ROM was the patch's target).\n");
    EXPECT_EQ(scratch.read("back.bin"), (ByteList{1, 2, 3, 4}));

    scratch.write("empty.bin", ByteList{});
    const e2e::RunResult refused =
        e2e::runQuillon({"--create-ups", "empty.bin", "mod.bin", "none.ups"}, scratch.path());
    EXPECT_EQ(refused.out, "Creating UPS patch none.ups from empty.bin -> mod.bin...\n");
    EXPECT_EQ(refused.err, "ERROR: Failed to create UPS patch.\n");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_FALSE(scratch.exists("none.ups"));
}

} // namespace
