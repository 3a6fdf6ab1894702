#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"
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

} // namespace
