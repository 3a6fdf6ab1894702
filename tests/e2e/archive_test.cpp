#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "rom_builders.h"

using namespace testing_support;

// Archives made at test time by Debian's zip and 7-Zip (packages zip and
// p7zip-full).

namespace {

// Runs a shell command in the folder; true when it exits with 0.
bool shell(const e2e::ScratchFolder& scratch, const std::string& command) {
    const std::string line =
        "cd '" + scratch.path().string() + "' && (" + command + ") >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

bool haveTools() {
    return std::system("command -v zip >/dev/null && command -v 7z >/dev/null") == 0;
}

// 100 bytes of "C": the DAT's one good ROM.
constexpr std::string_view dat = R"dat(<?xml version="1.0"?>
<datafile>
	<header><name>Archives</name></header>
	<game name="Gamma">
		<rom name="gamma.bin" size="100" crc="663653a7" sha1="b8454f99c95ec52ff00fa10298bc6897ce16a4ab"/>
	</game>
</datafile>
)dat";

std::string matchLine(const std::string& path, const std::string& member, bool named) {
    return R"({"path":")" + path + R"(","member":")" + member +
           R"(","size":100,"crc32":"663653a7","sha1":"b8454f99c95ec52ff00fa10298bc6897ce16a4ab","status":"match","game":"Gamma","rom":"gamma.bin","dump":"good","headerless":false,"named":)" +
           (named ? "true" : "false") + "}\n";
}

std::string unreadableLine(const std::string& path, const std::string& member) {
    return R"({"path":")" + path + R"(","member":")" + member +
           R"(","error":"unreadable"})"
           "\n";
}

class Archives : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(haveTools()) << "zip and 7z make the archives";
        scratch.write("gamma.bin", Bytes(100, 'C'));
        std::filesystem::create_directories(scratch.path() / "sub");
        scratch.write("sub/gamma.bin", Bytes(100, 'C'));
        scratch.write("other.bin", textImage("not in the set"));
        scratch.write("set.dat", textImage(dat));
    }
    e2e::ScratchFolder scratch;
};

struct ArchiveRow {
    const char* name;
    const char* command; // makes the archive in the scratch folder
    const char* archive;
    std::string expected; // the candidate lines of --verify
    int exitCode;
};

TEST_F(Archives, VerifyMatchesMembersOfEveryCodec) {
    // The zip members: stored, deflate, bzip2 (zip), LZMA and PPMd (7-Zip);
    // the 7z members: LZMA, LZMA2, PPMd and LZMA behind the BCJ filter.
    // (Neither tool writes zstd members.)
    const ArchiveRow rows[] = {
        {"zip stored", "zip -q -0 a.zip gamma.bin", "a.zip", matchLine("a.zip", "gamma.bin", true),
         0},
        {"zip deflate", "zip -q -9 a.zip gamma.bin", "a.zip", matchLine("a.zip", "gamma.bin", true),
         0},
        {"zip bzip2", "zip -q -Z bzip2 a.zip gamma.bin", "a.zip",
         matchLine("a.zip", "gamma.bin", true), 0},
        {"zip LZMA", "7z a -tzip -mm=LZMA a.zip gamma.bin", "a.zip",
         matchLine("a.zip", "gamma.bin", true), 0},
        {"zip PPMd", "7z a -tzip -mm=PPMd a.zip gamma.bin", "a.zip",
         matchLine("a.zip", "gamma.bin", true), 0},
        {"7z LZMA", "7z a -m0=LZMA a.7z gamma.bin", "a.7z", matchLine("a.7z", "gamma.bin", true),
         0},
        {"7z LZMA2", "7z a -m0=LZMA2 a.7z gamma.bin", "a.7z", matchLine("a.7z", "gamma.bin", true),
         0},
        {"7z PPMd", "7z a -m0=PPMd a.7z gamma.bin", "a.7z", matchLine("a.7z", "gamma.bin", true),
         0},
        {"7z BCJ", "7z a -m0=BCJ -m1=LZMA a.7z gamma.bin", "a.7z",
         matchLine("a.7z", "gamma.bin", true), 0},
        {"member in a subfolder, in stored order", "zip -q a.zip sub/gamma.bin other.bin", "a.zip",
         matchLine("a.zip", "sub/gamma.bin", true) +
             R"({"path":"a.zip","member":"other.bin","size":14,"crc32":"4abe5c41","sha1":"4be8be3050e4ca1e2b96a839e883bb2e4b472130","status":"unknown"})"
             "\n",
         1},
        {"encrypted zip member", "zip -q -P secret a.zip gamma.bin", "a.zip",
         unreadableLine("a.zip", "gamma.bin"), 1},
        {"encrypted 7z member", "7z a -psecret a.7z gamma.bin", "a.7z",
         unreadableLine("a.7z", "gamma.bin"), 1},
        {"corrupt deflate member",
         "zip -q -X -9 a.zip gamma.bin && printf '\\377\\377\\377\\377' | dd of=a.zip bs=1 seek=40 "
         "conv=notrunc",
         "a.zip", unreadableLine("a.zip", "gamma.bin"), 1},
    };
    for (const ArchiveRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(scratch.path() / row.archive);
        ASSERT_TRUE(shell(scratch, row.command));
        const e2e::RunResult result =
            e2e::runQuillon({"--verify", "set.dat", row.archive}, scratch.path());
        const std::size_t summary = result.out.find("{\"game\":");
        const std::size_t end =
            summary == std::string::npos ? result.out.find("{\"summary\":") : summary;
        EXPECT_EQ(result.out.substr(0, end), row.expected);
        EXPECT_EQ(result.exitCode, row.exitCode);
    }
}

