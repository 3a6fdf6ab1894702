#include <iostream>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_lines.h"
#include "hash/digests.h"
#include "io/input_file.h"

namespace {

std::string bytesText(std::uint64_t count) { return std::to_string(count) + " bytes"; }

std::string matchText(SourceMatch match, PatchFormat format) {
    switch (match) {
    case SourceMatch::Yes:
        return "YES";
    case SourceMatch::YesBackwards:
        return "YES backwards";
    case SourceMatch::YesAfterStripHeader:
        return "YES after --strip-header";
    case SourceMatch::YesAfterN64Endian:
        return "YES after --n64-endian";
    case SourceMatch::NotChecked:
        return format == PatchFormat::Vcdiff ? "NOT CHECKED (VCDIFF carries no checksum)"
                                             : "NOT CHECKED (IPS carries no checksum)";
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

// The footer BPS and UPS share.
void addCrcLines(std::vector<std::string>& lines, std::uint32_t sourceCrc, std::uint32_t targetCrc,
                 std::uint32_t patchCrc, std::uint32_t computedPatchCrc) {
    lines.push_back("Source CRC32:    " + crcText(sourceCrc));
    lines.push_back("Target CRC32:    " + crcText(targetCrc));
    lines.push_back("Patch CRC32:     " + crcText(patchCrc) +
                    (patchCrc == computedPatchCrc
                         ? std::string(" (VALID)")
                         : " (INVALID, computed " + crcText(computedPatchCrc) + ")"));
}

void addBpsLines(std::vector<std::string>& lines, const BpsSummary& bps) {
    if (!bps.sizesReadable) {
        lines.push_back("Well-Formed:     NO");
        return;
    }
    lines.push_back("Source Size:     " + bytesText(bps.sourceSize));
    lines.push_back("Target Size:     " + bytesText(bps.targetSize));
    lines.push_back("Metadata:        " + bytesText(bps.metadataSize));
    addCrcLines(lines, bps.sourceCrc, bps.targetCrc, bps.patchCrc, bps.computedPatchCrc);
}

void addUpsLines(std::vector<std::string>& lines, const UpsSummary& ups) {
    if (!ups.sizesReadable) {
        lines.push_back("Well-Formed:     NO");
        return;
    }
    lines.push_back("Source Size:     " + bytesText(ups.sourceSize));
    lines.push_back("Target Size:     " + bytesText(ups.targetSize));
    addCrcLines(lines, ups.sourceCrc, ups.targetCrc, ups.patchCrc, ups.computedPatchCrc);
}

std::string compressionText(VcdiffCompression compression) {
    switch (compression) {
    case VcdiffCompression::Lzma:
        return "LZMA";
    case VcdiffCompression::Djw:
        return "DJW";
    case VcdiffCompression::Fgk:
        return "FGK";
    case VcdiffCompression::None:
        break;
    }
    return "none";
}

void addVcdiffLines(std::vector<std::string>& lines, const VcdiffSummary& vcdiff) {
    if (!vcdiff.wellFormed) {
        lines.push_back("Well-Formed:     NO");
        return;
    }
    lines.push_back("Windows:         " + std::to_string(vcdiff.windows));
    lines.push_back("Target Size:     " + bytesText(vcdiff.targetSize));
    lines.push_back("Compression:     " + compressionText(vcdiff.compression));
    lines.push_back("Checksums:       " +
                    std::string(vcdiff.checksums ? "Adler-32 per window" : "none"));
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
    switch (patch.format) {
    case PatchFormat::Ips:
        lines.push_back("Format:          IPS");
        addIpsLines(lines, patch.ips);
        break;
    case PatchFormat::Bps:
        lines.push_back("Format:          BPS");
        addBpsLines(lines, patch.bps);
        break;
    case PatchFormat::Ups:
        lines.push_back("Format:          UPS");
        addUpsLines(lines, patch.ups);
        break;
    case PatchFormat::Vcdiff:
        lines.push_back("Format:          VCDIFF");
        addVcdiffLines(lines, patch.vcdiff);
        break;
    case PatchFormat::Unknown:
        break;
    }
    if (rom) {
        lines.push_back("ROM:             " + rom->path);
        lines.push_back("ROM Size:        " + bytesText(rom->size));
        lines.push_back("ROM CRC32:       " + crcText(rom->crc32));
        lines.push_back("Source Match:    " + matchText(rom->match, patch.format));
    }
    return lines;
}

int printPatchInfo(const CommandArgs& args) {
    const std::string& patchPath = args.values[0];
    const std::optional<Bytes> patch = readFile(patchPath);
    if (!patch) {
        printLine(std::cerr, "ERROR: Failed to read patch.");
        return 1;
    }
    const PatchSummary summary = describePatch(*patch);
    std::optional<RomCheck> rom;
    // An unknown patch has nothing to check a ROM against.
    if (args.values.size() > 1 && summary.format != PatchFormat::Unknown) {
        const std::optional<Bytes> bytes = readFile(args.values[1]);
        if (!bytes) {
            printLine(std::cerr, "ERROR: Failed to read ROM.");
            return 1;
        }
        rom = RomCheck{args.values[1], bytes->size(), crc32(*bytes),
                       matchSource(summary, *patch, *bytes)};
    }
    for (const std::string& line : patchReport(patchPath, patch->size(), summary, rom)) {
        printLine(std::cout, line);
    }
    if (summary.format == PatchFormat::Unknown) {
        return 1;
    }
    return patchFits(summary, rom ? std::optional<SourceMatch>(rom->match) : std::nullopt) ? 0 : 1;
}
