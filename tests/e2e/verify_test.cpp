#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"
#include "rom_builders.h"

using namespace testing_support;

// The collections verified against DATs are case files (cases/verify/); here
// are the DATs too large to keep as files.

namespace {

TEST(Verify, AHostileDatIsRefusedQuickly) {
    e2e::ScratchFolder scratch;
    // 50 MB in one attribute: scanned once, then refused by its length.
    std::string huge = "<datafile><game name=\"";
    huge.append(50u << 20, 'a');
    huge += "\"/></datafile>";
    scratch.write("huge.dat", textImage(huge));
    std::string deep = "<datafile>";
    for (int i = 0; i < 100000; ++i) {
        deep += "<g>";
    }
    scratch.write("deep.dat", textImage(deep));
    for (const char* dat : {"huge.dat", "deep.dat"}) {
        const e2e::RunResult result = e2e::runQuillon({"--verify", dat, "."}, scratch.path());
        EXPECT_EQ(result.err, "ERROR: Failed to read DAT.\n") << dat;
        EXPECT_EQ(result.exitCode, 1) << dat;
    }
}

} // namespace
