#include "archive/archive.h"
#include "io/input_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive_builders.h"

using namespace testing_support;

namespace {

std::string archivePath(const std::string& name) {
    return std::string(QUILLON_TEST_DATA_DIR) + "/archives/" + name;
}

std::vector<std::uint8_t> readArchive(const std::string& name) {
    const Bytes image = readFile(archivePath(name)).value_or(Bytes{});
    return {image.begin(), image.end()};
}

// What tests/data/archives/make.sh puts in the members: `seq` output.
std::string seqText(int first, int step, int last) {
    std::string text;
    for (int n = first; step > 0 ? n <= last : n >= last; n += step) {
        text += std::to_string(n) + "\n";
    }
    return text;
}
const std::string kOne = seqText(1, 1, 1500);
const std::string kTwo = seqText(2000, -1, 1000);

struct Seen {
    std::string name;
    std::optional<std::string> content; // none: unreadable
    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& seen, std::ostream* out) {
    *out << seen.name
         << (seen.content ? " (" + std::to_string(seen.content->size()) + " bytes)"
                          : " (unreadable)");
}

struct Listing {
    bool complete = false;
    std::vector<Seen> members;
};

Listing list(std::span<const std::uint8_t> archive) {
    Listing listing;
    listing.complete = forEachArchiveMember(archive, [&](ArchiveMember& member) {
        Seen seen{member.name, std::nullopt};
        if (member.readable) {
            seen.content = std::string(member.bytes.begin(), member.bytes.end());
        } else {
            EXPECT_TRUE(member.bytes.empty()) << member.name;
        }
        listing.members.push_back(seen);
    });
    return listing;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

struct ArchiveCase {
    const char* file;
    std::vector<Seen> members;
};

void PrintTo(const ArchiveCase& c, std::ostream* out) {
    *out << c.file;
}

class ArchiveFiles : public testing::TestWithParam<ArchiveCase> {};

// Every member in stored order, folders left out, names as stored (UTF-8),
// each codec giving back the exact bytes; encrypted members unreadable
// beside readable ones; a nested archive returned as its own bytes.
TEST_P(ArchiveFiles, MembersInStoredOrder) {
    const ArchiveCase& c = GetParam();
    const std::vector<std::uint8_t> archive = readArchive(c.file);
    ASSERT_FALSE(archive.empty());
    EXPECT_TRUE(isArchive(archive));
    const Listing listing = list(archive);
    EXPECT_TRUE(listing.complete);
    EXPECT_EQ(listing.members, c.members);
}

std::string fileText(const char* name) {
    const std::vector<std::uint8_t> bytes = readArchive(name);
    return {bytes.begin(), bytes.end()};
}

INSTANTIATE_TEST_SUITE_P(
    Archive, ArchiveFiles,
    testing::Values(ArchiveCase{"methods.zip", // stored, deflate, bzip2 in a subfolder, deflate
                                {{"one.bin", kOne},
                                 {"two.bin", kTwo},
                                 {"sub/folder/deep.bin", kOne},
                                 {"\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.gb", kTwo}}},
                    ArchiveCase{"lzma.zip", {{"one.bin", kOne}}},
                    ArchiveCase{"lzma.7z", {{"one.bin", kOne}, {"two.bin", kTwo}}},
                    ArchiveCase{"lzma2.7z",
                                {{"one.bin", kOne},
                                 {"sub/folder/deep.bin", kOne},
                                 {"\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.gb", kTwo}}},
                    ArchiveCase{"ppmd.7z", {{"one.bin", kOne}}},
                    ArchiveCase{"bcj.7z", {{"one.bin", kOne}}},
                    ArchiveCase{"encrypted.zip", {{"one.bin", std::nullopt}, {"two.bin", kTwo}}},
                    ArchiveCase{"encrypted.7z", {{"one.bin", std::nullopt}}},
                    ArchiveCase{"nested.zip",
                                {{"inner.7z", fileText("lzma.7z")}, {"two.bin", kTwo}}}),
    [](const testing::TestParamInfo<ArchiveCase>& info) {
        std::string name = info.param.file;
        for (char& c : name) {
            c = c == '.' ? '_' : c;
        }
        return name;
    });

TEST(Archive, ReadsNonAsciiNamesWithoutChangingTheLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const Listing listing = list(readArchive("lzma2.7z"));
    ASSERT_EQ(listing.members.size(), 3u);
    EXPECT_EQ(listing.members[2].name, "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.gb");
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}

TEST(Archive, ZipZstdMember) {
    const std::string expected = "QUILLON " + std::string(100, 'Z');
    const std::vector<std::uint8_t> zip =
        makeZip({{"zstd.bin", 93, makeZstdFrame("QUILLON ", 'Z', 100), bytesOf(expected), {}},
                 {"plain.bin", 0, bytesOf("plain"), bytesOf("plain"), {}}});
    const Listing listing = list(zip);
    EXPECT_TRUE(listing.complete);
    EXPECT_EQ(listing.members, (std::vector<Seen>{{"zstd.bin", expected}, {"plain.bin", "plain"}}));
}

// Without the UTF-8 flag a name is taken as UTF-8 when it is valid UTF-8 (as
// zip writes names on Linux), else in code page 437, the format's default.
TEST(Archive, ZipNamesWithoutTheUtf8Flag) {
    const std::vector<std::uint8_t> zip = makeZip({
        {"M\x81nchen.bin", 0, bytesOf("a"), bytesOf("a"), {}, false},
        {"\xE3\x82\xB2.bin", 0, bytesOf("b"), bytesOf("b"), {}, false},
    });
    const Listing listing = list(zip);
    EXPECT_EQ(listing.members,
              (std::vector<Seen>{{"M\xC3\xBCnchen.bin", "a"}, {"\xE3\x82\xB2.bin", "b"}}));
}

// A member declaring 4 GiB is refused before a byte is decompressed; one just
// below the limit is only refused when its data does not hold up.
TEST(Archive, MemberOfFourGiBIsNotExpanded) {
    const std::vector<std::uint8_t> emptyDeflate{0x03, 0x00};
    const std::vector<std::uint8_t> zip = makeZip({
        {"huge.bin", 8, emptyDeflate, {}, std::uint64_t{1} << 32},
        {"after.bin", 0, bytesOf("after"), bytesOf("after"), {}},
    });
    const Listing listing = list(zip);
    EXPECT_EQ(listing.members,
              (std::vector<Seen>{{"huge.bin", std::nullopt}, {"after.bin", "after"}}));
}

// Offset of the data of the zip's index-th local header (no data
// descriptors: the sizes are in the header).
std::size_t zipDataOffset(const std::vector<std::uint8_t>& zip, int index) {
    const auto le16 = [&](std::size_t at) { return std::size_t(zip[at] | (zip[at + 1] << 8)); };
    const auto le32 = [&](std::size_t at) { return le16(at) | (le16(at + 2) << 16); };
    std::size_t at = 0;
    for (int i = 0;; ++i) {
        const std::size_t data = at + 30 + le16(at + 26) + le16(at + 28);
        if (i == index) {
            return data;
        }
        at = data + le32(at + 18);
    }
}

// A damaged member is unreadable; the members after it are still read,
// also after a damage that stops the decompressor for good.
TEST(Archive, CorruptMembers) {
    const std::vector<std::uint8_t> good = readArchive("methods.zip");
    ASSERT_FALSE(good.empty());
    std::vector<std::uint8_t> badCrc = good; // one stored byte changed
    badCrc[zipDataOffset(good, 0) + 100] ^= 0x01;
    std::vector<std::uint8_t> badStream = good; // the deflate stream broken
    for (std::size_t i = 0; i < 64; ++i) {
        badStream[zipDataOffset(good, 1) + 2 + i] = 0xFF;
    }
    const std::string japanese = "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.gb";
    EXPECT_EQ(list(badCrc).members, (std::vector<Seen>{{"one.bin", std::nullopt},
                                                       {"two.bin", kTwo},
                                                       {"sub/folder/deep.bin", kOne},
                                                       {japanese, kTwo}}));
    EXPECT_EQ(list(badStream).members, (std::vector<Seen>{{"one.bin", kOne},
                                                          {"two.bin", std::nullopt},
                                                          {"sub/folder/deep.bin", kOne},
                                                          {japanese, kTwo}}));
}

// Whatever the damage, a member is either its true content or unreadable.
TEST(Archive, DamagedArchivesNeverYieldWrongBytes) {
    for (const char* file : {"methods.zip", "lzma.7z", "lzma2.7z", "ppmd.7z", "bcj.7z"}) {
        const std::vector<std::uint8_t> good = readArchive(file);
        ASSERT_FALSE(good.empty());
        for (std::size_t cut : {good.size() / 3, good.size() / 2, good.size() - 10}) {
            std::vector<std::uint8_t> damaged = good;
            damaged[cut] ^= 0x55;
            for (const auto& input :
                 {damaged, std::vector<std::uint8_t>(good.begin(), good.begin() + long(cut))}) {
                for (const Seen& seen : list(input).members) {
                    if (seen.content) {
                        EXPECT_TRUE(*seen.content == kOne || *seen.content == kTwo)
                            << file << " cut at " << cut << ": " << seen.name;
                    }
                }
            }
        }
    }
}

TEST(Archive, RecognisedByContent) {
    struct Row {
        std::vector<std::uint8_t> head;
        bool archive;
    };
    const std::vector<Row> rows{
        {{'P', 'K', 3, 4, 0x14, 0}, true},
        {{'P', 'K', 5, 6}, true}, // a zip without members
        {{'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4}, true},
        {{'P', 'K', 3}, false},
        {{'P', 'K', 1, 2}, false},
        {{'7', 'z', 0xBC, 0xAF, 0x27}, false},
        {{'N', 'E', 'S', 0x1A}, false},
        {{}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(isArchive(row.head), row.archive) << row.head.size();
    }
    EXPECT_FALSE(isArchive(readFile(archivePath("make.sh")).value_or(Bytes{})));
}

TEST(Archive, NonArchivesAreNotOpened) {
    int visits = 0;
    const auto count = [&](ArchiveMember&) { ++visits; };
    EXPECT_FALSE(forEachArchiveMember(bytesOf("NES\x1A not an archive at all"), count));
    EXPECT_FALSE(forEachArchiveMember({}, count));
    EXPECT_FALSE(forEachArchiveMember(bytesOf("PK\x03\x04"), count));
    EXPECT_EQ(visits, 0);
    // An empty zip is an archive with nothing in it.
    EXPECT_TRUE(forEachArchiveMember(makeZip({}), count));
    EXPECT_EQ(visits, 0);
}

} // namespace
