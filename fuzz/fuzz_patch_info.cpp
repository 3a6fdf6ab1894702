// The patch report over a ROM and a patch cut from one input (split_input.h).
// Besides surviving any input, the summary must agree with the patchers: an
// IPS patch is well-formed exactly when the IPS patcher accepts it, and the
// record counts and offsets stay inside the patch. The report's lines must
// all carry the 17-column labels.

#include <cstddef>
#include <cstdint>
#include <span>

#include "check.h"
#include "cli/commands.h"
#include "patch/checked.h"
#include "patch/formats.h"
#include "split_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::SplitInput input = fuzzing::splitInput({data, size});
    const PatchSummary summary = describePatch(input.patch);
    const SourceMatch match = matchSource(summary, input.patch, input.rom);

    if (formatOf(summary) == PatchFormat::Ips) {
        const ips::Summary& info = std::get<ips::Summary>(summary);
        FUZZ_CHECK(info.runRecords <= info.records);
        FUZZ_CHECK(info.records * 5 <= input.patch.size());
        FUZZ_CHECK(info.writesUpTo <= 0xFFFFFFu + 0xFFFFu);
        FUZZ_CHECK(!info.cutOffAt || (*info.cutOffAt >= 5 && *info.cutOffAt <= input.patch.size()));
        FUZZ_CHECK(!(info.cutOffAt && info.truncatesTo));
        FUZZ_CHECK(match == SourceMatch::NotChecked);
        // The patcher needs an image to patch; a record past its end grows it,
        // so one byte is enough. Images that would grow far are left out.
        if (info.writesUpTo <= (1u << 20)) {
            Bytes image(1, 0);
            FUZZ_CHECK(ips::applyToRom(image, input.patch) == !info.cutOffAt.has_value());
        }
    } else if (formatOf(summary) == PatchFormat::Bps) {
        const bps::Summary& info = std::get<bps::Summary>(summary);
        FUZZ_CHECK(!info.sizesReadable || info.metadataSize + 16 <= input.patch.size());
        FUZZ_CHECK(info.sizesReadable || match == SourceMatch::No);
    } else if (formatOf(summary) == PatchFormat::Ups) {
        const ups::Summary& info = std::get<ups::Summary>(summary);
        FUZZ_CHECK(info.sizesReadable || match == SourceMatch::No);
        FUZZ_CHECK(!info.sizesReadable || info.hunksAt + 12 <= input.patch.size());
    } else if (formatOf(summary) == PatchFormat::Vcdiff) {
        const vcdiff::Summary& info = std::get<vcdiff::Summary>(summary);
        FUZZ_CHECK(info.wellFormed || match == SourceMatch::No);
        FUZZ_CHECK(info.checksums || match == SourceMatch::NotChecked || match == SourceMatch::No);
    } else {
        FUZZ_CHECK(match == SourceMatch::No);
    }

    std::optional<RomCheck> rom;
    if (!input.rom.empty()) {
        rom = RomCheck{"rom", input.rom.size(), 0, match};
    }
    for (const std::string& line : patchReport("patch", input.patch.size(), summary, rom)) {
        FUZZ_CHECK(line.find('\n') == std::string::npos);
        if (line == "=== Quillon Patch Report ===") {
            continue;
        }
        // "Label:" padded with spaces to 17 characters, then the value.
        const std::size_t colon = line.find(':');
        FUZZ_CHECK(colon < 16 && line.size() > 17);
        FUZZ_CHECK(line.find_first_not_of(' ', colon + 1) == 17);
    }
    return 0;
}
