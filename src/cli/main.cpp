#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "cli/command_table.h"
#include "cli/console.h"
#include "hash/digests.h"
#include "inspect/inspect.h"
#include "io/output_file.h"
#include "io/wide_path.h"

namespace {

// Prints the operation's progress line, runs it and prints its success or
// failure line.
int runOperation(const Operation& operation, const CommandArgs& args) {
    printLine(std::cout, withPaths(operation.progress, operation, args));
    if (operation.run(args)) {
        printLine(std::cout, withPaths(operation.success, operation, args));
        return 0;
    }
    printLine(std::cerr, withPaths(operation.failure, operation, args));
    return 1;
}

int execute(const CommandRow& row, const std::string& program, const CommandArgs& args) {
    if (const Operation* operation = std::get_if<Operation>(&row.runs)) {
        return runOperation(*operation, args);
    }
    if (const About* about = std::get_if<About>(&row.runs)) {
        about->print(program);
        return 0;
    }
    return std::get<Printer>(row.runs)(args);
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
        for (const CommandRow& row : commandTable()) {
            if (command == row.command && argc >= row.minimumArgc) {
                return execute(row, program,
                               CommandArgs{std::vector<std::string>(argv + 2, argv + argc)});
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
int main(int argc, char** argv) {
    return runCommand(argc, argv);
}
#endif
