#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/archive.h"
#include "hash/digests.h"
#include "io/output_file.h"
#include "organise/rebuild.h"
#include "organise/safe_name.h"
#include "organise/torrentzip.h"
#include "vectors.h"

namespace {

namespace fs = std::filesystem;
using testing_support::testData;

// Every archive the public TorrentZip tools made from the inputs beside it.
TEST(TorrentZip, SameBytesAsThePublicTools) {
    const fs::path root = fs::path(QUILLON_TEST_DATA_DIR) / "torrentzip";
    int archives = 0;
    for (const auto& entry : fs::directory_iterator(root / "inputs")) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        std::vector<Bytes> contents;
        std::vector<std::string> names;
        for (const auto& file : fs::recursive_directory_iterator(entry.path())) {
            if (file.is_regular_file()) {
                names.push_back(fs::relative(file.path(), entry.path()).generic_string());
                contents.push_back(readFile(file.path().string()).value_or(Bytes{}));
            }
        }
        std::vector<TorrentZipMember> members;
        for (std::size_t i = 0; i < names.size(); ++i) {
            members.push_back({names[i], contents[i]});
        }
        const std::optional<Bytes> zip = writeTorrentZip(members);
        ASSERT_TRUE(zip);
        const std::vector<std::uint8_t> expected =
            testData(fs::path("torrentzip") / (name + ".zip"));
        EXPECT_TRUE(std::equal(zip->begin(), zip->end(), expected.begin(), expected.end()));
        ++archives;
    }
    EXPECT_EQ(archives, 8);
}

// What the writer stores, the listing and the archive reader give back.
TEST(TorrentZip, ListingAndReaderGiveTheMembersBack) {
    const Bytes a(1000, 0x41);
    const Bytes empty;
    const std::vector<TorrentZipMember> members{{"b/Z.bin", a}, {"a.bin", empty}, {"é.bin", a}};
    const Bytes zip = writeTorrentZip(members).value();
    const fs::path path = fs::temp_directory_path() / "quillon-organise-listing.zip";
    ASSERT_TRUE(writeFile(path.string(), zip));
    const std::optional<ZipListing> listing =
        readZipListing(InputFile::open(path.string()).value());
    fs::remove(path);
    ASSERT_TRUE(listing);
    EXPECT_TRUE(listing->torrentZip);
    std::vector<std::string> listed;
    for (const ZipEntry& entry : listing->entries) {
        listed.push_back(entry.name + ":" + std::to_string(entry.size));
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"a.bin:0", "b/Z.bin:1000", "é.bin:1000"}));
    std::vector<std::string> read;
    forEachArchiveMember(zip, [&](ArchiveMember& member) {
        read.push_back(member.name + ":" + std::to_string(member.bytes.size()));
    });
    EXPECT_EQ(read, listed);
}

TEST(TorrentZip, ListingRefusesWhatIsNoZipAndMarksAPlainOne) {
    const fs::path path = fs::temp_directory_path() / "quillon-organise-plain.zip";
    Bytes zip = writeTorrentZip({{"a.bin", Bytes(10, 1)}}).value();
    zip[zip.size() - 1] ^= 1; // the comment no longer names the directory's CRC
    ASSERT_TRUE(writeFile(path.string(), zip));
    const std::optional<ZipListing> altered =
        readZipListing(InputFile::open(path.string()).value());
    ASSERT_TRUE(altered);
    EXPECT_FALSE(altered->torrentZip);
    ASSERT_TRUE(writeFile(path.string(), Bytes(100, 'P')));
    EXPECT_FALSE(readZipListing(InputFile::open(path.string()).value()));
    fs::remove(path);
}

TEST(SafeName, TableOfNames) {
    const struct {
        const char* name;
        bool folders;
        bool safe;
    } rows[] = {
        {"Game (USA).nes", false, true},
        {"disc/track01.bin", true, true},
        {"disc/track01.bin", false, false},
        {"", true, false},
        {"/etc/passwd", true, false},
        {"C:evil.bin", true, false},
        {"../up.bin", true, false},
        {"a/./b.bin", true, false},
        {"a//b.bin", true, false},
        {"tab\there.bin", true, false},
        {"what?.bin", true, false},
        {"pipe|.bin", true, false},
        {"quote\".bin", true, false},
        {"trailing.", true, false},
        {"trailing ", true, false},
        {"CON", false, false},
        {"nul.txt", false, false},
        {"sub/Com1.bin", true, false},
        {"LPT9", false, false},
        {"COM0.bin", false, true},
        {"CONSOLE.bin", false, true},
        {"back\\slash.bin", true, false},
        {"ポケモン (Japan).gb", false, true},
        {"\xff.bin", false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isSafeName(row.name, row.folders), row.safe) << row.name;
    }
}

} // namespace

namespace {

// A source read again when its game is written: as scanned, it is written;
// changed since (same size, other bytes) or gone, nothing of the game is.
TEST(Rebuild, SourceReadAgainBeforeItIsWritten) {
    const Bytes rom(600, 0x5A);
    Dat dat;
    dat.games.push_back({"Game (USA)", 0, 1});
    DatRom entry;
    entry.name = "Game (USA).bin";
    entry.size = rom.size();
    const Digests digests = computeDigests(rom);
    entry.crc32 = digests.crc32;
    entry.sha1 = digests.sha1;
    dat.roms.push_back(entry);
    const struct {
        const char* change;
        TargetStatus status;
    } rows[] = {{"none", TargetStatus::Written},
                {"same size, other bytes", TargetStatus::Unreadable},
                {"gone", TargetStatus::Unreadable}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.change);
        const fs::path folder = fs::temp_directory_path() / "quillon-rebuild-source";
        fs::remove_all(folder);
        fs::create_directories(folder / "out");
        const std::string source = (folder / "rom.bin").string();
        ASSERT_TRUE(writeFile(source, rom));
        RomSource scanned{source, std::nullopt, false, 0, rom.size(), digests.crc32, digests.sha1};
        if (std::string_view(row.change) == "gone") {
            fs::remove(source);
        } else if (std::string_view(row.change) != "none") {
            ASSERT_TRUE(writeFile(source, Bytes(600, 0x5B)));
        }
        RebuildOptions options;
        options.out = (folder / "out").string();
        std::vector<GameOutcome> outcomes;
        rebuildGames(dat, {scanned}, options,
                     [&](const GameOutcome& outcome) { outcomes.push_back(outcome); });
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_EQ(outcomes[0].status, row.status);
        EXPECT_EQ(fs::exists(folder / "out" / "Game (USA).zip"),
                  row.status == TargetStatus::Written);
        fs::remove_all(folder);
    }
}

} // namespace
