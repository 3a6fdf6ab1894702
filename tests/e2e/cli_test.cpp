#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

#include "e2e/harness.h"
#include "rom_builders.h"

namespace {

std::string usageFor(const std::string& program) {
    return "===============================================================\n"
           "  Quillon Studio v2.0 - Universal Vintage Console ROM Workstation\n"
           "===============================================================\n"
           "\n"
           "Usage: " +
           program +
           " [command] [options...]\n"
           "\n"
           "Interactive GUI:\n"
           "  " +
           program +
           " --gui                              Launch native desktop GUI window\n"
           "\n"
           "Console & Batch Commands:\n"
           "  --inspect <ROM>                       Inspect ROM platform, header & checksums\n"
           "  --fix-checksum <IN_ROM> <OUT_ROM>     Repair cartridge header & global checksums\n"
           "  --strip-header <IN_ROM> <OUT_ROM>     Strip 512-byte copier headers (SNES/SMC)\n"
           "  --n64-endian <IN_ROM> <OUT_ROM>       Convert N64 ROM to standard Big-Endian (.z64)\n"
           "  --patch <IN_ROM> <PATCH.ips> <OUT>    Apply standard IPS binary patch\n"
           "  --bps-patch <IN_ROM> <PATCH.bps> <OUT> Apply Beat BPS binary patch\n"
           "  --srm-swap <IN.srm> <OUT.srm>         Swap 16-bit save RAM endianness "
           "(EverDrive/PC)\n"
           "  --trim <IN_ROM> <OUT_ROM>             Trim overdumped padding bytes\n"
           "  --create-ips <ORIG> <MOD> <PATCH.ips> Create IPS patch from original & modified ROM\n"
           "  --create-bps <ORIG> <MOD> <PATCH.bps> Create BPS patch from original & modified ROM\n"
           "  --create-ups <ORIG> <MOD> <PATCH.ups> Create UPS patch from original & modified ROM\n"
           "  --create-xdelta <ORIG> <MOD> <PATCH>  Create xdelta (VCDIFF) patch from original & "
           "modified ROM\n"
           "  --catalog <PATH>...                   Inspect & hash ROMs and folders as JSON Lines\n"
           "  --patch-info <PATCH> [<ROM>]          Describe IPS/BPS/UPS/xdelta patch; check it "
           "fits a ROM\n"
           "  --apply <ROM> <PATCH> <OUT>           Apply IPS/BPS/UPS/xdelta patch, checked first\n"
           "  --verify <DAT> <PATH>...              Match ROMs and archives against a DAT file\n"
           "  --rebuild <DAT> <OUT> <PATH>...       Write matched games as TorrentZip archives "
           "named by a DAT\n"
           "  --rebuild-files <DAT> <OUT> <PATH>... Write matched ROMs as plain files named by a "
           "DAT\n"
           "  --fixdat <DAT> <OUT.dat> <PATH>...    Write a DAT of the games not complete\n"
           "\n"
           "===============================================================\n";
}

class CommandLine : public ::testing::Test {
  protected:
    e2e::ScratchFolder scratch;
    e2e::RunResult run(const std::vector<std::string>& args) {
        return e2e::runQuillon(args, scratch.path());
    }
};

TEST_F(CommandLine, NoArgumentsOrGuiShowTheInformationWindow) {
    // On Windows the window is shown and nothing is printed (wine without a
    // display dismisses it at once); elsewhere the usage text stands in for it.
    const std::string expected = e2e::underLauncher() ? "" : usageFor(e2e::programPath());
    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"--gui"}, {"--gui", "x", "y"}}) {
        const e2e::RunResult result = run(args);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, expected);
        EXPECT_EQ(result.err, "");
    }
}

// A file dropped on the program's icon arrives as its only argument.
TEST_F(CommandLine, ADroppedFileShowsItsReport) {
    scratch.write("ポケモン.gb", testing_support::makeGameBoy());
    const e2e::RunResult dropped = run({"ポケモン.gb"});
    EXPECT_EQ(dropped.exitCode, 0);
    EXPECT_EQ(dropped.err, "");
    if (e2e::underLauncher()) {
        // The report goes to a window, which wine without a display dismisses.
        EXPECT_EQ(dropped.out, "");
    } else {
        EXPECT_TRUE(dropped.out.starts_with("=== Quillon Inspection Report ===\n"
                                            "File:            ポケモン.gb\n"
                                            "File Size:       32768 bytes (32 KB)\n"))
            << dropped.out;
        EXPECT_EQ(dropped.out, run({"--inspect", "ポケモン.gb"}).out);
    }
}

TEST_F(CommandLine, OnlyOneExistingFileCountsAsDropped) {
    std::filesystem::create_directory(scratch.path() / "roms");
    scratch.write("game.gb", testing_support::makeGameBoy());
    scratch.write("-game.gb", testing_support::makeGameBoy());
    std::vector<std::vector<std::string>> cases = {
        {"missing.gb"}, {"roms"}, {"game.gb", "game.gb"}, {"-game.gb"}};
    if (!e2e::underLauncher()) {
        ASSERT_EQ(::mkfifo(scratch.file("pipe").c_str(), 0600), 0);
        cases.push_back({"pipe"}); // no writer: telling it from a file must not hang
    }
    for (const auto& args : cases) {
        const e2e::RunResult result = run(args);
        EXPECT_EQ(result.exitCode, 1) << args[0];
        EXPECT_EQ(result.out, usageFor(e2e::programPath())) << args[0];
        EXPECT_EQ(result.err, "") << args[0];
    }
}

TEST_F(CommandLine, ExtraArgumentsAreIgnored) {
    const e2e::RunResult result = run({"--inspect", "missing.gb", "extra", "more"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.starts_with("=== Quillon Inspection Report ===\n"
                                       "File:            missing.gb\n"))
        << result.out;
}

} // namespace
