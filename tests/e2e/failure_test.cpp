#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

#include "e2e/harness.h"
#include "rom_builders.h"
#include "skip.h"

using namespace testing_support;

namespace {

// Every command that writes, with an input it accepts and its fixed lines.
struct WritingCommand {
    const char* name;
    std::string command;
    Bytes input;
    Bytes patch; // empty for the one-input commands
    std::string failure;
};

void PrintTo(const WritingCommand& c, std::ostream* os) {
    *os << c.name;
}

Bytes ipsPatch() {
    // "PATCH", one data record writing AB CD at offset 2, "EOF".
    return imageOf({'P', 'A', 'T', 'C', 'H', 0, 0, 2, 0, 2, 0xAB, 0xCD, 'E', 'O', 'F'});
}

Bytes bpsPatch() {
    // "BPS1", source size 4, target size 4, no metadata, SourceRead of 4, footer.
    Bytes patch = imageOf({'B', 'P', 'S', '1', 0x84, 0x84, 0x80, 0x8C});
    patch.resize(patch.size() + 12, 0);
    return patch;
}

std::vector<WritingCommand> writingCommands() {
    return {
        {"FixChecksum", "--fix-checksum", makeGameBoy(), {}, "ERROR: Failed to fix checksum for "},
        {"StripHeader",
         "--strip-header",
         filled(1536, 3),
         {},
         "ERROR: Input file does not contain a standard 512-byte copier header."},
        {"N64Endian",
         "--n64-endian",
         makeNintendo64(0x1000, N64Order::V64),
         {},
         "ERROR: Failed to convert N64 ROM endianness."},
        {"IpsPatch", "--patch", filled(64, 1), ipsPatch(), "ERROR: Failed to apply IPS patch."},
        {"BpsPatch", "--bps-patch", imageOf({1, 2, 3, 4}), bpsPatch(),
         "ERROR: Failed to apply BPS patch."},
        {"SrmSwap",
         "--srm-swap",
         imageOf({1, 2, 3, 4}),
         {},
         "ERROR: Failed to swap save RAM endianness."},
        {"Trim", "--trim", filled(8192, 0xFF), {}, "ERROR: Failed to trim ROM."},
    };
}

std::vector<std::string> argumentsFor(const WritingCommand& c, const std::string& in,
                                      const std::string& out) {
    if (c.patch.empty()) {
        return {c.command, in, out};
    }
    return {c.command, in, "patch.bin", out};
}

class FailingCommand : public ::testing::TestWithParam<WritingCommand> {
  protected:
    void SetUp() override {
        if (!GetParam().patch.empty()) {
            scratch.write("patch.bin", GetParam().patch);
        }
    }

    // The command fails with its one fixed line on standard error, exit 1.
    // (The checksum repair's line ends with the input path.)
    void expectFailure(const e2e::RunResult& result, const std::string& in = "in.rom") const {
        const std::string& failure = GetParam().failure;
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
        EXPECT_EQ(result.err, failure + (failure.ends_with(' ') ? in : "") + "\n");
    }

