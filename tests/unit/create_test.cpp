#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "hash/digests.h"
#include "io/input_file.h"
#include "patch/bps_match.h"
#include "patch/formats.h"
#include "patch/ips.h"
#include "patch/suffix_array.h"
#include "patch/vcdiff.h"
#include "patch_builders.h"
#include "rom_builders.h"
#include "vectors.h"

namespace {

using testing_support::ByteList;
using testing_support::filled;
using testing_support::IpsPatch;
using testing_support::noise;
using testing_support::toBytes;

constexpr std::size_t MiB = std::size_t{1} << 20;
constexpr std::size_t ipsLimit = std::size_t{1} << 24;

Bytes joined(std::initializer_list<std::span<const std::uint8_t>> parts) {
    Bytes out;
    for (const auto part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

std::span<const std::uint8_t> slice(const Bytes& image, std::size_t from, std::size_t to) {
    return std::span<const std::uint8_t>(image).subspan(from, to - from);
}

struct Pair {
    const char* name;
    Bytes original;
    Bytes modified;
};

std::vector<Pair> pairs() {
    const Bytes base = noise(4096, 1);
    const auto edited = [&](std::initializer_list<std::size_t> offsets) {
        Bytes image = base;
        for (const std::size_t o : offsets) {
            image[o] ^= 0x5A;
        }
        return image;
    };
    Bytes runs = base;
    std::fill(runs.begin() + 100, runs.begin() + 400, 0xFF);
    std::fill(runs.begin() + 4000, runs.end(), 0x00);
    // A run far into the original: its copy's address would take three bytes.
    Bytes farRun = noise(100000, 10);
    std::fill(farRun.begin() + 20000, farRun.begin() + 23000, 0xEE);
    const Bytes big = noise(2 * MiB, 2);
    Bytes bigEdited = big;
    for (std::size_t o = 1000; o < big.size(); o += 40000) {
        bigEdited[o] ^= 0xFF;
    }
    return {
        {"identical", base, base},
        {"first byte", base, edited({0})},
        {"last byte", base, edited({4095})},
        {"first and last byte", base, edited({0, 4095})},
        {"one byte image", filled(1, 1), filled(1, 2)},
        {"grown by new bytes", base, joined({base, noise(100, 3)})},
        {"grown by zeros", base, joined({base, filled(20000, 0)})},
        {"grown from one byte", filled(1, 7), base},
        {"shrunk", base, Bytes(base.begin(), base.begin() + 3000)},
        {"shrunk and edited", base,
         joined({slice(base, 0, 10), filled(1, 0), slice(base, 11, 3000)})},
        {"shrunk to one byte", base, filled(1, 9)},
        {"runs", base, runs},
        {"block moved", base,
         joined({slice(base, 0, 100), slice(base, 600, 3000), slice(base, 100, 600),
                 slice(base, 3000, 4096)})},
        {"block repeated", base,
         joined({slice(base, 0, 2000), slice(base, 200, 700), slice(base, 2000, 3000),
                 slice(base, 200, 700), slice(base, 3000, 4096)})},
        {"new block repeated", base,
         joined({slice(base, 0, 1000), noise(300, 4), noise(300, 4), slice(base, 1000, 4096)})},
        {"run copied from far into the original", farRun,
         joined({noise(200, 11), filled(3000, 0xEE), noise(100, 12), filled(400, 0x11),
                 noise(100, 13)})},
        {"unrelated", base, noise(5000, 5)},
        {"copier header added", base, joined({filled(512, 0), base})},
        {"long change split into records", noise(200000, 6),
         joined({slice(noise(200000, 6), 0, 10), noise(100000, 7),
                 slice(noise(200000, 6), 100010, 200000)})},
        {"2 MiB, edits and a block moved across the middle", big,
         joined({slice(bigEdited, 0, 500000), slice(bigEdited, 1500000, 1600000),
                 slice(bigEdited, 500000, 1500000), slice(bigEdited, 1600000, 2 * MiB)})},
    };
}

std::uint32_t littleEndianAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Which of the four actions a BPS patch uses, read from its commands.
std::array<bool, 4> actionsUsed(std::span<const std::uint8_t> patch) {
    std::size_t p = 4;
    const auto number = [&] {
        std::uint64_t value = 0;
        std::uint64_t shift = 1;
        for (;;) {
            const std::uint8_t x = patch[p++];
            value += (x & 0x7Fu) * shift;
            if ((x & 0x80u) != 0) {
                return value;
            }
            shift <<= 7;
            value += shift;
        }
    };
    number();
    number();
    p += static_cast<std::size_t>(number());
    std::array<bool, 4> used{};
    while (p < patch.size() - 12) {
        const std::uint64_t word = number();
        used[word & 3] = true;
        if ((word & 3) == 1) {
            p += static_cast<std::size_t>((word >> 2) + 1);
        } else if ((word & 3) > 1) {
            number();
        }
    }
    return used;
}

TEST(CreatePatch, RoundTripsThroughTheAppliers) {
    for (const Pair& c : pairs()) {
        SCOPED_TRACE(c.name);
        const std::optional<Bytes> ips = ips::create(c.original, c.modified);
        ASSERT_TRUE(ips.has_value());
        Bytes patched = c.original;
        ASSERT_TRUE(ips::applyToRom(patched, *ips));
        EXPECT_EQ(toBytes(patched), toBytes(c.modified));

        const std::optional<Bytes> bps = bps::create(c.original, c.modified);
        ASSERT_TRUE(bps.has_value());
        const std::optional<Bytes> target = bps::apply(c.original, *bps);
        ASSERT_TRUE(target.has_value());
        EXPECT_EQ(toBytes(*target), toBytes(c.modified));
        // Strict appliers check all three checksums.
        const std::size_t footer = bps->size() - 12;
        EXPECT_EQ(littleEndianAt(*bps, footer), crc32(c.original));
        EXPECT_EQ(littleEndianAt(*bps, footer + 4), crc32(c.modified));
        EXPECT_EQ(littleEndianAt(*bps, footer + 8),
                  crc32(std::span<const std::uint8_t>(*bps).first(footer + 8)));
        // The same inputs give the same bytes, threads or not.
        EXPECT_TRUE(bps::create(c.original, c.modified) == bps);
        EXPECT_TRUE(ips::create(c.original, c.modified) == ips);

        const std::optional<Bytes> xdelta = vcdiff::create(c.original, c.modified);
        ASSERT_TRUE(xdelta.has_value());
        const vcdiff::Result decoded = vcdiff::apply(c.original, *xdelta);
        EXPECT_EQ(decoded.outcome, vcdiff::Outcome::Applied);
        EXPECT_EQ(toBytes(decoded.target), toBytes(c.modified));
    }
}

// Beyond 16 MiB the target goes in windows; a copy of an earlier window's
// bytes becomes the bytes themselves.
TEST(CreatePatch, XdeltaWindowsOfSixteenMebibytes) {
    Bytes original = noise(17 * MiB, 8);
    Bytes modified = original;
    for (std::size_t o = 5000; o < modified.size(); o += 3 * MiB) {
        modified[o] ^= 0xFF;
    }
    // A run of one value across the window's end, the value's run also in
    // the original: its copy ends where the window does.
    std::fill(original.begin() + 2000, original.begin() + 10000, 0xFF);
    std::fill(modified.begin() + 2000, modified.begin() + 10000, 0xFF);
    std::fill(modified.begin() + 16 * MiB - 50, modified.begin() + 16 * MiB + 5000, 0xFF);
    const Bytes novel = noise(4096, 9);
    std::copy(novel.begin(), novel.end(), modified.begin() + 1000);
    std::copy(novel.begin(), novel.end(), modified.begin() + 16 * MiB + 1000);
    const std::optional<Bytes> xdelta = vcdiff::create(original, modified);
    ASSERT_TRUE(xdelta.has_value());
    EXPECT_EQ(vcdiff::describe(*xdelta).windows, 2u);
    const vcdiff::Result decoded = vcdiff::apply(original, *xdelta);
    EXPECT_EQ(decoded.outcome, vcdiff::Outcome::Applied);
    EXPECT_TRUE(decoded.target == modified);
}

TEST(CreatePatch, BpsChoosesEveryActionWhereItPays) {
    const Bytes base = noise(4096, 1);
    // Kept bytes, new bytes repeated, and a block moved.
    const Bytes modified = joined({slice(base, 0, 1000), noise(300, 4), noise(300, 4),
                                   slice(base, 3000, 4000), slice(base, 1000, 3000)});
    const std::optional<Bytes> bps = bps::create(base, modified);
    ASSERT_TRUE(bps.has_value());
    EXPECT_EQ(actionsUsed(*bps), (std::array<bool, 4>{true, true, true, true}));
    // Little beyond the 300 new bytes.
    EXPECT_LT(bps->size(), 340u);
    // Identical images: the header, one SourceRead and the footer.
    EXPECT_EQ(bps::create(base, base)->size(), 4u + 2 + 2 + 1 + 2 + 12);
}

// Repeats cost a command or two however long they are: copies of what the
// target already holds, runs, patterns, short shared words.
TEST(CreatePatch, BpsRepeatsCostAFewCommands) {
    const Bytes base = noise(16384, 12);
    Bytes pattern;
    for (int i = 0; i < 200; ++i) {
        const Bytes period = noise(12, 13);
        pattern.insert(pattern.end(), period.begin(), period.end());
    }
    const auto times = [](std::span<const std::uint8_t> block, int count) {
        Bytes out;
        for (int i = 0; i < count; ++i) {
            out.insert(out.end(), block.begin(), block.end());
        }
        return out;
    };
    // Words of the original strung together anew, as a script edited.
    Bytes words;
    for (std::size_t i = 0; i < 40; ++i) {
        const std::size_t from = (i * 2654435761u) % 16000;
        const auto word = slice(base, from, from + 6);
        words.insert(words.end(), word.begin(), word.end());
    }
    const Bytes withPattern = joined({slice(base, 0, 9000), pattern, slice(base, 9000, 16384)});
    struct Case {
        const char* name;
        Bytes original;
        Bytes modified;
        std::size_t most; // header and footer (21 bytes) and the commands
    };
    for (const Case& c : std::vector<Case>{
             {"a block of the original copied six times", base,
              joined({slice(base, 0, 4096), times(slice(base, 10000, 10500), 6),
                      slice(base, 4096, 16384)}),
              44},
             {"new bytes copied six times", base,
              joined({slice(base, 0, 4096), times(noise(300, 14), 6), slice(base, 4096, 16384)}),
              21 + 300 + 20},
             {"a fill inserted", base,
              joined({slice(base, 0, 4096), filled(5000, 0xFF), slice(base, 4096, 16384)}), 40},
             {"a pattern moved by an insertion", withPattern,
              joined({slice(withPattern, 0, 5000), noise(3, 15),
                      slice(withPattern, 5000, withPattern.size())}),
              44},
             // Each word is a copy (a command and an offset) in fewer bytes than itself.
             {"words of the original strung together", base,
              joined({slice(base, 0, 8000), words, slice(base, 8000, 16384)}), 21 + 40 * 5 + 10},
         }) {
        SCOPED_TRACE(c.name);
        const std::optional<Bytes> bps = bps::create(c.original, c.modified);
        ASSERT_TRUE(bps.has_value());
        EXPECT_LE(bps->size(), c.most);
        const std::optional<Bytes> target = bps::apply(c.original, *bps);
        ASSERT_TRUE(target.has_value());
        EXPECT_TRUE(*target == c.modified);
    }
}

TEST(CreatePatch, IpsRecordsAreTheCheapest) {
    const Bytes base = filled(0x20000, 0x11);
    const auto with = [&](std::size_t from, std::initializer_list<std::uint8_t> bytes) {
        Bytes image = base;
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(from));
        return image;
    };
    Bytes run = base;
    std::fill_n(run.begin() + 50, 100, 0xAB);
    Bytes longChange = base;
    Bytes fresh = noise(70000, 8);
    // Every byte of it a change.
    std::replace(fresh.begin(), fresh.end(), std::uint8_t{0x11}, std::uint8_t{0x12});
    std::copy(fresh.begin(), fresh.end(), longChange.begin() + 5);
    struct Case {
        const char* name;
        Bytes modified;
        ByteList patch;
    };
    const std::vector<Case> cases{
        {"nothing changed", base, IpsPatch().eof().bytes()},
        {"changes four bytes apart share a record", with(10, {1, 0x11, 0x11, 0x11, 0x11, 2}),
         IpsPatch().record(10, {1, 0x11, 0x11, 0x11, 0x11, 2}).eof().bytes()},
        {"changes nine bytes apart take two",
         with(10, {1, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 2}),
         IpsPatch().record(10, {1}).record(20, {2}).eof().bytes()},
        {"a run of one value", run, IpsPatch().run(50, 100, 0xAB).eof().bytes()},
        {"a shorter image ends with its size", Bytes(base.begin(), base.begin() + 0x1234),
         IpsPatch().eof().raw({0x00, 0x12, 0x34}).bytes()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toBytes(*ips::create(base, c.modified)), c.patch);
    }
    // 70,000 new bytes: a full record of 65,535 and the rest.
    const std::optional<Bytes> split = ips::create(base, longChange);
    ASSERT_TRUE(split.has_value());
    EXPECT_EQ(split->size(), 5u + (5 + 65535) + (5 + 70000 - 65535) + 3);
}

TEST(CreatePatch, IpsLimits) {
    // No record may start at the offset that reads as "EOF": an applier would
    // stop there and drop the rest. Each patch is the smallest that obeys.
    const std::size_t marker = 0x454F46;
    const std::size_t full = 0xFFFF;
    const Bytes zeros = filled(marker + 3 * full, 0x00);
    const auto changed = [&](std::size_t at, std::span<const std::uint8_t> bytes) {
        Bytes image = zeros;
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
        return image;
    };
    const Bytes atMarker(zeros.begin(), zeros.begin() + static_cast<std::ptrdiff_t>(marker));
    // New bytes that all differ from the zeros they replace.
    const auto fresh = [](std::size_t size, std::uint32_t seed) {
        Bytes image = noise(size, seed);
        std::replace(image.begin(), image.end(), std::uint8_t{0}, std::uint8_t{1});
        return image;
    };
    struct AtMarker {
        const char* name;
        Bytes original;
        Bytes modified;
        std::size_t size; // header + records + "EOF"
    };
    for (const AtMarker& c : std::vector<AtMarker>{
             {"one byte there: written from the byte before", zeros,
              changed(marker, filled(1, 0x77)), 5 + (5 + 2) + 3},
             {"a run from there: starts a byte early", zeros, changed(marker - 1, filled(9, 0x55)),
              5 + 8 + 3},
             {"a long change split just before it", zeros,
              changed(marker - full, fresh(full + 100, 9)), 5 + (5 + full - 1) + (5 + 101) + 3},
             {"a change of two full records and more split there", zeros,
              changed(marker - 2 * full, fresh(2 * full + 100, 10)),
              5 + 3 * 5 + 2 * full + 100 + 3},
             {"a run across it", zeros, changed(marker - full, filled(full + 100, 0xEE)),
              5 + 8 + 8 + 3},
             {"growth from there", atMarker, joined({atMarker, fresh(100, 11)}), 5 + (5 + 101) + 3},
             {"growth by a run from there", joined({slice(zeros, 0, marker - 1), filled(1, 0x01)}),
              joined({slice(zeros, 0, marker - 1), filled(1, 0x01), filled(300, 0x00)}),
              5 + (5 + 2) + 8 + 3},
         }) {
        SCOPED_TRACE(c.name);
        const std::optional<Bytes> made = ips::create(c.original, c.modified);
        ASSERT_TRUE(made.has_value());
        EXPECT_EQ(made->size(), c.size);
        // The reader stops at "EOF" only at the end.
        const ips::RecordsEnd end =
            ips::readRecords(*made, [](const ips::Record&) { return true; });
        EXPECT_TRUE(end.complete);
        EXPECT_EQ(end.at, made->size() - 3);
        Bytes applied = c.original;
        ASSERT_TRUE(ips::applyToRom(applied, *made));
        EXPECT_TRUE(applied == c.modified);
    }
    Bytes original = filled(marker + 16, 0x00);
    Bytes modified = original;
    modified[marker] = 0x77;
    EXPECT_EQ(toBytes(*ips::create(original, modified)),
              IpsPatch().record(marker - 1, {0x00, 0x77}).eof().bytes());
    std::optional<Bytes> patch;
    Bytes patched;

    struct Limit {
        const char* name;
        std::size_t originalSize;
        std::size_t modifiedSize;
        std::size_t changedAt; // SIZE_MAX: nothing changed in common
        bool expressible;
    };
    const std::size_t none = static_cast<std::size_t>(-1);
    for (const Limit& c : std::vector<Limit>{
             {"change at the last 24-bit offset", ipsLimit + 8, ipsLimit + 8, ipsLimit - 1, true},
             {"change at 16 MiB", ipsLimit + 8, ipsLimit + 8, ipsLimit, false},
             {"grown to end at 16 MiB", ipsLimit - 4, ipsLimit, none, true},
             {"grown past 16 MiB", ipsLimit - 4, ipsLimit + 1, none, false},
             {"shrunk to 16 MiB - 1", ipsLimit + 8, ipsLimit - 1, none, true},
             {"shrunk to 16 MiB", ipsLimit + 8, ipsLimit, none, false},
         }) {
        SCOPED_TRACE(c.name);
        const Bytes from = filled(c.originalSize, 0x22);
        Bytes to = filled(c.modifiedSize, 0x22);
        if (c.changedAt != none) {
            to[c.changedAt] = 0x33;
        }
        patch = ips::create(from, to);
        ASSERT_EQ(patch.has_value(), c.expressible);
        if (patch) {
            patched = from;
            ASSERT_TRUE(ips::applyToRom(patched, *patch));
            EXPECT_TRUE(patched == to);
        }
    }
}

TEST(CreatePatch, RefusesEmptyInputs) {
    const Bytes some = filled(16, 1);
    for (const auto& [original, modified] :
         std::vector<std::pair<Bytes, Bytes>>{{Bytes{}, some}, {some, Bytes{}}}) {
        EXPECT_FALSE(ips::create(original, modified).has_value());
        EXPECT_FALSE(bps::create(original, modified).has_value());
        EXPECT_FALSE(vcdiff::create(original, modified).has_value());
    }
}

// A script region translated line by line: many short edits of changing
// length close together, where new bytes and short copies cost alike. The
// sizes are today's: breaking ties between two runs of new bytes for the
// later one shrank most such pairs but made the sparser one 6 bytes larger.
// Where two copies are as long, the one that leaves the relative offsets
// where the next copy wants them; three bytes already written, even as the
// last command, are a repeat rather than new bytes.
TEST(CreatePatch, BpsWeighsTheOffsetsItLeaves) {
    const Bytes base = noise(4096, 31);
    struct Case {
        const char* name;
        Bytes modified;
        std::size_t most; // header and footer (21 bytes) and the commands
    };
    for (const Case& c : std::vector<Case>{
             // SourceRead, SourceCopy, then a TargetCopy of the 40 bytes,
             // which keeps the original's offset for the last copy (one byte).
             {"a copy of the original or of the same bytes written",
              joined({slice(base, 0, 1000), slice(base, 1500, 1600), slice(base, 500, 540),
                      slice(base, 1600, 4096)}),
              21 + 2 + 4 + 4 + 3},
             {"three bytes written before, last",
              joined({slice(base, 0, 4000), noise(3, 32), slice(base, 4003, 4096),
                      slice(base, 10, 13)}),
              21 + 2 + 4 + 2 + 2},
         }) {
        SCOPED_TRACE(c.name);
        const std::optional<Bytes> bps = bps::create(base, c.modified);
        ASSERT_TRUE(bps.has_value());
        EXPECT_LE(bps->size(), c.most);
        const std::optional<Bytes> target = bps::apply(base, *bps);
        ASSERT_TRUE(target.has_value());
        EXPECT_TRUE(*target == c.modified);
    }
}

// The greedy walk's steps rebuild the target, and every copy it offers the
// parse holds the bytes it claims, from where a decoder can read them.
TEST(CreatePatch, GreedyWalkStepsAndOffersHold) {
    for (const Pair& pair : pairs()) {
        SCOPED_TRACE(pair.name);
        const Bytes& source = pair.original;
        const Bytes& target = pair.modified;
        const bps::Walk walk = bps::greedyWalk(source, target);
        const auto holds = [&](bps::Action action, std::uint64_t start, std::uint64_t length,
                               std::uint64_t from) {
            const bool ofTarget = action == bps::TargetCopy || action == bps::TargetRead;
            const Bytes& base = ofTarget ? target : source;
            if (length == 0 || start + length > target.size() || from + length > base.size() ||
                (action == bps::TargetCopy && from >= start) ||
                (action == bps::SourceRead && from != start)) {
                return false;
            }
            return std::equal(base.begin() + static_cast<std::ptrdiff_t>(from),
                              base.begin() + static_cast<std::ptrdiff_t>(from + length),
                              target.begin() + static_cast<std::ptrdiff_t>(start));
        };
        std::uint64_t at = 0;
        for (const bps::Step& step : walk.steps) {
            EXPECT_TRUE(holds(step.action, at, step.length, step.from)) << at;
            at += step.length;
        }
        EXPECT_EQ(at, target.size());
        for (std::size_t k = 0; k < walk.longest.size(); ++k) {
            const bps::Offer& o = walk.longest[k];
            EXPECT_TRUE(holds(o.action, o.start, o.length, o.from)) << o.start;
            EXPECT_TRUE(k == 0 || walk.longest[k - 1].start <= o.start);
        }
    }
}

// Texts of one value, of a few, and of all: every suffix in the order
// plain comparison gives, for the deep recursion of repeats too.
TEST(SuffixArray, SortsLikeComparingEverySuffix) {
    Bytes repeats;
    for (std::size_t i = 0; i < 3000; ++i) {
        repeats.push_back(static_cast<std::uint8_t>("abaabaaab"[i % 9]));
    }
    Bytes few = noise(5000, 41);
    for (std::uint8_t& b : few) {
        b = static_cast<std::uint8_t>(b % 3);
    }
    for (const Bytes& text :
         {Bytes{}, Bytes{7}, Bytes{2, 1}, filled(300, 9), repeats, few, noise(4000, 42)}) {
        std::vector<std::int32_t> expected(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            expected[i] = static_cast<std::int32_t>(i);
        }
        std::sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) {
            return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b,
                                                text.end());
        });
        EXPECT_TRUE(match::suffixArray(text) == expected) << text.size() << " bytes";
    }
}

