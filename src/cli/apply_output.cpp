#include <iostream>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_lines.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "patch/checked.h"

namespace {

// What the success line adds before its period.
std::string formNote(SourceMatch form) {
    switch (form) {
    case SourceMatch::YesAfterStripHeader:
        return " (after removing the 512-byte copier header)";
    case SourceMatch::YesAfterN64Endian:
        return " (after converting to .z64 byte order)";
    case SourceMatch::YesBackwards:
        return " (backwards: the ROM was the patch's target)";
    default:
        return "";
    }
}

int fail(const std::string& line) {
    printLine(std::cerr, line);
    return 1;
}

} // namespace

std::string applyingLine(const std::string& kind, const std::string& patch, const std::string& rom,
                         const std::string& out) {
    return "Applying " + kind + " patch " + patch + " to " + rom + " -> " + out + "...";
}

int runApply(const CommandArgs& args) {
    const std::string& romPath = args.values[0];
    const std::string& patchPath = args.values[1];
    const std::string& outPath = args.values[2];
    const std::optional<Bytes> patch = readFile(patchPath);
    if (!patch) {
        return fail("ERROR: Failed to read patch.");
    }
    // Described once, here; the checks take the summary.
    const PatchSummary summary = describePatch(*patch);
    const PatchFormat format = formatOf(summary);
    if (format == PatchFormat::Unknown) {
        return fail("ERROR: Unknown patch format.");
    }
    const std::string kind(formatName(format));
    printLine(std::cout, applyingLine(kind, patchPath, romPath, outPath));
    const std::optional<Bytes> rom = readFile(romPath);
    if (!rom) {
        return fail("ERROR: Failed to read ROM.");
    }
    const ApplyResult result = applyPatchChecked(summary, *rom, *patch);
    switch (result.outcome) {
    case ApplyOutcome::Damaged:
        return fail("ERROR: The patch is damaged.");
    case ApplyOutcome::WrongSource:
        if (result.romCrc && result.expectedCrc) {
            return fail("ERROR: This patch is for another ROM (CRC32 " + crcText(*result.romCrc) +
                        ", expected " + crcText(*result.expectedCrc) + ").");
        }
        return fail("ERROR: This patch is for another ROM.");
    case ApplyOutcome::Applied:
        break;
    }
    if (!writeFile(outPath, result.output)) {
        return fail("ERROR: Failed to write " + outPath + ".");
    }
    printLine(std::cout, "SUCCESS: " + kind + " patch applied" + formNote(result.form) + ".");
    return 0;
}
