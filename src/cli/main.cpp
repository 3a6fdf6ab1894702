#include <array>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "hash/digests.h"
#include "inspect/inspect.h"
#include "io/output_file.h"
#include "io/wide_path.h"
#include "patch/patch.h"
#include "repair/repair.h"

namespace {

// The arguments of a command as typed: IN is argv[2], PATCH argv[3] of the
// patch commands, OUT the command's last path. The patch creators take the
// original as IN, the modified image as argv[3] and write the patch to OUT.
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
    return applyingLine(text(kind), p.patch, p.in, p.out);
}

std::string createProgress(std::string_view kind, const CommandPaths& p) {
    return "Creating " + text(kind) + " patch " + p.out + " from " + p.in + text(arrow) + p.patch +
           text(ellipsis);
}

const std::array<CommandRow, 15> commandTable{{
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
    {"--create-ips", 5, [](const CommandPaths& p) { return createIpsPatch(p.in, p.patch, p.out); },
     [](const CommandPaths& p) { return createProgress("IPS", p); },
     [](const CommandPaths& p) { return "SUCCESS: IPS patch written to " + p.out; },
     [](const CommandPaths&) { return text("ERROR: Failed to create IPS patch."); }},
    {"--create-bps", 5, [](const CommandPaths& p) { return createBpsPatch(p.in, p.patch, p.out); },
     [](const CommandPaths& p) { return createProgress("BPS", p); },
     [](const CommandPaths& p) { return "SUCCESS: BPS patch written to " + p.out; },
     [](const CommandPaths&) { return text("ERROR: Failed to create BPS patch."); }},
    {"--create-ups", 5, [](const CommandPaths& p) { return createUpsPatch(p.in, p.patch, p.out); },
     [](const CommandPaths& p) { return createProgress("UPS", p); },
     [](const CommandPaths& p) { return "SUCCESS: UPS patch written to " + p.out; },
     [](const CommandPaths&) { return text("ERROR: Failed to create UPS patch."); }},
    {"--catalog", 3, nullptr, nullptr, nullptr, nullptr, printCatalog},
    {"--patch-info", 3, nullptr, nullptr, nullptr, nullptr, printPatchInfo},
    {"--apply", 5, nullptr, nullptr, nullptr, nullptr, printApply},
    {"--verify", 4, nullptr, nullptr, nullptr, nullptr, printVerify},
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

// A file dropped on the program's icon arrives as its only argument: the
// program shows that file's inspection report.
bool isDroppedFile(int argc, const std::string& command) {
    return argc == 2 && !command.starts_with('-') && isRegularFile(command);
}

int showDroppedFile(const std::string& path) {
    const std::vector<std::string> report = inspectionReport(path, inspectRom(path));
    if (!showReportWindow(report)) {
        for (const std::string& line : report) {
            printLine(std::cout, line);
        }
    }
    return 0;
}

int runCommand(int argc, char** argv) {
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
        if (isDroppedFile(argc, command)) {
            return showDroppedFile(command);
        }
        printUsage(program);
        return 1;
    }
    if (!showDesktopWindow(argc, argv)) {
        printUsage(program);
    }
    return 0;
}

} // namespace

#ifdef _WIN32
// The command line arrives as UTF-16 and is turned into UTF-8 once, here;
// from then on every argument is a byte string as elsewhere.
extern "C" int wmain(int argc, wchar_t** wideArgv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(toUtf8(wideArgv[i]));
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return runCommand(argc, argv.data());
}
#else
int main(int argc, char** argv) { return runCommand(argc, argv); }
#endif
