#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "archive_builders.h"
#include "e2e/harness.h"
#include "rom_builders.h"

#include <sys/stat.h>

using namespace testing_support;

namespace {

// Every line goes through Python's own JSON parser and every digest is
// recomputed with its hashlib and zlib, over the whole file and over the
// bytes after the header the record says it skips. The script prints one
// line per record: path, platform and skip, each as JSON.
constexpr const char* checker = R"(
import hashlib, json, os, sys, zlib
keys = ["path", "size", "platform", "platformName", "title", "gameCode", "copierHeader",
        "checksumValid", "details", "crc32", "md5", "sha1", "sha256", "headerless"]
def check(record, data):
    assert record["crc32"] == "%08x" % zlib.crc32(data), record
    assert record["md5"] == hashlib.md5(data).hexdigest(), record
    assert record["sha1"] == hashlib.sha1(data).hexdigest(), record
    assert record["sha256"] == hashlib.sha256(data).hexdigest(), record
text = open(sys.argv[1], "rb").read().decode("utf-8")
assert text == "" or text.endswith("\n")
for line in text.splitlines():
    record = json.loads(line)
    path = record["path"]
    if "error" in record:
        assert list(record) == ["path", "error"] and record["error"] == "unreadable"
        print(json.dumps(path), "error")
        continue
    if "member" in record:
        assert list(record) == keys[:1] + ["member"] + keys[1:], list(record)
        print(json.dumps(path), record["platform"], json.dumps(record["member"]))
        continue
    assert list(record) == keys, list(record)
    # A name with bytes that are not UTF-8 comes back as escapes; it is not reopened.
    full = os.path.join(sys.argv[2], path)
    data = open(full, "rb").read() if os.path.exists(full) else None
    headerless = record["headerless"]
    if data is not None:
        assert record["size"] == len(data)
        check(record, data)
        if headerless is not None:
            assert list(headerless) == ["skip", "size", "crc32", "md5", "sha1", "sha256"]
            assert headerless["size"] == len(data[headerless["skip"]:])
            check(headerless, data[headerless["skip"]:])
    print(json.dumps(path), record["platform"], None if headerless is None else headerless["skip"],
          json.dumps(record["gameCode"]))
)";

// The checker's lines for the catalogue printed in folder.
std::string checked(const e2e::ScratchFolder& scratch, const std::string& out) {
    {
        std::ofstream(scratch.path() / "out.jsonl", std::ios::binary) << out;
        std::ofstream(scratch.path() / "check.py", std::ios::binary) << checker;
    }
    const std::string folder = scratch.path().string();
    const std::string command =
        "cd '" + folder + "' && python3 check.py out.jsonl . > checked.txt 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(scratch.path() / "checked.txt", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return status == 0 ? text : "checker failed: " + text;
}

class Catalog : public ::testing::Test {
  protected:
    e2e::ScratchFolder scratch;
};

TEST_F(Catalog, WalksInByteOrderHashesAndSkipsDatabaseHeaders) {
    std::filesystem::create_directories(scratch.path() / "roms" / "sub");
    scratch.write("roms/b.smc", makeSnes(0x8000, false, true, "HEADERED"));
    scratch.write("roms/B.gb", makeGameBoy());
    scratch.write("roms/sub/c.nes", makeNes(1, 1, 0x04)); // trainer flag
    scratch.write("roms/a.md", makeGenesis());
    scratch.write("roms/empty.bin", Bytes{});
    scratch.write("one.z64", makeNintendo64());
    // 32 KiB and more, but no cartridge image: the text and the archive reach
    // the Super Nintendo inspector and find no credible header there.
    std::string text;
    while (text.size() < 0x9000) {
        text += "game ( name \"Some Game (World)\" rom ( name x.bin size 4 crc 12345678 ) )\n";
    }
    scratch.write("roms/set.dat", Bytes(text.begin(), text.end()));
    const Bytes image = makeSnes(0x8000, false, false, "ZIPPED");
    const std::vector<std::uint8_t> member(image.begin(), image.end());
    scratch.write("roms/set.zip",
                  makeZip({ZipMember{"in.sfc", 0, member, member, std::nullopt, true}}));
    if (!e2e::underLauncher()) {
        // Wine shows a host link as what it points to, and has no FIFOs.
        std::filesystem::create_symlink("B.gb", scratch.path() / "roms" / "link.gb");
        std::filesystem::create_directory_symlink("sub", scratch.path() / "roms" / "linked");
        ASSERT_EQ(::mkfifo((scratch.path() / "roms" / "pipe").c_str(), 0600), 0);
    }
    const e2e::RunResult result =
        e2e::runQuillon({"--catalog", "roms/", "missing.sfc", "one.z64"}, scratch.path());
    EXPECT_EQ(checked(scratch, result.out), "\"roms/B.gb\" GameBoy None \"\"\n"
                                            "\"roms/a.md\" Genesis None \"\"\n"
                                            "\"roms/b.smc\" Snes 512 \"\"\n"
                                            "\"roms/empty.bin\" Unknown None \"\"\n"
                                            "\"roms/set.dat\" Unknown None \"\"\n"
                                            "\"roms/set.zip\" Unknown None \"\"\n"
                                            "\"roms/set.zip\" Snes \"in.sfc\"\n"
                                            "\"roms/sub/c.nes\" Nes 528 \"\"\n"
                                            "\"missing.sfc\" error\n"
                                            "\"one.z64\" Nintendo64 None \"\"\n");
    EXPECT_EQ(result.err, ""); // no progress line when standard error is no terminal
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("{\"path\":\"missing.sfc\",\"error\":\"unreadable\"}\n"),
              std::string::npos);
}

TEST_F(Catalog, EveryFileReadExitsZero) {
    scratch.write("a.gb", makeGameBoy());
    const e2e::RunResult result = e2e::runQuillon({"--catalog", "a.gb", "."}, scratch.path());
    EXPECT_EQ(checked(scratch, result.out), "\"a.gb\" GameBoy None \"\"\n"
                                            "\"./a.gb\" GameBoy None \"\"\n");
    EXPECT_EQ(result.exitCode, 0);
}

TEST_F(Catalog, HostileHeaderTextsAndNamesStayOneValidLine) {
    Bytes gba = makeGameBoyAdvance(0x400, "QUILLON", "");
    put(gba, 0xAC, {'\n', '"', 0xFF, '\\'});
    scratch.write("gba.gba", gba);
    std::string expected = "\"gba.gba\" GameBoyAdvance None \"\\n\\\"\\u00ff\\\\\"\n";
    std::vector<std::string> args{"--catalog", "gba.gba"};
    if (!e2e::underLauncher()) {
        scratch.write("new\nline\xFF\"q\".gb", makeGameBoy());
        args.push_back("new\nline\xFF\"q\".gb");
        expected += "\"new\\nline\\u00ff\\\"q\\\".gb\" GameBoy None \"\"\n";
    }
    const e2e::RunResult result = e2e::runQuillon(args, scratch.path());
    EXPECT_EQ(checked(scratch, result.out), expected);
    EXPECT_EQ(result.exitCode, 0);
}

} // namespace