TEST(CreatePatch, BpsShortEditsOfChangingLength) {
    const Bytes letters = noise(65536, 21);
    Bytes base = noise(8192, 22);
    for (const std::uint8_t b : letters) {
        base.push_back(b % 5 == 0 ? std::uint8_t{' '} : static_cast<std::uint8_t>('a' + b % 16));
    }
    const auto translated = [&](std::size_t every, std::uint32_t seed) {
        const Bytes words = noise(4096, seed);
        Bytes out(base.begin(), base.begin() + 8192);
        std::size_t w = 0;
        for (std::size_t o = 8192; o < base.size(); o += every) {
            const std::size_t keep = std::min(every, base.size() - o);
            const std::size_t cut = std::min<std::size_t>(keep, 1 + words[w % words.size()] % 9);
            out.insert(out.end(), base.begin() + static_cast<std::ptrdiff_t>(o + cut),
                       base.begin() + static_cast<std::ptrdiff_t>(o + keep));
            for (std::size_t k = words[(w + 1) % words.size()] % 12; k > 0; --k) {
                out.push_back(static_cast<std::uint8_t>('a' + words[(w + k) % words.size()] % 16));
            }
            w += 2;
        }
        return out;
    };
    struct Case {
        const char* name;
        std::size_t every;
        std::size_t most;
    };
    for (const Case& c :
         std::vector<Case>{{"an edit every 120 bytes", 120, 5090}, {"every 40", 40, 14139}}) {
        SCOPED_TRACE(c.name);
        const Bytes modified = translated(c.every, 23);
        const std::optional<Bytes> bps = bps::create(base, modified);
        ASSERT_TRUE(bps.has_value());
        EXPECT_LE(bps->size(), c.most);
        const std::optional<Bytes> target = bps::apply(base, *bps);
        ASSERT_TRUE(target.has_value());
        EXPECT_TRUE(*target == modified);
    }
}

