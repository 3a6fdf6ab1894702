#include <iostream>
#include <sstream>
#include <variant>

#include "cli/command_table.h"
#include "cli/console.h"

namespace {

// The descriptions start in one column; a longer command line keeps one space
// before its description.
constexpr std::size_t descriptionColumn = 38;

std::string usageLine(const CommandRow& row) {
    std::string line = std::string(row.command) + ' ' + std::string(row.synopsis);
    line.append(line.size() < descriptionColumn ? descriptionColumn - line.size() : 1, ' ');
    return "  " + line + std::string(row.summary);
}

} // namespace

void printUsage(const std::string& program) {
    const std::string rule(63, '=');
    std::ostringstream usageText;
    usageText << rule << '\n'
              << "  Quillon Studio v2.0 - Universal Vintage Console ROM Workstation\n"
              << rule << '\n'
              << '\n'
              << "Usage: " << program << " [command] [options...]\n"
              << '\n'
              << "Interactive GUI:\n"
              << "  " << program
              << " --gui                              Launch native desktop GUI window\n"
              << '\n'
              << "Console & Batch Commands:\n";
    for (const CommandRow& row : commandTable()) {
        if (!std::holds_alternative<About>(row.runs)) {
            usageText << usageLine(row) << '\n';
        }
    }
    usageText << '\n' << rule << '\n';
    printText(std::cout, usageText.str());
}

// The product's name, whatever the executable is called.
void printVersion(const std::string& /*program*/) {
    printLine(std::cout, "Quillon Studio 2.0.0");
}
