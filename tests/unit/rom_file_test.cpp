#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "io/input_file.h"
#include "io/output_file.h"
#include "rom_builders.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class RomFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quillon-unit-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string path(const std::string& name) const { return (folder / name).string(); }
    void create(const std::string& name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
    }
    std::string content(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder;
};

TEST_F(RomFileTest, ReadsWholeFile) {
    create("rom.bin", std::string("\x00\x01\xFF\r\n\x1A", 6));
    EXPECT_EQ(toBytes(readFile(path("rom.bin")).value_or(Bytes{})),
              (ByteList{0x00, 0x01, 0xFF, 0x0D, 0x0A, 0x1A}));
}

TEST_F(RomFileTest, UnreadablePathsGiveEmptyImage) {
    create("empty.bin", "");
    fs::create_directory(folder / "folder");
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    for (const char* name : {"missing.bin", "empty.bin", "folder", "fifo"}) {
        EXPECT_TRUE(readFile(path(name)).value_or(Bytes{}).empty()) << name;
    }
    EXPECT_TRUE(readFile("").value_or(Bytes{}).empty());
}

TEST_F(RomFileTest, WritesAndReplacesWithoutOldTail) {
    EXPECT_TRUE(writeFile(path("out.bin"), imageOf({1, 2, 3, 4, 5})));
    EXPECT_EQ(content("out.bin"), "\x01\x02\x03\x04\x05");
    EXPECT_TRUE(writeFile(path("out.bin"), imageOf({9})));
    EXPECT_EQ(content("out.bin"), "\x09");
    EXPECT_TRUE(writeFile(path("out.bin"), Bytes{}));
    EXPECT_TRUE(fs::exists(path("out.bin")));
    EXPECT_EQ(fs::file_size(path("out.bin")), 0u);
    EXPECT_EQ(entries(), std::vector<std::string>{"out.bin"}); // no temporary file left
}

TEST_F(RomFileTest, ReadThenWriteSamePathReplacesIt) {
    create("rom.bin", "abcdef");
    Bytes image = readFile(path("rom.bin")).value_or(Bytes{});
    image.resize(3);
    EXPECT_TRUE(writeFile(path("rom.bin"), image));
    EXPECT_EQ(content("rom.bin"), "abc");
}

TEST_F(RomFileTest, MissingFolderFailsAndCreatesNothing) {
    EXPECT_FALSE(writeFile(path("no/such/out.bin"), imageOf({1})));
    EXPECT_FALSE(fs::exists(folder / "no"));
    EXPECT_TRUE(entries().empty());
}

TEST_F(RomFileTest, ReplacedFileKeepsPermissionBits) {
    create("rom.bin", "old");
    fs::permissions(path("rom.bin"), fs::perms::owner_read | fs::perms::owner_write |
                                         fs::perms::group_read | fs::perms::others_exec);
    EXPECT_TRUE(writeFile(path("rom.bin"), imageOf({'n', 'e', 'w'})));
    EXPECT_EQ(fs::status(path("rom.bin")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_exec);
}

TEST_F(RomFileTest, NonRegularTargetsAreWrittenInPlace) {
    create("real.bin", "old content");
    fs::create_symlink(path("real.bin"), path("link.bin"));
    EXPECT_TRUE(writeFile(path("link.bin"), imageOf({'x'})));
    EXPECT_TRUE(fs::is_symlink(path("link.bin")));
    EXPECT_EQ(content("real.bin"), "x");
    EXPECT_TRUE(writeFile("/dev/null", imageOf({1, 2, 3})));
}

TEST_F(RomFileTest, FailedWriteKeepsOldContent) {
    EXPECT_FALSE(writeFile("/dev/full", imageOf({1, 2, 3})));
    // A folder where the temporary file cannot be created: the old file stays.
    fs::create_directory(folder / "locked");
    create("locked/rom.bin", "precious");
    fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((folder / "locked").c_str(), W_OK) != 0) { // root may write anyway
        EXPECT_FALSE(writeFile(path("locked/rom.bin"), imageOf({0})));
        EXPECT_EQ(content("locked/rom.bin"), "precious");
    }
    fs::permissions(folder / "locked", fs::perms::owner_all);
}

TEST_F(RomFileTest, DirectoryAsOutputFails) {
    fs::create_directory(folder / "dir");
    EXPECT_FALSE(writeFile(path("dir"), imageOf({1})));
    EXPECT_TRUE(fs::is_directory(folder / "dir"));
}

} // namespace
