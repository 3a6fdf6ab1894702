#include <iostream>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_lines.h"
#include "hash/digests.h"
#include "io/input_file.h"

namespace {

std::string bytesText(std::uint64_t count) { return std::to_string(count) + " bytes"; }

std::string matchText(SourceMatch match) {
    switch (match) {
    case SourceMatch::Yes:
        return "YES";
    case SourceMatch::YesAfterStripHeader:
        return "YES after --strip-header";
    case SourceMatch::YesAfterN64Endian:
        return "YES after --n64-endian";
    case SourceMatch::NotChecked:
        return "NOT CHECKED (IPS carries no checksum)";
    case SourceMatch::No:
        break;
    }
    return "NO";
}

void addIpsLines(std::vector<std::string>& lines, const IpsSummary& ips) {
    lines.push_back("Records:         " + std::to_string(ips.records) + " (" +
                    std::to_string(ips.runRecords) + " run-length)");
    lines.push_back("Writes Up To:    " + bytesText(ips.writesUpTo));
    if (ips.truncatesTo) {
        lines.push_back("Truncates To:    " + bytesText(*ips.truncatesTo));
    }
    lines.push_back("Well-Formed:     " + (ips.cutOffAt ? "NO (cut off at byte " +
                                                              std::to_string(*ips.cutOffAt) + ")"
                                                        : std::string("YES")));
}

void addBpsLines(std::vector<std::string>& lines, const BpsSummary& bps) {
    if (!bps.sizesReadable) {
        lines.push_back("Well-Formed:     NO");
        return;
    }
    lines.push_back("Source Size:     " + bytesText(bps.sourceSize));
    lines.push_back("Target Size:     " + bytesText(bps.targetSize));
    lines.push_back("Metadata:        " + bytesText(bps.metadataSize));
    lines.push_back("Source CRC32:    " + crcText(bps.sourceCrc));
    lines.push_back("Target CRC32:    " + crcText(bps.targetCrc));
    lines.push_back("Patch CRC32:     " + crcText(bps.patchCrc) +
                    (bps.patchCrc == bps.computedPatchCrc
                         ? std::string(" (VALID)")
                         : " (INVALID, computed " + crcText(bps.computedPatchCrc) + ")"));
}

} // namespace

std::vector<std::string> patchReport(const std::string& patchPath, std::uint64_t patchSize,
                                     const PatchSummary& patch, const std::optional<RomCheck>& rom) {
    // Labels 17 characters wide, as in the inspection report.
    std::vector<std::string> lines{
        "=== Quillon Patch Report ===",
        "Patch:           " + patchPath,
        "Patch Size:      " + bytesText(patchSize),
    };
    if (patch.format == PatchFormat::Unknown) {
        lines.push_back("Format:          Unknown");
        return lines;
    }
    if (patch.format == PatchFormat::Ips) {
        lines.push_back("Format:          IPS");
        addIpsLines(lines, patch.ips);
    } else {
        lines.push_back("Format:          BPS");
        addBpsLines(lines, patch.bps);
    }
    if (rom) {
        lines.push_back("ROM:             " + rom->path);
        lines.push_back("ROM Size:        " + bytesText(rom->size));
        lines.push_back("ROM CRC32:       " + crcText(rom->crc32));
        lines.push_back("Source Match:    " + matchText(rom->match));
    }
    return lines;
}

int printPatchInfo(int argc, char** argv) {
    const std::string patchPath = argv[2];
    const std::optional<RomImage> patch = readWholeFile(patchPath);
    if (!patch) {
        printLine(std::cerr, "ERROR: Failed to read patch.");
        return 1;
    }
    const PatchSummary summary = describePatch(*patch);
    std::optional<RomCheck> rom;
    // An unknown patch has nothing to check a ROM against.
    if (argc > 3 && summary.format != PatchFormat::Unknown) {
        const std::optional<RomImage> bytes = readWholeFile(argv[3]);
        if (!bytes) {
            printLine(std::cerr, "ERROR: Failed to read ROM.");
            return 1;
        }
        rom = RomCheck{argv[3], bytes->size(), crc32(*bytes), matchSource(summary, *bytes)};
    }
    for (const std::string& line : patchReport(patchPath, patch->size(), summary, rom)) {
        printLine(std::cout, line);
    }
    if (summary.format == PatchFormat::Unknown) {
        return 1;
    }
    return patchFits(summary, rom ? std::optional<SourceMatch>(rom->match) : std::nullopt) ? 0 : 1;
}
