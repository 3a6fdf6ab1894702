#include <gtest/gtest.h>

#include <limits>

#include "patch/checked.h"
#include "patch/formats.h"
#include "patch/ups.h"
#include "rom_builders.h"
#include "ups_builder.h"
#include "vectors.h"

using namespace testing_support;

namespace {

// The creator's exact bytes: both sides padded with zeros to the larger size,
// each maximal run of differing positions one hunk whose terminator stands
// for the first equal position after it.
TEST(UpsCreate, CanonicalHunks) {
    struct Case {
        const char* name;
        Bytes original;
        Bytes modified;
        UpsPatch expected;
    };
    const Case cases[] = {
        {"identical", imageOf({1, 2, 3}), imageOf({1, 2, 3}), UpsPatch(3, 3)},
        {"one byte", imageOf({1, 2, 3, 4}), imageOf({1, 9, 3, 4}), UpsPatch(4, 4).hunk(1, {0x0B})},
        {"two runs", imageOf({1, 2, 3, 4, 5, 6}), imageOf({7, 2, 3, 8, 8, 6}),
         UpsPatch(6, 6).hunk(0, {0x06}).hunk(1, {0x0C, 0x0D})},
        {"runs one equal byte apart", imageOf({0, 0, 0}), imageOf({1, 0, 1}),
         UpsPatch(3, 3).hunk(0, {1}).hunk(0, {1})},
        {"last byte", imageOf({1, 2}), imageOf({1, 3}), UpsPatch(2, 2).hunk(1, {1})},
        {"grow past zeros", imageOf({1, 2}), imageOf({1, 2, 0, 5}), UpsPatch(2, 4).hunk(3, {5})},
        {"shrink", imageOf({1, 2, 3, 4}), imageOf({1, 2}), UpsPatch(4, 2).hunk(2, {3, 4})},
        {"skip of two bytes", filled(200),
         [] {
             Bytes m = filled(200);
             m[150] = 0x40;
             return m;
         }(),
         UpsPatch(200, 200).raw({0x16, 0x80, 0x40, 0x00})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<Bytes> patch = ups::create(c.original, c.modified);
        ASSERT_TRUE(patch.has_value());
        EXPECT_EQ(toBytes(*patch), c.expected.bytes(c.original, c.modified));
    }
    EXPECT_FALSE(ups::create(Bytes{}, imageOf({1})).has_value());
}

TEST(UpsSummary, SizesAndFooter) {
    const Bytes source = filled(300, 1);
    const Bytes target = filled(20, 2);
    const ByteList patch = UpsPatch(300, 20).hunk(0, {3}).bytes(source, target);
    const ups::Summary s = ups::describe(patch);
    EXPECT_TRUE(s.sizesReadable);
    EXPECT_EQ(s.sourceSize, 300u);
    EXPECT_EQ(s.targetSize, 20u);
    EXPECT_EQ(s.hunksAt, 7u);
    EXPECT_EQ(s.crcs.sourceCrc, crc32(source));
    EXPECT_EQ(s.crcs.targetCrc, crc32(target));
    EXPECT_EQ(s.crcs.patchCrc, crc32(std::span<const std::uint8_t>(patch).first(patch.size() - 4)));
    EXPECT_EQ(s.crcs.patchCrc, s.crcs.computedPatchCrc);
    // A size cut off by the footer, and no room for a footer at all.
    ByteList cut{'U', 'P', 'S', '1', 0x81, 0x01};
    cut.resize(cut.size() + 12, 0x80);
    EXPECT_FALSE(ups::describe(cut).sizesReadable);
    EXPECT_FALSE(ups::describe(ByteList{'U', 'P', 'S', '1', 0x80, 0x80}).sizesReadable);
}

TEST(UpsHunks, ReadsAndWritesOutsideTheSides) {
    struct Case {
        const char* name;
        Bytes input;
        UpsPatch patch;
        std::uint64_t outputSize;
        std::optional<Bytes> expected;
    };
    const Case cases[] = {
        {"beyond the input reads 0", imageOf({1}), UpsPatch(1, 3).hunk(2, {7}), 3,
         imageOf({1, 0, 7})},
        {"beyond the output is dropped", imageOf({1, 2, 3}), UpsPatch(3, 1).hunk(1, {2, 3}), 1,
         imageOf({1})},
        {"terminator keeps its byte", imageOf({1, 2, 3}), UpsPatch(3, 3).hunk(0, {1}).hunk(0, {1}),
         3, imageOf({0, 2, 2})},
        {"XOR bytes without terminator", imageOf({1}), UpsPatch(1, 1).raw({0x80, 0x05}), 1,
         std::nullopt},
        {"skip cut off", imageOf({1}), UpsPatch(1, 1).raw({0x00}), 1, std::nullopt},
        {"skip beyond 64 bits", imageOf({1}),
         UpsPatch(1, 1).raw(
             {0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x7F, 0x80}),
         1, std::nullopt},
        {"position wraps", imageOf({1}),
         UpsPatch(1, 1).hunk(std::numeric_limits<std::uint64_t>::max() - 1, {1}), 1, std::nullopt},
        {"output over 4 GiB", imageOf({1}), UpsPatch(1, 1), (std::uint64_t{1} << 32) + 1,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ByteList patch = c.patch.bytes(0, 0);
        const std::optional<Bytes> out =
            ups::applyHunks(c.input, patch, ups::describe(patch).hunksAt, c.outputSize);
        EXPECT_EQ(out, c.expected);
    }
}

// Created patches turn the original into the modified image and, applied to
// the modified image, back again.
TEST(UpsRoundTrip, ForwardsAndBackwards) {
    struct Pair {
        std::string name;
        Bytes original;
        Bytes modified;
    };
    std::vector<Pair> pairs{
        {"grow", imageOf({1, 2, 3}), imageOf({1, 7, 3, 0, 0, 9})},
        {"shrink", imageOf({1, 2, 3, 4, 5}), imageOf({6, 2})},
        {"identical", imageOf({1, 2, 3}), imageOf({1, 2, 3})},
    };
    forEachVectorPatch(".bps", [&](const Bytes& source, const Bytes&, const Bytes& target) {
        pairs.push_back({"vector", source, target});
    });
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.name);
        const std::optional<Bytes> patch = ups::create(p.original, p.modified);
        ASSERT_TRUE(patch.has_value());
        const ApplyResult forwards = applyPatchChecked(describePatch(*patch), p.original, *patch);
        EXPECT_EQ(forwards.outcome, ApplyOutcome::Applied);
        EXPECT_EQ(forwards.form, SourceMatch::Yes);
        EXPECT_EQ(forwards.output, p.modified);
        const ApplyResult backwards = applyPatchChecked(describePatch(*patch), p.modified, *patch);
        EXPECT_EQ(backwards.outcome, ApplyOutcome::Applied);
        EXPECT_EQ(backwards.form,
                  p.original == p.modified ? SourceMatch::Yes : SourceMatch::YesBackwards);
        EXPECT_EQ(backwards.output, p.original);
    }
}

} // namespace
