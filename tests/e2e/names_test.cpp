#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "patch_builders.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

// File names as collections hold them: outside any code page, with spaces,
// beyond the Basic Multilingual Plane, and deeper than 260 characters. Every
// command must reach the file and print the name exactly as typed.
struct NameCase {
    const char* name;
    std::string folder; // below the scratch folder; "" for the scratch folder itself
    std::string stem;   // the files are STEM.gb, STEM.ips and "STEM (patched).gb"
    bool absolute;      // typed as an absolute path instead of relative to the working folder
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

std::string deepFolder() {
    std::string folder;
    for (const char part : {'d', 'e', 'f', 'g', 'h'}) {
        folder += (folder.empty() ? "" : "/") + std::string(60, part);
    }
    return folder; // 304 characters
}

class FileNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNames, InspectRepairInPlaceAndPatchKeepTheNames) {
    const NameCase& c = GetParam();
    e2e::ScratchFolder scratch;
    std::filesystem::create_directories(scratch.path() / c.folder);
    const auto place = [&](const std::string& file) {
        return c.folder.empty() ? file : c.folder + "/" + file;
    };
    const auto typed = [&](const std::string& file) {
        return c.absolute ? scratch.file(place(file)) : place(file);
    };
    const std::string rom = typed(c.stem + ".gb");
    const std::string patchFile = typed(c.stem + ".ips");
    const std::string out = typed(c.stem + " (patched).gb");

    Bytes broken = makeGameBoy(0x8000, "QUILLON", 0x13);
    broken[0x14D] ^= 0xFF;
    scratch.write(place(c.stem + ".gb"), broken);
    scratch.write(place(c.stem + ".ips"), IpsPatch().record(0x150, {1, 2, 3}).eof().bytes());

    const e2e::RunResult inspected = e2e::runQuillon({"--inspect", rom}, scratch.path());
    EXPECT_EQ(inspected.exitCode, 0);
    EXPECT_EQ(inspected.out, "=== Quillon Inspection Report ===\n"
                             "File:            " +
                                 rom +
                                 "\n"
                                 "File Size:       32768 bytes (32 KB)\n"
                                 "Platform:        Nintendo Game Boy / GBC\n"
                                 "Internal Title:  QUILLON         \n"
                                 "Copier Header:   NO\n"
                                 "Checksum Status: INVALID OR CORRUPTED [FAILED]\n"
                                 "Details:         Cartridge Type: 0x13\n");
    EXPECT_EQ(inspected.err, "");

    // The repaired image replaces the input: the atomic replace and its
    // temporary file beside the output work under the same name and depth.
    const e2e::RunResult fixed = e2e::runQuillon({"--fix-checksum", rom, rom}, scratch.path());
    EXPECT_EQ(fixed.exitCode, 0);
    EXPECT_EQ(fixed.out, "Repairing checksums for " + rom + " -> " + rom +
                             "...\n"
                             "SUCCESS: Header & global checksums repaired and verified!\n");
    EXPECT_EQ(fixed.err, "");
    const Bytes repaired = withGameBoyGlobalChecksum(makeGameBoy(0x8000, "QUILLON", 0x13));
    EXPECT_EQ(scratch.read(place(c.stem + ".gb")), toBytes(repaired));

    const e2e::RunResult patched =
        e2e::runQuillon({"--patch", rom, patchFile, out}, scratch.path());
    EXPECT_EQ(patched.exitCode, 0);
    EXPECT_EQ(patched.out, "Applying IPS patch " + patchFile + " to " + rom + " -> " + out +
                               "...\n"
                               "SUCCESS: Patch successfully applied!\n");
    EXPECT_EQ(patched.err, "");
    Bytes expected = repaired;
    put(expected, 0x150, {1, 2, 3});
    EXPECT_EQ(scratch.read(place(c.stem + " (patched).gb")), toBytes(expected));

    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path() / c.folder)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{c.stem + " (patched).gb", c.stem + ".gb",
                                              c.stem + ".ips"})); // no temporary file left
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileNames,
    ::testing::Values(NameCase{"Japanese", "", "ポケモン", false},
                      NameCase{"Accents", "", "Pokémon Édition Crème", false},
                      NameCase{"Emoji", "", "🎮 Quillon", false},
                      NameCase{"JapaneseFolder", "ゲーム", "ゼルダの伝説", true},
                      NameCase{"LongerThan260", deepFolder(), "ゼルダの伝説", true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
