#include <gtest/gtest.h>

#include "bps_crcs.h"
#include "hash/digests.h"
#include "patch/checked.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

struct IpsCase {
    const char* name;
    ByteList patch;
    ips::Summary expected;
};

TEST(PatchInfoIps, RecordsWritesTruncationAndCutOff) {
    const ByteList data3{1, 2, 3};
    const IpsCase cases[] = {
        {"empty patch", IpsPatch().eof().bytes(), {0, 0, 0, std::nullopt, std::nullopt}},
        {"records and a run",
         IpsPatch().record(0x10, {1, 2}).run(0x100, 5, 0xAA).record(0x8, data3).eof().bytes(),
         {3, 1, 0x105, std::nullopt, std::nullopt}},
        {"run of zero extends to its offset",
         IpsPatch().run(0x200, 0, 0).eof().bytes(),
         {1, 1, 0x200, std::nullopt, std::nullopt}},
        {"truncation",
         IpsPatch().record(0, {1}).eof().raw({0x00, 0x80, 0x00}).bytes(),
         {1, 0, 1, 0x8000, std::nullopt}},
        {"four bytes after EOF are no truncation",
         IpsPatch().record(0, {1}).eof().raw({0, 0, 0, 1}).bytes(),
         {1, 0, 1, std::nullopt, std::nullopt}},
        {"ends after its last record",
         IpsPatch().record(0x20, {1, 2, 3}).bytes(),
         {1, 0, 0x23, std::nullopt, std::nullopt}},
        {"record data cut off",
         IpsPatch().record(0, {1}).raw({0, 0, 9, 0, 4, 1, 2}).bytes(),
         {1, 0, 1, std::nullopt, 11}},
        {"run record cut off",
         IpsPatch().record(0, {1}).raw({0, 0, 9, 0, 0, 0}).bytes(),
         {1, 0, 1, std::nullopt, 11}},
        {"record header cut off", IpsPatch().raw({0, 1}).bytes(), {0, 0, 0, std::nullopt, 5}},
        {"magic only", IpsPatch().bytes(), {0, 0, 0, std::nullopt, 5}},
    };
    for (const IpsCase& c : cases) {
        const PatchSummary summary = describePatch(c.patch);
        ASSERT_EQ(formatOf(summary), PatchFormat::Ips) << c.name;
        EXPECT_EQ(std::get<ips::Summary>(summary).records, c.expected.records) << c.name;
        EXPECT_EQ(std::get<ips::Summary>(summary).runRecords, c.expected.runRecords) << c.name;
        EXPECT_EQ(std::get<ips::Summary>(summary).writesUpTo, c.expected.writesUpTo) << c.name;
        EXPECT_EQ(std::get<ips::Summary>(summary).truncatesTo, c.expected.truncatesTo) << c.name;
        EXPECT_EQ(std::get<ips::Summary>(summary).cutOffAt, c.expected.cutOffAt) << c.name;
        EXPECT_EQ(patchFits(summary, std::nullopt), !c.expected.cutOffAt.has_value()) << c.name;
    }
}

TEST(PatchInfoBps, SizesMetadataAndCrcs) {
    const Bytes source = filled(64, 0x11);
    const Bytes target = filled(80, 0x22);
    const ByteList good = withBpsCrcs(
        BpsPatch(64, 80, "<meta/>").sourceRead(64).targetRead({1}).bytes(), source, target);
    const PatchSummary summary = describePatch(good);
    ASSERT_EQ(formatOf(summary), PatchFormat::Bps);
    EXPECT_TRUE(std::get<bps::Summary>(summary).sizesReadable);
    EXPECT_EQ(std::get<bps::Summary>(summary).sourceSize, 64u);
    EXPECT_EQ(std::get<bps::Summary>(summary).targetSize, 80u);
    EXPECT_EQ(std::get<bps::Summary>(summary).metadataSize, 7u);
    EXPECT_EQ(std::get<bps::Summary>(summary).crcs.sourceCrc, crc32(source));
    EXPECT_EQ(std::get<bps::Summary>(summary).crcs.targetCrc, crc32(target));
    EXPECT_EQ(std::get<bps::Summary>(summary).crcs.patchCrc,
              std::get<bps::Summary>(summary).crcs.computedPatchCrc);
    EXPECT_TRUE(patchFits(summary, std::nullopt));

    const PatchSummary spoilt =
        describePatch(withBpsCrcs(BpsPatch(64, 80).sourceRead(64).bytes(), source, target, true));
    EXPECT_TRUE(std::get<bps::Summary>(spoilt).sizesReadable);
    EXPECT_NE(std::get<bps::Summary>(spoilt).crcs.patchCrc,
              std::get<bps::Summary>(spoilt).crcs.computedPatchCrc);
    EXPECT_FALSE(patchFits(spoilt, std::nullopt));
}

