#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "e2e/harness.h"
#include "rom_builders.h"
#include "ups_builder.h"

using namespace testing_support;

namespace {

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

// --create-xdelta writes what xdelta3 itself decodes (when it is installed).
TEST(CreateXdeltaCommand, Xdelta3DecodesWhatItWrites) {
    if (std::system("command -v xdelta3 >/dev/null") != 0) {
        GTEST_SKIP() << "not on this machine: xdelta3";
    }
    const auto list = [](const Bytes& bytes) { return ByteList(bytes.begin(), bytes.end()); };
    const ByteList base = list(noise(300000, 11));
    ByteList grown = base;
    grown.insert(grown.begin() + 1000, base.begin() + 5000, base.begin() + 9000);
    grown.insert(grown.end(), 70000, 0xFF);
    // Edits that leave each copy at the same alignment, whose addresses then
    // go as the same distance back, and a run written over them.
    ByteList edited = base;
    for (std::size_t o = 2000; o < edited.size(); o += 2900) {
        edited[o] ^= 0x5A;
    }
    std::fill(edited.begin() + 250000, edited.begin() + 260000, 0x00);
    const struct {
        const char* name;
        ByteList modified;
    } rows[] = {
        {"grown, a block repeated and padding", grown},
        {"shrunk", ByteList(base.begin() + 100, base.begin() + 200000)},
        {"identical", base},
        {"an edit every 2,900 bytes", edited},
        {"unrelated", list(noise(50000, 12))},
    };
    e2e::ScratchFolder scratch;
    scratch.write("orig.bin", base);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        scratch.write("mod.bin", row.modified);
        const e2e::RunResult made = e2e::runQuillon(
            {"--create-xdelta", "orig.bin", "mod.bin", "made.xdelta"}, scratch.path());
        ASSERT_EQ(made.exitCode, 0);
        const std::string decode = "cd '" + scratch.path().string() +
                                   "' && xdelta3 -d -f -s orig.bin made.xdelta back.bin";
        ASSERT_EQ(std::system(decode.c_str()), 0);
        EXPECT_EQ(scratch.read("back.bin"), row.modified);
    }
}

} // namespace
