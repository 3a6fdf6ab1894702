#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "cli/command_table.h"

namespace {

// The arguments a command needs: the synopsis words outside brackets.
int requiredArguments(std::string_view synopsis) {
    std::istringstream words{std::string(synopsis)};
    int count = 0;
    for (std::string word; words >> word;) {
        count += word.starts_with('[') ? 0 : 1;
    }
    return count;
}

// Dispatch hands a command at least minimumArgc - 2 arguments, and the
// commands index them without checking; the synopsis tells the user the same.
TEST(CommandTable, EveryRowNeedsTheArgumentsItsSynopsisShows) {
    std::set<std::string_view> seen;
    for (const CommandRow& row : commandTable()) {
        EXPECT_TRUE(seen.insert(row.command).second) << row.command;
        // Only the short form of --help has a single dash.
        EXPECT_TRUE(row.command.starts_with("--") || row.command == "-h") << row.command;
        EXPECT_EQ(requiredArguments(row.synopsis) + 2, row.minimumArgc) << row.command;
        EXPECT_FALSE(row.summary.empty()) << row.command;
    }
}

// A misspelt {NAME}, or a name that is not among the operation's operands,
// would print as written; every operand must also be one the command gets.
TEST(CommandTable, EveryOperationTextNamesOnlyItsOperands) {
    for (const CommandRow& row : commandTable()) {
        const Operation* operation = std::get_if<Operation>(&row.runs);
        if (operation == nullptr) {
            continue;
        }
        const auto named =
            static_cast<int>(std::count_if(operation->operands.begin(), operation->operands.end(),
                                           [](std::string_view name) { return !name.empty(); }));
        EXPECT_EQ(named, row.minimumArgc - 2) << row.command;
        const CommandArgs args{{"first", "second", "third"}};
        for (const std::string_view text :
             {operation->progress, operation->success, operation->failure}) {
            const std::string filled = withPaths(text, *operation, args);
            EXPECT_EQ(filled.find_first_of("{}"), std::string::npos) << row.command << ": " << text;
        }
    }
}

TEST(CommandTable, PathsArePutInAsTyped) {
    const Operation operation{{"IN", "PATCH", "OUT"}, nullptr, "", "", ""};
    const struct Case {
        std::string_view text;
        CommandArgs args;
        std::string filled;
    } cases[] = {
        {"Applying {PATCH} to {IN} -> {OUT}...",
         {{"a.sfc", "b.ips", "c.sfc"}},
         "Applying b.ips to a.sfc -> c.sfc..."},
        {"{IN}{OUT}", {{"a", "b", "c"}}, "ac"},
        // A path that looks like a name is not read again.
        {"from {IN} to {OUT}", {{"{OUT}", "p", "{IN}"}}, "from {OUT} to {IN}"},
        {"no names here", {{"a", "b", "c"}}, "no names here"},
        {"{MOD} and {} stay", {{"a", "b", "c"}}, "{MOD} and {} stay"},
        {"open {IN", {{"a", "b", "c"}}, "open {IN"},
        // An operand the command line does not hold stays as written.
        {"to {OUT}", {{"a"}}, "to {OUT}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(withPaths(c.text, operation, c.args), c.filled) << c.text;
    }
}

} // namespace
