#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "cli/commands.h"
#include "dat/dat.h"
#include "hash/digests.h"
#include "rom_builders.h"
#include "verify/verify.h"

using namespace testing_support;

namespace {

// A candidate as the walk makes it for matching.
CatalogRecord candidate(std::string path, std::span<const std::uint8_t> bytes) {
    CatalogRecord record;
    record.path = std::move(path);
    record.state = ItemState::Read;
    record.size = bytes.size();
    record.digests = computeDigests(bytes);
    if (const auto skip = skipperHeaderSize(RomInfo{}, bytes)) {
        const auto rest =
            bytes.subspan(static_cast<std::size_t>(std::min<std::uint64_t>(*skip, bytes.size())));
        record.headerless = HeaderlessDigests{*skip, rest.size(), computeDigests(rest)};
    }
    return record;
}

std::string hex(std::span<const std::uint8_t> digest) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const std::uint8_t b : digest) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

// Adds a ROM entry with the size, CRC-32 and SHA-1 of bytes.
void addRom(DatBuilder& dat, std::string_view name, std::span<const std::uint8_t> bytes,
            std::string_view status = "") {
    const Digests d = computeDigests(bytes);
    ASSERT_TRUE(dat.beginRom());
    std::array<std::uint8_t, 4> crc{
        static_cast<std::uint8_t>(d.crc32 >> 24), static_cast<std::uint8_t>(d.crc32 >> 16),
        static_cast<std::uint8_t>(d.crc32 >> 8), static_cast<std::uint8_t>(d.crc32)};
    ASSERT_TRUE(dat.romField("name", name));
    ASSERT_TRUE(dat.romField("size", std::to_string(bytes.size())));
    ASSERT_TRUE(dat.romField("crc", hex(crc)));
    ASSERT_TRUE(dat.romField("sha1", hex(d.sha1)));
    ASSERT_TRUE(dat.romField("status", status));
}

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
    return image;
}

class Verify : public ::testing::Test {
  protected:
    // Game "Nes Game": its headerless image; "Snes Game": its cartridge
    // without copier header; "Two Part": two ROMs, one a bad dump, plus a
    // nodump; "Lost": nodump only.
    void SetUp() override {
        DatBuilder builder;
        builder.setName("Test Set");
        builder.beginGame("Nes Game");
        addRom(builder, "nes.nes", std::span(nes).subspan(16));
        builder.beginGame("Snes Game");
        addRom(builder, "snes.sfc", cartridge);
        builder.beginGame("Two Part");
        addRom(builder, "a.bin", partA);
        addRom(builder, "b.bin", partB, "baddump");
        addRom(builder, "c.bin", filled(4), "nodump");
        builder.beginGame("Lost");
        addRom(builder, "lost.bin", filled(8), "nodump");
        builder.beginGame("Shares A");
        addRom(builder, "shared.bin", partA, "verified");
        builder.endGame();
        dat = builder.finish();
    }

    Bytes nes = makeNes(1, 1);
    Bytes cartridge = makeSnes(0x8000);
    Bytes partA = pattern(1000, 5);
    Bytes partB = pattern(2000, 6);
    Dat dat;
};

TEST_F(Verify, MatchesWholeOrWithoutTheHeader) {
    Verifier verifier(dat);
    const Bytes withCopier = withCopierHeader(cartridge, 0);
    struct Case {
        const char* name;
        CatalogRecord record;
        bool matched;
        std::string_view rom;
        bool headerless;
        bool named;
    };
    const Case cases[] = {
        {"headered NES", candidate("roms/nes.nes", nes), true, "nes.nes", true, true},
        {"headerless NES", candidate("x/other.nes", std::span(nes).subspan(16)), true, "nes.nes",
         false, false},
        {"SNES with copier header", candidate("snes.smc", withCopier), true, "snes.sfc", true,
         false},
        {"SNES without", candidate("snes.sfc", cartridge), true, "snes.sfc", false, true},
        {"a stranger", candidate("z.bin", pattern(999, 9)), false, "", false, false},
    };
    for (const Case& c : cases) {
        const CandidateVerdict verdict = verifier.add(c.record);
        EXPECT_EQ(verdict.matched, c.matched) << c.name;
        if (c.matched) {
            EXPECT_EQ(dat.roms[verdict.rom].name, c.rom) << c.name;
            EXPECT_EQ(verdict.headerless, c.headerless) << c.name;
            EXPECT_EQ(verdict.named, c.named) << c.name;
        }
    }
}

