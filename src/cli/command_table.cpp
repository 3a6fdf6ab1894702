#include "cli/command_table.h"

#include <optional>

#include "cli/console.h"
#include "patch/patch.h"
#include "repair/repair.h"

namespace {

// The file wrappers of the repairs and patchers, called with the operands in
// the order they are typed.
template <bool (*convert)(const std::string&, const std::string&)>
bool fromInToOut(const CommandArgs& args) {
    return convert(args.values[0], args.values[1]);
}

template <bool (*combine)(const std::string&, const std::string&, const std::string&)>
bool fromTwoToOut(const CommandArgs& args) {
    return combine(args.values[0], args.values[1], args.values[2]);
}

constexpr std::array<std::string_view, 3> inOut{"IN", "OUT", ""};
constexpr std::array<std::string_view, 3> inPatchOut{"IN", "PATCH", "OUT"};
constexpr std::array<std::string_view, 3> inModOut{"IN", "MOD", "OUT"};

const std::array<CommandRow, 22> rows{{
    {"--inspect", 3, "<ROM>", "Inspect ROM platform, header & checksums", printInspection},
    {"--fix-checksum", 4, "<IN_ROM> <OUT_ROM>", "Repair cartridge header & global checksums",
     Operation{inOut, fromInToOut<fixChecksum>, "Repairing checksums for {IN} -> {OUT}...",
               "SUCCESS: Header & global checksums repaired and verified!",
               "ERROR: Failed to fix checksum for {IN}"}},
    {"--strip-header", 4, "<IN_ROM> <OUT_ROM>", "Strip 512-byte copier headers (SNES/SMC)",
     Operation{inOut, fromInToOut<stripCopierHeader>,
               "Stripping 512-byte copier header from {IN} -> {OUT}...",
               "SUCCESS: Clean headerless ROM written to {OUT}",
               "ERROR: Input file does not contain a standard 512-byte copier header."}},
    {"--n64-endian", 4, "<IN_ROM> <OUT_ROM>", "Convert N64 ROM to standard Big-Endian (.z64)",
     Operation{inOut, fromInToOut<convertN64ToBigEndian>,
               "Converting N64 ROM to Big-Endian (.z64) format...",
               "SUCCESS: Big-Endian N64 ROM written to {OUT}",
               "ERROR: Failed to convert N64 ROM endianness."}},
    {"--patch", 5, "<IN_ROM> <PATCH.ips> <OUT>", "Apply standard IPS binary patch",
     Operation{inPatchOut, fromTwoToOut<applyIpsPatch>,
               "Applying IPS patch {PATCH} to {IN} -> {OUT}...",
               "SUCCESS: Patch successfully applied!", "ERROR: Failed to apply IPS patch."}},
    {"--bps-patch", 5, "<IN_ROM> <PATCH.bps> <OUT>", "Apply Beat BPS binary patch",
     Operation{inPatchOut, fromTwoToOut<applyBpsPatch>,
               "Applying BPS patch {PATCH} to {IN} -> {OUT}...",
               "SUCCESS: BPS patch successfully applied!", "ERROR: Failed to apply BPS patch."}},
    {"--srm-swap", 4, "<IN.srm> <OUT.srm>", "Swap 16-bit save RAM endianness (EverDrive/PC)",
     Operation{inOut, fromInToOut<swapSaveRam16>,
               "Swapping save RAM 16-bit endianness for {IN} -> {OUT}...",
               "SUCCESS: Save RAM endianness swapped!",
               "ERROR: Failed to swap save RAM endianness."}},
    {"--trim", 4, "<IN_ROM> <OUT_ROM>", "Trim overdumped padding bytes",
     Operation{inOut, fromInToOut<trimOverdump>, "Trimming overdumped padding bytes from {IN}...",
               "SUCCESS: Trimmed ROM written to {OUT}", "ERROR: Failed to trim ROM."}},
    {"--create-ips", 5, "<ORIG> <MOD> <PATCH.ips>", "Create IPS patch from original & modified ROM",
     Operation{inModOut, fromTwoToOut<createIpsPatch>,
               "Creating IPS patch {OUT} from {IN} -> {MOD}...",
               "SUCCESS: IPS patch written to {OUT}", "ERROR: Failed to create IPS patch."}},
    {"--create-bps", 5, "<ORIG> <MOD> <PATCH.bps>", "Create BPS patch from original & modified ROM",
     Operation{inModOut, fromTwoToOut<createBpsPatch>,
               "Creating BPS patch {OUT} from {IN} -> {MOD}...",
               "SUCCESS: BPS patch written to {OUT}", "ERROR: Failed to create BPS patch."}},
    {"--create-ups", 5, "<ORIG> <MOD> <PATCH.ups>", "Create UPS patch from original & modified ROM",
     Operation{inModOut, fromTwoToOut<createUpsPatch>,
               "Creating UPS patch {OUT} from {IN} -> {MOD}...",
               "SUCCESS: UPS patch written to {OUT}", "ERROR: Failed to create UPS patch."}},
    {"--create-xdelta", 5, "<ORIG> <MOD> <PATCH>",
     "Create xdelta (VCDIFF) patch from original & modified ROM",
     Operation{inModOut, fromTwoToOut<createXdeltaPatch>,
               "Creating xdelta patch {OUT} from {IN} -> {MOD}...",
               "SUCCESS: xdelta patch written to {OUT}", "ERROR: Failed to create xdelta patch."}},
    {"--catalog", 3, "<PATH>...", "Inspect & hash ROMs and folders as JSON Lines", printCatalog},
    {"--patch-info", 3, "<PATCH> [<ROM>]", "Describe IPS/BPS/UPS/xdelta patch; check it fits a ROM",
     printPatchInfo},
    {"--apply", 5, "<ROM> <PATCH> <OUT>", "Apply IPS/BPS/UPS/xdelta patch, checked first",
     runApply},
    {"--verify", 4, "<DAT> <PATH>...", "Match ROMs and archives against a DAT file", printVerify},
    {"--rebuild", 5, "<DAT> <OUT> <PATH>...",
     "Write matched games as TorrentZip archives named by a DAT", printRebuild},
    {"--rebuild-files", 5, "<DAT> <OUT> <PATH>...",
     "Write matched ROMs as plain files named by a DAT", printRebuildFiles},
    {"--fixdat", 5, "<DAT> <OUT.dat> <PATH>...", "Write a DAT of the games not complete",
     runFixdat},
    {"--help", 2, "", "Print this usage text", About{printUsage}},
    {"-h", 2, "", "Print this usage text", About{printUsage}},
    {"--version", 2, "", "Print the program's name and version", About{printVersion}},
}};

std::optional<std::size_t> operandIndex(const Operation& operation, std::string_view name) {
    for (std::size_t i = 0; i < operation.operands.size(); ++i) {
        if (!name.empty() && operation.operands[i] == name) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

std::span<const CommandRow> commandTable() {
    return rows;
}

std::string withPaths(std::string_view text, const Operation& operation, const CommandArgs& args) {
    std::string filled;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('{', at);
        const std::size_t close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) {
            break;
        }
        filled += text.substr(at, open - at);
        const std::optional<std::size_t> index =
            operandIndex(operation, text.substr(open + 1, close - open - 1));
        if (index && *index < args.values.size()) {
            filled += args.values[*index];
        } else {
            filled += text.substr(open, close + 1 - open); // not a name: kept as written
        }
        at = close + 1;
    }
    filled += text.substr(at);
    return filled;
}
