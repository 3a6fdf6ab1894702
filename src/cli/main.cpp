#include <array>
#include <iostream>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "cli/console.h"
#include "hash/digests.h"
#include "inspect/inspect.h"
#include "patch/patch.h"
#include "repair/repair.h"

namespace {

// The arguments of a command as typed: IN is argv[2], PATCH argv[3] of the
// patch commands, OUT the command's last path.
struct CommandPaths {
    std::string in;
    std::string patch;
    std::string out;
};

// One row of the command table. A row with an operation prints its progress
// line, calls the operation and prints its success or failure line; a row
// with a printer leaves output and exit code to it; the one row with neither
// prints the inspection report and always succeeds.
struct CommandRow {
    std::string_view command;
    int minimumArgc;
    bool (*operation)(const CommandPaths&);
    std::string (*progressLine)(const CommandPaths&);
    std::string (*successLine)(const CommandPaths&);
    std::string (*failureLine)(const CommandPaths&);
    int (*printer)(int argc, char** argv) = nullptr;
};

constexpr std::string_view arrow = " -> ";
constexpr std::string_view ellipsis = "...";

std::string text(std::string_view piece) { return std::string(piece); }

std::string patchProgress(std::string_view kind, const CommandPaths& p) {
    return "Applying " + text(kind) + " patch " + p.patch + " to " + p.in + text(arrow) + p.out +
           text(ellipsis);
}

const std::array<CommandRow, 10> commandTable{{
    {"--inspect", 3, nullptr, nullptr, nullptr, nullptr},
    {"--fix-checksum", 4, [](const CommandPaths& p) { return fixChecksum(p.in, p.out); },
     [](const CommandPaths& p) {
         return "Repairing checksums for " + p.in + text(arrow) + p.out + text(ellipsis);
     },
     [](const CommandPaths&) {
         return text("SUCCESS: Header & global checksums repaired and verified!");
     },
     [](const CommandPaths& p) { return "ERROR: Failed to fix checksum for " + p.in; }},
    {"--strip-header", 4, [](const CommandPaths& p) { return stripCopierHeader(p.in, p.out); },
     [](const CommandPaths& p) {
         return "Stripping 512-byte copier header from " + p.in + text(arrow) + p.out +
                text(ellipsis);
     },
     [](const CommandPaths& p) { return "SUCCESS: Clean headerless ROM written to " + p.out; },
     [](const CommandPaths&) {
         return text("ERROR: Input file does not contain a standard 512-byte copier header.");
     }},
    {"--n64-endian", 4, [](const CommandPaths& p) { return convertN64ToBigEndian(p.in, p.out); },
     [](const CommandPaths&) {
         return "Converting N64 ROM to Big-Endian (.z64) format" + text(ellipsis);
     },
     [](const CommandPaths& p) { return "SUCCESS: Big-Endian N64 ROM written to " + p.out; },
     [](const CommandPaths&) { return text("ERROR: Failed to convert N64 ROM endianness."); }},
    {"--patch", 5, [](const CommandPaths& p) { return applyIpsPatch(p.in, p.patch, p.out); },
     [](const CommandPaths& p) { return patchProgress("IPS", p); },
     [](const CommandPaths&) { return text("SUCCESS: Patch successfully applied!"); },
     [](const CommandPaths&) { return text("ERROR: Failed to apply IPS patch."); }},
    {"--bps-patch", 5, [](const CommandPaths& p) { return applyBpsPatch(p.in, p.patch, p.out); },
     [](const CommandPaths& p) { return patchProgress("BPS", p); },
     [](const CommandPaths&) { return text("SUCCESS: BPS patch successfully applied!"); },
     [](const CommandPaths&) { return text("ERROR: Failed to apply BPS patch."); }},
    {"--srm-swap", 4, [](const CommandPaths& p) { return swapSaveRam16(p.in, p.out); },
     [](const CommandPaths& p) {
         return "Swapping save RAM 16-bit endianness for " + p.in + text(arrow) + p.out +
                text(ellipsis);
     },
     [](const CommandPaths&) { return text("SUCCESS: Save RAM endianness swapped!"); },
     [](const CommandPaths&) { return text("ERROR: Failed to swap save RAM endianness."); }},
    {"--trim", 4, [](const CommandPaths& p) { return trimOverdump(p.in, p.out); },
     [](const CommandPaths& p) {
         return "Trimming overdumped padding bytes from " + p.in + text(ellipsis);
     },
     [](const CommandPaths& p) { return "SUCCESS: Trimmed ROM written to " + p.out; },
     [](const CommandPaths&) { return text("ERROR: Failed to trim ROM."); }},
    {"--catalog", 3, nullptr, nullptr, nullptr, nullptr, printCatalog},
    {"--patch-info", 3, nullptr, nullptr, nullptr, nullptr, printPatchInfo},
}};

CommandPaths pathsFor(const CommandRow& row, char** argv) {
    CommandPaths paths;
    paths.in = argv[2];
    if (row.minimumArgc >= 4) {
        paths.out = argv[row.minimumArgc - 1];
    }
    if (row.minimumArgc >= 5) {
        paths.patch = argv[3];
    }
    return paths;
}

int execute(const CommandRow& row, int argc, char** argv) {
    if (row.printer != nullptr) {
        return row.printer(argc, argv);
    }
    const CommandPaths paths = pathsFor(row, argv);
    if (row.operation == nullptr) {
        for (const std::string& line : inspectionReport(paths.in, inspectRom(paths.in))) {
            printLine(std::cout, line);
        }
        return 0;
    }
    printLine(std::cout, row.progressLine(paths));
    if (row.operation(paths)) {
        printLine(std::cout, row.successLine(paths));
        return 0;
    }
    printLine(std::cerr, row.failureLine(paths));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    initialiseHashing();
    const std::string program = argc > 0 ? argv[0] : "";
    // Started without a command, the program shows its window as for --gui.
    const std::string command = argc > 1 ? argv[1] : "--gui";
    if (command != "--gui") {
        for (const CommandRow& row : commandTable) {
            if (command == row.command && argc >= row.minimumArgc) {
                return execute(row, argc, argv);
            }
        }
        printUsage(program);
        return 1;
    }
    if (!showDesktopWindow(argc, argv)) {
        printUsage(program);
    }
    return 0;
}