TEST(PatchInfoBps, UnreadableSizesAreNotWellFormed) {
    ByteList cutNumber{'B', 'P', 'S', '1', 0x01, 0x02}; // a number without its last byte
    cutNumber.resize(cutNumber.size() + 12, 0x00);
    ByteList overflow{'B', 'P', 'S', '1'};
    overflow.insert(overflow.end(), 11, 0x7F); // more than 64 bits
    overflow.resize(overflow.size() + 14, 0x80);
    const ByteList cases[] = {
        ByteList{'B', 'P', 'S', '1'},
        // The footer begins where the metadata size would.
        ByteList{'B', 'P', 'S', '1', 0x80, 0x80, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        cutNumber,
        overflow,
        // Metadata of 16 bytes where only the footer follows.
        ByteList{'B', 'P', 'S', '1', 0x80, 0x80, 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const ByteList& patch : cases) {
        const PatchSummary summary = describePatch(patch);
        EXPECT_EQ(formatOf(summary), PatchFormat::Bps);
        EXPECT_FALSE(std::get<bps::Summary>(summary).sizesReadable) << patch.size();
        EXPECT_EQ(matchSource(summary, {}, filled(1)), SourceMatch::No);
        EXPECT_FALSE(patchFits(summary, std::nullopt));
    }
    // The metadata may end exactly where the footer begins.
    EXPECT_TRUE(std::get<bps::Summary>(describePatch(BpsPatch(1, 1, "m").bytes())).sizesReadable);
}

TEST(PatchInfo, UnknownFormats) {
    for (const ByteList& patch :
         {ByteList{}, ByteList{'P', 'A', 'T', 'C'}, ByteList{'B', 'P', 'S', '2', 0, 0},
          ByteList{'U', 'P', 'S', '0'}, ByteList{0xD6, 0xC3}}) {
        EXPECT_EQ(formatOf(describePatch(patch)), PatchFormat::Unknown);
        EXPECT_FALSE(patchFits(describePatch(patch), std::nullopt));
    }
}

struct MatchCase {
    const char* name;
    Bytes rom;
    SourceMatch expected;
};

TEST(PatchInfoMatch, AsIsAfterStripHeaderAndAfterN64Endian) {
    const Bytes snes = makeSnes(0x8000);
    const Bytes z64 = makeNintendo64(0x1000, N64Order::Z64);
    const Bytes headered = withCopierHeader(snes, 0xEE);
    Bytes wrong = snes;
    wrong[0x100] ^= 1;

    const auto summaryFor = [](const Bytes& source) {
        return describePatch(
            withBpsCrcs(BpsPatch(source.size(), 1).targetRead({0}).bytes(), source, filled(1)));
    };
    const MatchCase snesCases[] = {
        {"as is", snes, SourceMatch::Yes},
        {"copier header", headered, SourceMatch::YesAfterStripHeader},
        {"one byte changed", wrong, SourceMatch::No},
        {"empty", Bytes{}, SourceMatch::No},
    };
    for (const MatchCase& c : snesCases) {
        EXPECT_EQ(matchSource(summaryFor(snes), {}, c.rom), c.expected) << c.name;
    }
    const MatchCase n64Cases[] = {
        {"z64", z64, SourceMatch::Yes},
        {"v64", makeNintendo64(0x1000, N64Order::V64), SourceMatch::YesAfterN64Endian},
        {"n64", makeNintendo64(0x1000, N64Order::N64), SourceMatch::YesAfterN64Endian},
    };
    for (const MatchCase& c : n64Cases) {
        EXPECT_EQ(matchSource(summaryFor(z64), {}, c.rom), c.expected) << c.name;
    }
    const PatchSummary ips = describePatch(IpsPatch().eof().bytes());
    EXPECT_EQ(matchSource(ips, {}, snes), SourceMatch::NotChecked);
    EXPECT_TRUE(patchFits(ips, SourceMatch::NotChecked));
    EXPECT_FALSE(patchFits(summaryFor(snes), SourceMatch::YesAfterStripHeader));
}

} // namespace
