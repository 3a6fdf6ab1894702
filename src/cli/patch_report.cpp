#include <iostream>
#include <variant>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_lines.h"
#include "hash/digests.h"
#include "io/input_file.h"

namespace {

std::string bytesText(std::uint64_t count) {
    return std::to_string(count) + " bytes";
}

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
        return "NOT CHECKED (" + std::string(formatName(format)) + " carries no checksum)";
    case SourceMatch::No:
        break;
    }
    return "NO";
}

// The lines of each format, after its "Format:" line; one overload a format.
void addLines(std::vector<std::string>&, std::monostate) {}

void addLines(std::vector<std::string>& lines, const ips::Summary& ips) {
    lines.push_back("Records:         " + std::to_string(ips.records) + " (" +
                    std::to_string(ips.runRecords) + " run-length)");
    lines.push_back("Writes Up To:    " + bytesText(ips.writesUpTo));
    if (ips.truncatesTo) {
        lines.push_back("Truncates To:    " + bytesText(*ips.truncatesTo));
    }
    lines.push_back("Well-Formed:     " +
                    (ips.cutOffAt ? "NO (cut off at byte " + std::to_string(*ips.cutOffAt) + ")"
                                  : std::string("YES")));
}

// The footer BPS and UPS share.
void addCrcLines(std::vector<std::string>& lines, const CrcFooter& crcs) {
    lines.push_back("Source CRC32:    " + crcText(crcs.sourceCrc));
    lines.push_back("Target CRC32:    " + crcText(crcs.targetCrc));
    lines.push_back("Patch CRC32:     " + crcText(crcs.patchCrc) +
                    (patchCrcHolds(crcs)
                         ? std::string(" (VALID)")
                         : " (INVALID, computed " + crcText(crcs.computedPatchCrc) + ")"));
}

void addLines(std::vector<std::string>& lines, const bps::Summary& bps) {
    if (!bps.sizesReadable) {
        lines.push_back("Well-Formed:     NO");
        return;
    }
    lines.push_back("Source Size:     " + bytesText(bps.sourceSize));
    lines.push_back("Target Size:     " + bytesText(bps.targetSize));
    lines.push_back("Metadata:        " + bytesText(bps.metadataSize));
    addCrcLines(lines, bps.crcs);
}

void addLines(std::vector<std::string>& lines, const ups::Summary& ups) {
    if (!ups.sizesReadable) {
        lines.push_back("Well-Formed:     NO");
        return;
    }
    lines.push_back("Source Size:     " + bytesText(ups.sourceSize));
    lines.push_back("Target Size:     " + bytesText(ups.targetSize));
    addCrcLines(lines, ups.crcs);
}

std::string compressionText(vcdiff::Compression compression) {
    switch (compression) {
    case vcdiff::Compression::Lzma:
        return "LZMA";
    case vcdiff::Compression::Djw:
        return "DJW";
    case vcdiff::Compression::Fgk:
        return "FGK";
    case vcdiff::Compression::None:
        break;
    }
    return "none";
}

void addLines(std::vector<std::string>& lines, const vcdiff::Summary& vcdiff) {
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
                                     const PatchSummary& patch,
                                     const std::optional<RomCheck>& rom) {
    // Labels 17 characters wide, as in the inspection report.
    std::vector<std::string> lines{
        "=== Quillon Patch Report ===",
        "Patch:           " + patchPath,
        "Patch Size:      " + bytesText(patchSize),
    };
    const PatchFormat format = formatOf(patch);
    const auto* vcdiff = std::get_if<vcdiff::Summary>(&patch);
    lines.push_back("Format:          " + std::string(formatName(format)) +
                    (vcdiff != nullptr && vcdiff->openVcdiff ? " (open-vcdiff)" : ""));
    if (format == PatchFormat::Unknown) {
        return lines;
    }
    std::visit([&](const auto& summary) { addLines(lines, summary); }, patch);
    if (rom) {
        lines.push_back("ROM:             " + rom->path);
        lines.push_back("ROM Size:        " + bytesText(rom->size));
        lines.push_back("ROM CRC32:       " + crcText(rom->crc32));
        lines.push_back("Source Match:    " + matchText(rom->match, format));
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
    if (args.values.size() > 1 && formatOf(summary) != PatchFormat::Unknown) {
        const std::optional<Bytes> bytes = readFile(args.values[1]);
        if (!bytes) {
            printLine(std::cerr, "ERROR: Failed to read ROM.");
            return 1;
        }
        RomForms forms(*bytes);
        const SourceMatch match = matchSource(summary, *patch, forms);
        rom = RomCheck{args.values[1], bytes->size(), romCrc(forms), match};
    }
    for (const std::string& line : patchReport(patchPath, patch->size(), summary, rom)) {
        printLine(std::cout, line);
    }
    if (formatOf(summary) == PatchFormat::Unknown) {
        return 1;
    }
    return patchFits(summary, rom ? std::optional<SourceMatch>(rom->match) : std::nullopt) ? 0 : 1;
}