    std::vector<std::string> expectedEntries(std::vector<std::string> names) const {
        if (!GetParam().patch.empty()) {
            names.push_back("patch.bin");
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    e2e::ScratchFolder scratch;
};

TEST_P(FailingCommand, SucceedsOnItsValidInput) {
    scratch.write("in.rom", GetParam().input);
    const auto result =
        e2e::runQuillon(argumentsFor(GetParam(), "in.rom", "out.rom"), scratch.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(scratch.exists("out.rom"));
}

TEST_P(FailingCommand, OutputIntoMissingFolder) {
    scratch.write("in.rom", GetParam().input);
    expectFailure(
        e2e::runQuillon(argumentsFor(GetParam(), "in.rom", "no/such/out.rom"), scratch.path()));
    EXPECT_EQ(scratch.entries(), expectedEntries({"in.rom"}));
}

TEST_P(FailingCommand, OutputIsAFolder) {
    scratch.write("in.rom", GetParam().input);
    std::filesystem::create_directory(scratch.path() / "out");
    expectFailure(e2e::runQuillon(argumentsFor(GetParam(), "in.rom", "out"), scratch.path()));
    EXPECT_EQ(scratch.entries(), expectedEntries({"in.rom", "out"}));
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path() / "out"));
}

TEST_P(FailingCommand, OutputToFullDevice) {
    if (e2e::underLauncher()) {
        QUILLON_SKIP_ON_THIS_MACHINE << "/dev/full has no Windows counterpart";
    }
    scratch.write("in.rom", GetParam().input);
    expectFailure(e2e::runQuillon(argumentsFor(GetParam(), "in.rom", "/dev/full"), scratch.path()));
    EXPECT_EQ(scratch.entries(), expectedEntries({"in.rom"}));
}

TEST_P(FailingCommand, OutputToNullDeviceSucceeds) {
    scratch.write("in.rom", GetParam().input);
    const std::string nullDevice = e2e::underLauncher() ? "NUL" : "/dev/null";
    const auto result =
        e2e::runQuillon(argumentsFor(GetParam(), "in.rom", nullDevice), scratch.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(scratch.entries(), expectedEntries({"in.rom"}));
}

TEST_P(FailingCommand, ReplacingInputBeyondFileSizeLimitKeepsInput) {
    if (e2e::underLauncher()) {
        QUILLON_SKIP_ON_THIS_MACHINE
            << "the file-size limit of a POSIX process does not carry through wine";
    }
    scratch.write("in.rom", GetParam().input);
    e2e::RunOptions options;
    options.fileSizeLimit = 3; // smaller than every output of these inputs
    expectFailure(
        e2e::runQuillon(argumentsFor(GetParam(), "in.rom", "in.rom"), scratch.path(), options));
    EXPECT_EQ(scratch.read("in.rom"), toBytes(GetParam().input));
    EXPECT_EQ(scratch.entries(), expectedEntries({"in.rom"})); // no temporary file remains
}

TEST_P(FailingCommand, UnreadableInputs) {
    scratch.write("empty.rom", Bytes{});
    std::filesystem::create_directory(scratch.path() / "folder");
    std::vector<std::string> inputs{"missing.rom", "empty.rom", "folder"};
    if (!e2e::underLauncher()) {
        ASSERT_EQ(::mkfifo(scratch.file("fifo").c_str(), 0600), 0);
        inputs.push_back("fifo"); // no writer: reading it must not hang
    }
    for (const std::string& input : inputs) {
        expectFailure(e2e::runQuillon(argumentsFor(GetParam(), input, "out.rom"), scratch.path()),
                      input);
        EXPECT_FALSE(scratch.exists("out.rom")) << input;
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, FailingCommand, ::testing::ValuesIn(writingCommands()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FailingPatch, UnreadablePatchWritesNothing) {
    for (const std::string command : {"--patch", "--bps-patch"}) {
        e2e::ScratchFolder scratch;
        scratch.write("in.rom", filled(64, 1));
        scratch.write("empty.bin", Bytes{});
        std::filesystem::create_directory(scratch.path() / "folder");
        for (const std::string patch : {"missing.bin", "empty.bin", "folder"}) {
            const auto result =
                e2e::runQuillon({command, "in.rom", patch, "out.rom"}, scratch.path());
            EXPECT_EQ(result.exitCode, 1) << command << " " << patch;
            EXPECT_FALSE(scratch.exists("out.rom")) << command << " " << patch;
        }
    }
}

// A large image goes through whole: 1 GiB read, swapped and written.
TEST(LargeImage, OneGibibyteSwappedAndInspected) {
    constexpr std::size_t size = std::size_t{1} << 30;
    constexpr std::size_t chunk = std::size_t{1} << 20;
    e2e::ScratchFolder scratch;
    // The input and the output (and the output's temporary file) must fit.
    if (std::filesystem::space(scratch.path()).available < 3 * std::uint64_t{size}) {
        QUILLON_SKIP_ON_THIS_MACHINE << "less than 3 GiB free in " << scratch.path();
    }
    std::vector<char> block(chunk);
    for (std::size_t i = 0; i < chunk; ++i) {
        block[i] = static_cast<char>(i * 31 + (i >> 9));
    }
    {
        std::ofstream out(scratch.file("big.srm"), std::ios::binary);
        for (std::size_t written = 0; written < size; written += chunk) {
            out.write(block.data(), static_cast<std::streamsize>(chunk));
        }
        ASSERT_TRUE(out.good());
    }
    const auto swapped = e2e::runQuillon({"--srm-swap", "big.srm", "out.srm"}, scratch.path());
    ASSERT_EQ(swapped.exitCode, 0) << swapped.err;
    std::ifstream in(scratch.file("out.srm"), std::ios::binary);
    std::vector<char> got(chunk);
    std::size_t mismatches = 0;
    std::size_t total = 0;
    while (in.read(got.data(), static_cast<std::streamsize>(chunk))) {
        for (std::size_t i = 0; i < chunk; ++i) {
            mismatches += got[i] != block[i ^ 1];
        }
        total += chunk;
    }
    EXPECT_EQ(total, size);
    EXPECT_EQ(mismatches, 0u);

    const auto report = e2e::runQuillon({"--inspect", "big.srm"}, scratch.path());
    EXPECT_NE(report.out.find("File Size:       1073741824 bytes (1048576 KB)\n"),
              std::string::npos)
        << report.out;
}

} // namespace