TEST_F(Archives, ANestedArchiveIsHashedAsAMember) {
    ASSERT_TRUE(shell(scratch, "zip -q inner.zip gamma.bin && zip -q -0 outer.zip inner.zip"));
    const e2e::RunResult result =
        e2e::runQuillon({"--verify", "set.dat", "outer.zip"}, scratch.path());
    EXPECT_EQ(result.out.rfind(R"({"path":"outer.zip","member":"inner.zip","size":)", 0), 0u)
        << result.out;
    EXPECT_NE(result.out.find(R"("status":"unknown"})"), std::string::npos);
    EXPECT_EQ(result.exitCode, 1);
}

TEST_F(Archives, TheCatalogueAddsOneObjectPerMember) {
    ASSERT_TRUE(
        shell(scratch, "zip -q a.zip sub/gamma.bin other.bin && zip -q -P secret e.zip gamma.bin"));
    const e2e::RunResult ok = e2e::runQuillon({"--catalog", "a.zip"}, scratch.path());
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < ok.out.size();) {
        const std::size_t end = ok.out.find('\n', at);
        lines.push_back(ok.out.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 3u) << ok.out;
    EXPECT_EQ(lines[0].rfind(R"({"path":"a.zip","size":)", 0), 0u);
    EXPECT_EQ(
        lines[1].rfind(
            R"({"path":"a.zip","member":"sub/gamma.bin","size":100,"platform":"Unknown",)", 0),
        0u);
    EXPECT_NE(lines[1].find(R"("crc32":"663653a7","md5":)"), std::string::npos);
    EXPECT_EQ(lines[2].rfind(R"({"path":"a.zip","member":"other.bin","size":14,)", 0), 0u);
    EXPECT_EQ(ok.exitCode, 0);

    const e2e::RunResult encrypted = e2e::runQuillon({"--catalog", "e.zip"}, scratch.path());
    EXPECT_NE(encrypted.out.find(R"({"path":"e.zip","member":"gamma.bin","error":"unreadable"})"),
              std::string::npos);
    EXPECT_EQ(encrypted.exitCode, 1);
}

// The digest cache: a run that takes its digests from the cache prints what a
// run without one prints, and so do two runs that share a fresh cache at once.
class CachedRuns : public Archives {
  protected:
    void SetUp() override {
        Archives::SetUp();
        ASSERT_TRUE(shell(scratch, "zip -q a.zip sub/gamma.bin other.bin && zip -q -P secret "
                                   "e.zip gamma.bin && 7z a b.7z gamma.bin other.bin"));
        scratch.write("sub/game.nes", makeNes());
        scratch.age();
    }
    const std::vector<std::vector<std::string>> commands{
        {"--catalog", "."},
        {"--verify", "set.dat", "."},
    };
};

TEST_F(CachedRuns, PrintWhatRunsWithoutACachePrint) {
    const e2e::ScratchFolder cache;
    e2e::RunOptions cached;
    cached.cacheFolder = cache.path();
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        const e2e::RunResult reference = e2e::runQuillon(args, scratch.path());
        for (const char* run : {"cold", "warm"}) {
            const e2e::RunResult result = e2e::runQuillon(args, scratch.path(), cached);
            EXPECT_EQ(result.out, reference.out) << run;
            EXPECT_EQ(result.err, reference.err) << run;
            EXPECT_EQ(result.exitCode, reference.exitCode) << run;
        }
    }
    EXPECT_TRUE(std::filesystem::exists(cache.path() / "digests.sqlite"));
}

TEST_F(CachedRuns, TwoAtOnceBothFinishRight) {
    const e2e::ScratchFolder cache;
    e2e::RunOptions cached;
    cached.cacheFolder = cache.path();
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        const e2e::RunResult reference = e2e::runQuillon(args, scratch.path());
        e2e::RunResult other;
        std::thread second([&] { other = e2e::runQuillon(args, scratch.path(), cached); });
        e2e::RunResult first = e2e::runQuillon(args, scratch.path(), cached);
        second.join();
        for (const e2e::RunResult* result : {&first, &other}) {
            EXPECT_EQ(result->out, reference.out);
            EXPECT_EQ(result->exitCode, reference.exitCode);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(cache.path() / "digests.sqlite.broken"));
}

} // namespace
