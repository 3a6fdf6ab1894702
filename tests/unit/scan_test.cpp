#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "inspect/inspect.h"
#include "io/folder.h"
#include "rom_builders.h"
#include "scan/scan.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testing_support;

namespace {

struct HeaderlessCase {
    const char* name;
    Bytes image;
    std::optional<std::uint64_t> skip;
};

Bytes nesWithTrainer() {
    Bytes image = makeNes(1, 1, 0x04);
    image.resize(image.size() + 512, 0x77);
    return image;
}

TEST(Headerless, SkipsWhatTheDatabasesLeaveOut) {
    const HeaderlessCase cases[] = {
        {"SNES with copier header", makeSnes(0x20000, false, true), 512},
        {"SNES without", makeSnes(0x20000), std::nullopt},
        {"iNES", makeNes(2, 1, 0x10), 16},
        {"iNES with trainer", nesWithTrainer(), 16 + 512},
        {"iNES cut off inside its trainer", makeNes(0, 0, 0x04, 0x00, false), 16 + 512},
        {"Game Boy", makeGameBoy(), std::nullopt},
        {"Genesis", makeGenesis(), std::nullopt},
        {"Unknown", filled(100, 0x55), std::nullopt},
    };
    DigestHasher hasher;
    for (const HeaderlessCase& c : cases) {
        const CatalogRecord record = catalogImage("x", c.image, hasher);
        EXPECT_EQ(record.size, c.image.size()) << c.name;
        EXPECT_EQ(record.digests.sha1, computeDigests(c.image).sha1) << c.name;
        ASSERT_EQ(record.headerless.has_value(), c.skip.has_value()) << c.name;
        if (!c.skip) {
            continue;
        }
        const std::size_t from = std::min<std::size_t>(*c.skip, c.image.size());
        const std::span<const std::uint8_t> rest = std::span(c.image).subspan(from);
        EXPECT_EQ(record.headerless->skip, *c.skip) << c.name;
        EXPECT_EQ(record.headerless->size, rest.size()) << c.name;
        const Digests expected = computeDigests(rest);
        EXPECT_EQ(record.headerless->digests.crc32, expected.crc32) << c.name;
        EXPECT_EQ(record.headerless->digests.md5, expected.md5) << c.name;
        EXPECT_EQ(record.headerless->digests.sha256, expected.sha256) << c.name;
    }
}

#ifndef _WIN32

class FolderWalk : public ::testing::Test {
  protected:
    FolderWalk() {
        root_ = std::filesystem::temp_directory_path() /
                ("quillon-walk-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }
    ~FolderWalk() override { std::filesystem::remove_all(root_); }

    void write(const std::string& name, std::string_view content = "x") {
        std::ofstream(root_ / name, std::ios::binary) << content;
    }
    std::vector<std::string> walk(const std::vector<std::string>& arguments) {
        std::vector<std::string> seen;
        walkPaths(arguments, [&](const std::string& path, std::optional<InputFile> file) {
            seen.push_back((file ? "" : "!") + path);
        });
        return seen;
    }
    std::string root() const { return root_.string(); }

    std::filesystem::path root_;
};

TEST_F(FolderWalk, ByteOrderDepthFirstNoLinksNoFifos) {
    std::filesystem::create_directories(root_ / "b" / "c");
    write("B");
    write("a");
    write("b/z");
    write("b/c/y");
    write("\xC3\xA9");
    write("b0");
    std::filesystem::create_symlink(root_ / "a", root_ / "link-to-file");
    std::filesystem::create_directory_symlink(root_ / "b", root_ / "link-to-folder");
    ASSERT_EQ(::mkfifo((root_ / "fifo").c_str(), 0600), 0);
    const std::string r = root();
    EXPECT_EQ(walk({r}), (std::vector<std::string>{r + "/B", r + "/a", r + "/b/c/y", r + "/b/z",
                                                   r + "/b0", r + "/\xC3\xA9"}));
    // A trailing "/" is not doubled; file arguments and missing ones keep their order.
    EXPECT_EQ(walk({r + "/b/", r + "/a", r + "/missing", r + "/fifo"}),
              (std::vector<std::string>{r + "/b/c/y", r + "/b/z", r + "/a", "!" + r + "/missing",
                                        "!" + r + "/fifo"}));
}

// Deeper than a path can name (PATH_MAX) and than a recursion would like.
TEST_F(FolderWalk, ThousandsOfLevelsDeep) {
    constexpr int depth = 3000;
    int folder = ::open(root().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    for (int level = 0; level < depth; ++level) {
        ASSERT_EQ(::mkdirat(folder, "d", 0700), 0);
        const int next = ::openat(folder, "d", O_RDONLY | O_DIRECTORY);
        ::close(folder);
        ASSERT_GE(next, 0);
        folder = next;
    }
    const int file = ::openat(folder, "deep.bin", O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "abc", 3), 3);
    ::close(file);
    ::close(folder);

    std::vector<std::string> seen;
    std::uint64_t size = 0;
    walkPaths(std::vector<std::string>{root()},
              [&](const std::string& path, std::optional<InputFile> f) {
                  seen.push_back(path);
                  size = f ? f->size() : 0;
              });
    std::string expected = root();
    for (int level = 0; level < depth; ++level) {
        expected += "/d";
    }
    EXPECT_EQ(seen, std::vector<std::string>{expected + "/deep.bin"});
    EXPECT_EQ(size, 3u);

    // remove_all would meet the same path length limit: take the tree down
    // from the bottom, relative to each folder.
    std::vector<int> folders{::open(root().c_str(), O_RDONLY | O_DIRECTORY)};
    for (int level = 0; level < depth; ++level) {
        folders.push_back(::openat(folders.back(), "d", O_RDONLY | O_DIRECTORY));
    }
    ::unlinkat(folders.back(), "deep.bin", 0);
    for (int level = depth; level > 0; --level) {
        ::close(folders[static_cast<std::size_t>(level)]);
        ::unlinkat(folders[static_cast<std::size_t>(level) - 1], "d", AT_REMOVEDIR);
    }
    ::close(folders[0]);
}

#endif

} // namespace
