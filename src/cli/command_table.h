#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "cli/commands.h"

// A command that says what it is about to do, does it, and says whether it
// worked. Its texts name its arguments as {IN}, {OUT} and so on; the names
// are its operands, in the order they are typed.
struct Operation {
    // IN, then PATCH (the patch applied) or MOD (the modified image a patch
    // is made to reach), then OUT; an empty name past the last.
    std::array<std::string_view, 3> operands;
    bool (*run)(const CommandArgs& args);
    std::string_view progress; // on standard output, before it runs
    std::string_view success;  // on standard output; exit code 0
    std::string_view failure;  // on standard error; exit code 1
};

// A command that prints its own output and chooses its exit code.
using Printer = int (*)(const CommandArgs& args);

// A question about the program itself (--help, --version): answered on
// standard output with exit code 0, from the program's name as started. The
// usage text lists only the other commands.
struct About {
    void (*print)(const std::string& program);
};

// One command: what is typed, how many words the command line needs at least
// (the program and the command included), its usage line, and how it runs.
struct CommandRow {
    std::string_view command;
    int minimumArgc;
    std::string_view synopsis; // the arguments as the usage line shows them
    std::string_view summary;  // what the usage line says it does
    std::variant<Operation, Printer, About> runs;
};

// Every command, in the order the usage text lists them and dispatch tries them.
std::span<const CommandRow> commandTable();

// The text with each {NAME} of the operation's operands replaced by that
// argument as typed; a path is put in as it is, never read for names.
std::string withPaths(std::string_view text, const Operation& operation, const CommandArgs& args);
