#include <gtest/gtest.h>

#include "cli/console.h"

namespace {

using Lines = std::vector<std::string>;

RomInfo unknownOfSize(std::uint64_t size) {
    RomInfo info;
    info.platformName = "Unknown Binary Format";
    info.fileSize = size;
    return info;
}

TEST(InspectionReport, UnreadableFile) {
    EXPECT_EQ(inspectionReport("missing.gb", unknownOfSize(0)),
              (Lines{"=== Quillon Inspection Report ===", "File:            missing.gb",
                     "File Size:       0 bytes (0 KB)", "Platform:        Unknown Binary Format",
                     "Internal Title:  (None)", "Copier Header:   NO",
                     "Checksum Status: INVALID OR CORRUPTED [FAILED]"}));
}

TEST(InspectionReport, KilobytesRoundDownAndSizesAreSixtyFourBit) {
    struct Case {
        std::uint64_t size;
        const char* line;
    };
    for (const Case& c : {Case{1023, "File Size:       1023 bytes (0 KB)"},
                          Case{1024, "File Size:       1024 bytes (1 KB)"},
                          Case{1536, "File Size:       1536 bytes (1 KB)"},
                          Case{5368709120ull, "File Size:       5368709120 bytes (5242880 KB)"}}) {
        EXPECT_EQ(inspectionReport("f", unknownOfSize(c.size))[2], c.line);
    }
}

TEST(InspectionReport, OptionalLinesAndFlags) {
    RomInfo info;
    info.platformName = "Nintendo Game Boy Advance";
    info.title = "   ";
    info.gameCode = "AQLE";
    info.hasCopierHeader = true;
    info.checksumValid = true;
    info.details = "Mapping: LoROM";
    info.fileSize = 2048;
    EXPECT_EQ(
        inspectionReport("dir/a b.gba", info),
        (Lines{"=== Quillon Inspection Report ===", "File:            dir/a b.gba",
               "File Size:       2048 bytes (2 KB)", "Platform:        Nintendo Game Boy Advance",
               "Internal Title:     ", "Game Code:       AQLE",
               "Copier Header:   YES (512-byte copier header present)",
               "Checksum Status: VALID [PASSED]", "Details:         Mapping: LoROM"}));
}

} // namespace
