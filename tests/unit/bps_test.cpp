#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "patch/formats.h"
#include "patch_builders.h"
#include "rom_builders.h"
#include "vectors.h"

namespace {

using testing_support::appendNumber;
using testing_support::bpsNumber;
using testing_support::BpsPatch;
using testing_support::ByteList;
using testing_support::imageOf;
using testing_support::toBytes;

struct BpsCase {
    const char* name;
    ByteList patch;
    std::optional<ByteList> expected; // nullopt: the inputs are rejected
};

void expectCases(const Bytes& source, const std::vector<BpsCase>& cases) {
    for (const BpsCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<Bytes> target = bps::apply(source, c.patch);
        ASSERT_EQ(target.has_value(), c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(toBytes(*target), *c.expected);
        }
    }
}

// "BPS1" and the given numbers and bytes, then a 12-byte footer.
ByteList rawPatch(std::initializer_list<std::uint64_t> numbers,
                  std::initializer_list<std::uint8_t> tail) {
    ByteList patch{'B', 'P', 'S', '1'};
    for (const std::uint64_t n : numbers) {
        bps::appendNumber(patch, n);
    }
    patch.insert(patch.end(), tail.begin(), tail.end());
    patch.insert(patch.end(), 12, 0xC0);
    return patch;
}

ByteList zeros(std::size_t n) {
    return ByteList(n, 0);
}

TEST(BpsPatch, NumberEncodingHasOneFormPerValue) {
    EXPECT_EQ(bpsNumber(0), (ByteList{0x80}));
    EXPECT_EQ(bpsNumber(127), (ByteList{0xFF}));
    EXPECT_EQ(bpsNumber(128), (ByteList{0x00, 0x80}));
    EXPECT_EQ(bpsNumber(16511), (ByteList{0x7F, 0xFF}));
    EXPECT_EQ(bpsNumber(16512), (ByteList{0x00, 0x00, 0x80}));
    EXPECT_EQ(bpsNumber(std::numeric_limits<std::uint64_t>::max()),
              (ByteList{0x7F, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x80}));
    // The declared target size is decoded back exactly.
    for (const std::uint64_t size : {1u, 127u, 128u, 129u, 16511u, 16512u, 2113663u, 2113664u}) {
        SCOPED_TRACE(size);
        const auto target = bps::apply(imageOf({1}), BpsPatch(1, size).bytes());
        ASSERT_TRUE(target);
        EXPECT_EQ(target->size(), size);
    }
}

TEST(BpsPatch, SourceAndTargetRead) {
    expectCases(
        imageOf({10, 11, 12, 13}),
        {
            {"source read past the source end reads 0x00", BpsPatch(4, 12).sourceRead(10).bytes(),
             ByteList{10, 11, 12, 13, 0, 0, 0, 0, 0, 0, 0, 0}},
            {"source read follows the output offset",
             BpsPatch(4, 4).targetRead({7, 7}).sourceRead(2).bytes(), ByteList{7, 7, 12, 13}},
            {"target read of literal bytes", BpsPatch(4, 3).targetRead({1, 2, 3}).bytes(),
             ByteList{1, 2, 3}},
            {"target read running into the footer copies it",
             BpsPatch(4, 6).targetReadCommand(6).raw({1, 2}).bytes(),
             ByteList{1, 2, 0xC0, 0xC1, 0xC2, 0xC3}},
            {"target read stops at the end of the patch",
             BpsPatch(4, 16).targetReadCommand(16).raw({1}).bytes(),
             ByteList{1, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0,
                      0, 0}},
            {"the declared source size is never compared", BpsPatch(999, 2).sourceRead(2).bytes(),
             ByteList{10, 11}},
            {"metadata is skipped", BpsPatch(4, 2, "{\"title\":\"x\"}").targetRead({5, 6}).bytes(),
             ByteList{5, 6}},
        });
}

TEST(BpsPatch, SourceCopyKeepsItsRelativeOffset) {
    expectCases(
        imageOf({10, 11, 12, 13, 14, 15, 16, 17}),
        {
            {"forward, back to the start, then a source read at the output offset",
             BpsPatch(8, 6).sourceCopy(2, 6).sourceCopy(2, -8).sourceRead(2).bytes(),
             ByteList{16, 17, 10, 11, 14, 15}},
            {"continues where the previous copy ended",
             BpsPatch(8, 4).sourceCopy(2, 3).sourceCopy(2, 0).bytes(), ByteList{13, 14, 15, 16}},
            {"past the source end reads 0x00", BpsPatch(8, 3).sourceCopy(3, 6).bytes(),
             ByteList{16, 17, 0}},
            // Below zero wraps: 0x00, and the offset is back at 0 one byte later.
            {"below zero reads 0x00 and wraps back",
             BpsPatch(8, 2).sourceCopy(1, -1).sourceCopy(1, 0).bytes(), ByteList{0, 10}},
            {"wraps within one copy", BpsPatch(8, 3).sourceCopy(3, -1).bytes(),
             ByteList{0, 10, 11}},
        });
}

TEST(BpsPatch, TargetCopyRepeatsWhatItJustWrote) {
    ByteList a101(101, 0x41);
    expectCases(
        imageOf({10, 11, 12, 13}),
        {
            {"one behind the output fills with the previous byte",
             BpsPatch(4, 101).targetRead({0x41}).targetCopy(100, 0).bytes(), a101},
            {"three behind repeats a 3-byte pattern",
             BpsPatch(4, 10).targetRead({1, 2, 3}).targetCopy(7, 0).bytes(),
             ByteList{1, 2, 3, 1, 2, 3, 1, 2, 3, 1}},
            {"separate earlier blocks, offset kept across copies",
             BpsPatch(4, 8).targetRead({1, 2, 3, 4}).targetCopy(2, 1).targetCopy(2, -3).bytes(),
             ByteList{1, 2, 3, 4, 2, 3, 1, 2}},
            {"at or ahead of the output reads 0x00",
             BpsPatch(4, 5).targetRead({9}).targetCopy(2, 1).targetRead({8, 8}).bytes(),
             ByteList{9, 0, 0, 8, 8}},
            {"below zero reads 0x00, then wraps to the written bytes",
             BpsPatch(4, 5).targetRead({5, 6}).targetCopy(3, -1).bytes(), ByteList{5, 6, 0, 5, 6}},
        });
}

// Against the byte-by-byte definition, for periods and lengths that end a
// copy inside, at and past whole repeats.
TEST(BpsPatch, OverlappingTargetCopyMatchesByteByByte) {
    for (std::uint64_t period = 1; period <= 9; ++period) {
        for (std::uint64_t length = 1; length <= 40; ++length) {
            SCOPED_TRACE(testing::Message() << "period " << period << ", length " << length);
            ByteList expected;
            for (std::uint64_t i = 0; i < period; ++i) {
                expected.push_back(static_cast<std::uint8_t>(0x30 + i));
            }
            const BpsPatch patch = BpsPatch(1, period + length).targetRead(expected);
            for (std::uint64_t i = 0; i < length; ++i) {
                expected.push_back(expected[i]);
            }
            const auto target =
                bps::apply(imageOf({1}), BpsPatch(patch).targetCopy(length, 0).bytes());
            ASSERT_TRUE(target);
            ASSERT_EQ(toBytes(*target), expected);
        }
    }
}

TEST(BpsPatch, OutputHasExactlyTheDeclaredSize) {
    expectCases(
        imageOf({10, 11, 12, 13}),
        {
            {"target read past the target size is cut",
             BpsPatch(4, 3).targetRead({1, 2, 3, 4, 5}).targetRead({6}).bytes(), ByteList{1, 2, 3}},
            {"source read past the target size is cut", BpsPatch(4, 3).sourceRead(10).bytes(),
             ByteList{10, 11, 12}},
            {"copies past the target size are cut",
             BpsPatch(4, 4).targetRead({1}).targetCopy(50, 0).sourceCopy(50, 0).bytes(),
             ByteList{1, 1, 1, 1}},
            {"what no command reaches stays 0x00", BpsPatch(4, 6).targetRead({1}).bytes(),
             ByteList{1, 0, 0, 0, 0, 0}},
            {"no commands at all", BpsPatch(4, 5).bytes(), zeros(5)},
            // "BPS1", three one-byte numbers and 5 footer bytes: no room for a command.
            {"a 12-byte patch",
             ByteList{'B', 'P', 'S', '1', 0x84, 0x85, 0x80, 0x81, 0x81, 0x81, 0x81, 0x81},
             zeros(5)},
            {"metadata longer than the patch", rawPatch({4, 3, 100}, {0x81, 7}), zeros(3)},
            // A skip that wrapped in 64 bits would land back inside the header.
            {"metadata size 2^64 - 1",
             rawPatch({4, 3, std::numeric_limits<std::uint64_t>::max()}, {0x81, 7}), zeros(3)},
            {"patch ends inside the source size",
             ByteList{'B', 'P', 'S', '1', 0, 0, 0, 0, 0, 0, 0, 0}, ByteList{}},
            {"patch ends right after the source size",
             ByteList{'B', 'P', 'S', '1', 0, 0, 0, 0, 0, 0, 0, 0x84}, ByteList{}},
            {"target size 0", BpsPatch(4, 0).targetRead({1}).bytes(), ByteList{}},
        });
}

TEST(BpsPatch, RejectsWhatCannotBeApplied) {
    const Bytes source = imageOf({10, 11, 12, 13});
    const ByteList valid = BpsPatch(4, 2).sourceRead(2).bytes();
    EXPECT_FALSE(bps::apply(Bytes{}, valid)) << "empty source";
    EXPECT_FALSE(bps::apply(source, ByteList{})) << "empty patch";
    EXPECT_FALSE(bps::apply(source, ByteList(valid.begin(), valid.begin() + 11))) << "11 bytes";
    for (const char* magic : {"BPS2", "bps1", "UPS1"}) {
        ByteList patch = valid;
        std::copy(magic, magic + 4, patch.begin());
        EXPECT_FALSE(bps::apply(source, patch)) << magic;
    }
    for (const std::uint64_t size : {(std::uint64_t{1} << 32) + 1, std::uint64_t{1} << 63,
                                     std::numeric_limits<std::uint64_t>::max()}) {
        EXPECT_FALSE(bps::apply(source, BpsPatch(4, size).sourceRead(2).bytes())) << size;
    }
}

// Patches made by a common BPS creator (linear and delta), applied to their source.
TEST(BpsPatch, VectorsGiveTheirTargets) {
    const int applied = testing_support::forEachVectorPatch(
        ".bps", [](const Bytes& source, const Bytes& patch, const Bytes& target) {
            const std::optional<Bytes> result = bps::apply(source, patch);
            ASSERT_TRUE(result);
            EXPECT_TRUE(*result == target);
        });
    EXPECT_EQ(applied, 8);
}

} // namespace