// Pairs shaped like ROM hacks (small ones of the benchmark's sets, see
// bench/README.md, and own_ ones of compare_creators.py --own-seeds), with the
// sizes of the patches the public creator made of them: BPS with
// --bps-delta, and IPS (0: not made).
TEST(CreatePatch, BenchmarkPairsNoLargerThanThePublicCreator) {
    struct Row {
        const char* pair;
        std::size_t publicBps;
        std::size_t publicIps;
    };
    const std::filesystem::path folder =
        std::filesystem::path(QUILLON_TEST_DATA_DIR) / "creator_pairs";
    for (const Row& row : std::vector<Row>{
             {"seed1_mixed_0", 295, 1308},
             {"seed3_mixed_4", 35, 2026},
             {"seed3_mixed_6", 1871, 5143},
             {"seed7_mixed_4", 28, 5060},
             {"seed7_mixed_9", 43, 5311},
             // A copy of the original or of the target as long; the longest
             // copy the indexes miss; copies after ways leaving other offsets;
             // many such ways open at once.
             {"own_random29_0", 34, 0},
             {"own_random34_3", 106, 0},
             {"own_random36_1", 67, 0},
             {"own_random42_3", 232, 0},
             {"own_random25_0", 58, 0},
             {"own_random17_5", 58, 0},
             {"own_random96_0", 412, 0},
             {"own_random85_3", 97, 0},
             // Two copies as long, of which the public creator's leaves the
             // offset a copy 7,000 bytes on wants: its own walk is followed.
             {"own_random46_1", 78, 0},
         }) {
        SCOPED_TRACE(row.pair);
        const Bytes original =
            readFile((folder / (std::string(row.pair) + ".orig.bin")).string()).value_or(Bytes{});
        const Bytes modified =
            readFile((folder / (std::string(row.pair) + ".mod.bin")).string()).value_or(Bytes{});
        ASSERT_FALSE(original.empty());
        ASSERT_FALSE(modified.empty());
        const std::optional<Bytes> bps = bps::create(original, modified);
        ASSERT_TRUE(bps.has_value());
        EXPECT_LE(bps->size(), row.publicBps);
        const std::optional<Bytes> target = bps::apply(original, *bps);
        ASSERT_TRUE(target.has_value());
        EXPECT_TRUE(*target == modified);
        if (row.publicIps == 0) {
            continue;
        }
        const std::optional<Bytes> ips = ips::create(original, modified);
        ASSERT_TRUE(ips.has_value());
        EXPECT_LE(ips->size(), row.publicIps);
        Bytes applied = original;
        ASSERT_TRUE(ips::applyToRom(applied, *ips));
        EXPECT_TRUE(applied == modified);
    }
}

// The real-world pairs: created patches give the targets and are no larger
// than the ones the public creator made beside them.
TEST(CreatePatch, VectorPairsNoLargerThanThePublicCreator) {
    const auto check = [](bool bps) {
        return [bps](const Bytes& source, const Bytes& theirs, const Bytes& target) {
            const std::optional<Bytes> ours =
                bps ? bps::create(source, target) : ips::create(source, target);
            ASSERT_TRUE(ours.has_value());
            EXPECT_LE(ours->size(), theirs.size());
            if (bps) {
                const std::optional<Bytes> applied = bps::apply(source, *ours);
                ASSERT_TRUE(applied.has_value());
                EXPECT_TRUE(*applied == target);
            } else {
                Bytes applied = source;
                ASSERT_TRUE(ips::applyToRom(applied, *ours));
                EXPECT_TRUE(applied == target);
            }
        };
    };
    EXPECT_EQ(testing_support::forEachVectorPatch(".ips", check(false)), 5);
    EXPECT_EQ(testing_support::forEachVectorPatch(".bps", check(true)), 8);
}

} // namespace
