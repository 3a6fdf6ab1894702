// The end-to-end cases kept as files, one folder per command below cases/:
//
//   NAME.args   the arguments, one per line (an empty line is an empty argument)
//   NAME.d/     literal files of the case's own (a DAT, say), copied with their
//               folders into the scratch folder first
//   NAME.in     the files to make next, one per line: "PATH=INPUT" writes the
//               named input (case_inputs.h) at PATH, "PATH/" makes a folder
//   NAME.out    standard output, exact bytes (no file: nothing)
//   NAME.err    standard error, exact bytes (no file: nothing)
//   NAME.code   the exit code in decimal (no file: 0)
//   NAME.files  every entry of the scratch folder after the run, one per line,
//               sorted; "PATH=INPUT" also compares the file with the named input,
//               "PATH=data:FILE" with that file below tests/data
//
// In .args, .out and .err, @DATA@ stands for the tests/data folder and
// @PROGRAM@ for the program path as the executable sees it. Every case runs in
// a fresh scratch folder with paths relative to it, so it runs behind the
// launcher (wine) as it runs natively.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "e2e/case_inputs.h"
#include "e2e/harness.h"

namespace {

struct CaseFile {
    std::string command; // the folder below cases/
    std::string name;
    std::filesystem::path stem; // cases/COMMAND/NAME
};

void PrintTo(const CaseFile& c, std::ostream* os) {
    *os << c.command << "/" << c.name;
}

std::filesystem::path casesFolder() {
    return std::filesystem::path(QUILLON_E2E_CASES_DIR);
}

// Every case there is: a NAME.args in a command's folder, by folder then name.
std::vector<CaseFile> discoverCases() {
    std::vector<CaseFile> cases;
    std::error_code error;
    for (const auto& folder : std::filesystem::directory_iterator(casesFolder(), error)) {
        if (!folder.is_directory()) {
            continue;
        }
        for (const auto& file : std::filesystem::directory_iterator(folder.path())) {
            if (file.path().extension() == ".args") {
                cases.push_back({folder.path().filename().string(), file.path().stem().string(),
                                 file.path().parent_path() / file.path().stem()});
            }
        }
    }
    std::sort(cases.begin(), cases.end(), [](const CaseFile& a, const CaseFile& b) {
        return std::tie(a.command, a.name) < std::tie(b.command, b.name);
    });
    return cases;
}

std::optional<std::string> readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::string substituted(std::string text) {
    text = replaceAll(std::move(text), "@DATA@", QUILLON_TEST_DATA_DIR);
    return replaceAll(std::move(text), "@PROGRAM@", e2e::programPath());
}

// The lines of a file, each without its "\n" (the last one must have it).
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the last line has no line end: " << text.substr(at);
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// "PATH=INPUT" split at its last "=" (names hold none; paths may).
std::pair<std::string, std::string> pathAndInput(const std::string& line) {
    const std::size_t equals = line.rfind('=');
    if (equals == std::string::npos) {
        return {line, ""};
    }
    return {line.substr(0, equals), line.substr(equals + 1)};
}

std::vector<std::uint8_t> inputBytes(const std::string& name) {
    if (name.starts_with("data:")) {
        std::ifstream in(std::filesystem::path(QUILLON_TEST_DATA_DIR) / name.substr(5),
                         std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    const std::optional<std::vector<std::uint8_t>> bytes = e2e::namedInput(name);
    if (!bytes) {
        std::string known;
        for (const std::string_view n : e2e::namedInputNames()) {
            known += " " + std::string(n);
        }
        ADD_FAILURE() << "no input named " << name << "; there are:" << known;
        return {};
    }
    return *bytes;
}

class Case : public ::testing::TestWithParam<CaseFile> {};

TEST_P(Case, Run) {
    const CaseFile& c = GetParam();
    const auto part = [&](const char* extension) {
        return readText(std::filesystem::path(c.stem.string() + extension));
    };
    e2e::ScratchFolder scratch;
    const std::filesystem::path own(c.stem.string() + ".d");
    if (std::filesystem::is_directory(own)) {
        std::filesystem::copy(own, scratch.path(), std::filesystem::copy_options::recursive);
    }
    for (const std::string& line : linesOf(part(".in").value_or(""))) {
        if (line.ends_with('/')) {
            std::filesystem::create_directories(scratch.path() / line);
            continue;
        }
        const auto [path, input] = pathAndInput(line);
        scratch.write(path, inputBytes(input));
    }
    std::vector<std::string> args;
    for (const std::string& line : linesOf(part(".args").value_or(""))) {
        args.push_back(substituted(line));
    }

    // The collection commands run twice on one digest cache: the second run
    // takes what the first kept and must print the same.
    const bool collection = c.command == "verify" || c.command == "catalog";
    const e2e::ScratchFolder cache;
    e2e::RunOptions options;
    if (collection) {
        scratch.age();
        options.cacheFolder = cache.path();
    }
    for (int run = 0; run < (collection ? 2 : 1); ++run) {
        const e2e::RunResult result = e2e::runQuillon(args, scratch.path(), options);
        EXPECT_EQ(result.out, substituted(part(".out").value_or(""))) << "run " << run;
        EXPECT_EQ(result.err, substituted(part(".err").value_or(""))) << "run " << run;
        EXPECT_EQ(result.exitCode, std::stoi(part(".code").value_or("0"))) << "run " << run;
    }

    if (const std::optional<std::string> files = part(".files")) {
        std::vector<std::string> expected;
        for (const std::string& line : linesOf(*files)) {
            const auto [path, input] = pathAndInput(line);
            expected.push_back(path.ends_with('/') ? path.substr(0, path.size() - 1) : path);
            if (!input.empty()) {
                EXPECT_TRUE(scratch.exists(path)) << path;
                EXPECT_TRUE(scratch.read(path) == inputBytes(input)) << path << " is not " << input;
            }
        }
        // A folder is listed in full where the case names anything inside it.
        std::set<std::string> opened{""};
        for (const std::string& path : expected) {
            for (std::size_t slash = path.find('/'); slash != std::string::npos;
                 slash = path.find('/', slash + 1)) {
                opened.insert(path.substr(0, slash));
            }
        }
        std::vector<std::string> actual;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.path())) {
            const std::string path =
                std::filesystem::relative(entry.path(), scratch.path()).generic_string();
            const std::size_t slash = path.rfind('/');
            if (opened.count(slash == std::string::npos ? "" : path.substr(0, slash)) != 0) {
                actual.push_back(path);
            }
        }
        std::sort(actual.begin(), actual.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(actual, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, ::testing::ValuesIn(discoverCases()), [](const auto& info) {
    return info.param.command + "_" + info.param.name;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Case);

} // namespace
