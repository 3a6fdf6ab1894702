#include <iostream>

#include "cli/commands.h"
#include "cli/console.h"
#include "inspect/inspect.h"

std::vector<std::string> inspectionReport(const std::string& path, const RomInfo& info) {
    // Every label is 17 characters wide, so the values start in column 18.
    std::vector<std::string> lines{
        "=== Quillon Inspection Report ===",
        "File:            " + path,
        "File Size:       " + std::to_string(info.fileSize) + " bytes (" +
            std::to_string(info.fileSize >> 10) + " KB)",
        "Platform:        " + info.platformName,
        "Internal Title:  " + (info.title.empty() ? std::string("(None)") : info.title),
    };
    if (!info.gameCode.empty()) {
        lines.push_back("Game Code:       " + info.gameCode);
    }
    lines.push_back(std::string("Copier Header:   ") +
                    (info.hasCopierHeader ? "YES (512-byte copier header present)" : "NO"));
    lines.push_back(std::string("Checksum Status: ") +
                    (info.checksumValid ? "VALID [PASSED]" : "INVALID OR CORRUPTED [FAILED]"));
    if (!info.details.empty()) {
        lines.push_back("Details:         " + info.details);
    }
    return lines;
}

int printInspection(const CommandArgs& args) {
    const std::string& path = args.values[0];
    for (const std::string& line : inspectionReport(path, inspectRom(path))) {
        printLine(std::cout, line);
    }
    return 0;
}