TEST_F(Verify, SizeAndCrcNeverSufficeWhereTheDatGivesMore) {
    // An entry with this file's size and CRC-32 but another file's SHA-1, as
    // a CRC-32 collision would show.
    DatBuilder builder;
    builder.beginGame("Collision");
    const Bytes file = pattern(64, 1);
    addRom(builder, "c.bin", file);
    ASSERT_TRUE(builder.romField("sha1", hex(computeDigests(pattern(64, 2)).sha1)));
    builder.endGame();
    const Dat collision = builder.finish();
    Verifier verifier(collision);
    EXPECT_FALSE(verifier.add(candidate("c.bin", file)).matched);
    EXPECT_FALSE(verifier.allGood());
}

TEST_F(Verify, TalliesGamesAndCandidates) {
    Verifier verifier(dat);
    // partA twice: one ROM had, counted once, in both games that list it.
    const CandidateVerdict first = verifier.add(candidate("shared.bin", partA));
    EXPECT_EQ(dat.roms[first.rom].name, "shared.bin") << "its own name wins";
    EXPECT_EQ(dat.roms[verifier.add(candidate("copy.bin", partA)).rom].name, "a.bin")
        << "else the first in DAT order";
    EXPECT_TRUE(verifier.allGood());
    verifier.add(candidate("b.bin", partB));
    EXPECT_FALSE(verifier.allGood()) << "a bad dump";
    CatalogRecord unreadable;
    unreadable.path = "gone.bin";
    EXPECT_FALSE(verifier.add(unreadable).matched);

    const std::vector<IncompleteGame> incomplete = verifier.incompleteGames();
    ASSERT_EQ(incomplete.size(), 2u);
    EXPECT_EQ(dat.games[incomplete[0].game].name, "Nes Game");
    EXPECT_EQ(incomplete[0].have, 0u);
    ASSERT_EQ(incomplete[0].missing.size(), 1u);
    EXPECT_EQ(dat.games[incomplete[1].game].name, "Snes Game");

    const VerifySummary s = verifier.summary();
    EXPECT_EQ(s.games, 4u) << "the nodump-only game is left out";
    EXPECT_EQ(s.complete, 2u) << "Two Part needs no nodump";
    EXPECT_EQ(s.partial, 0u);
    EXPECT_EQ(s.missing, 2u);
    EXPECT_EQ(s.files, 4u);
    EXPECT_EQ(s.matched, 3u);
    EXPECT_EQ(s.unknown, 0u);
    EXPECT_EQ(s.badDumps, 1u);
    EXPECT_EQ(s.unreadable, 1u);
}

TEST_F(Verify, MatchesEntriesWithoutACrc) {
    DatBuilder builder;
    builder.beginGame("Hashes only");
    const Bytes a = pattern(10, 1);
    const Bytes b = pattern(11, 2);
    ASSERT_TRUE(builder.beginRom());
    ASSERT_TRUE(builder.romField("md5", hex(computeDigests(a).md5)));
    ASSERT_TRUE(builder.beginRom());
    ASSERT_TRUE(builder.romField("sha256", hex(computeDigests(b).sha256)));
    builder.endGame();
    const Dat hashes = builder.finish();
    Verifier verifier(hashes);
    EXPECT_TRUE(verifier.add(candidate("a", a)).matched);
    EXPECT_TRUE(verifier.add(candidate("b", b)).matched);
    EXPECT_FALSE(verifier.add(candidate("c", pattern(10, 3))).matched);
    EXPECT_EQ(verifier.summary().complete, 1u);
}

TEST(VerifyHumanLine, GroupsThousandsAndCountsInTheSingular) {
    VerifySummary s;
    s.games = 1300;
    s.complete = 1234;
    s.partial = 3;
    s.missing = 63;
    s.unknown = 2;
    s.badDumps = 1;
    EXPECT_EQ(verifyHumanLine(s),
              "1,234 of 1,300 games complete; 3 partial; 63 missing; 2 unknown files; 1 bad dump");
    s = VerifySummary{};
    s.games = 1000000;
    s.unknown = 1;
    s.badDumps = 2;
    s.unreadable = 1;
    EXPECT_EQ(verifyHumanLine(s),
              "0 of 1,000,000 games complete; 0 partial; 0 missing; 1 unknown file; "
              "2 bad dumps; 1 unreadable file");
}

TEST(OwnName, DropsTheFolders) {
    EXPECT_EQ(ownName("a/b/c.nes"), "c.nes");
    EXPECT_EQ(ownName("c.nes"), "c.nes");
    EXPECT_EQ(ownName("dir/"), "");
}

} // namespace
