#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/archive.h"
#include "io/input_file.h"
#include "patch/vcdiff.h"
#include "vcdiff_builder.h"

namespace {

using namespace testing_support;
namespace op = testing_support::vcdiff_op;

Bytes dataFile(const std::string& name) {
    const auto path = std::filesystem::path(QUILLON_TEST_DATA_DIR) / "vcdiff" / name;
    Bytes bytes = readFile(path.string()).value_or(Bytes{});
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

std::vector<std::uint8_t> asVector(const Bytes& image) {
    return {image.begin(), image.end()};
}

// Patches made by xdelta3 (tests/data/vcdiff/make.sh), with what they hold.
struct XdeltaRow {
    const char* patch;
    const char* source; // empty: made without a source
    const char* target;
    vcdiff::Compression compression;
    std::uint64_t windows;
    bool checksums;
};

const XdeltaRow xdeltaRows[] = {
    {"small_none.xdelta", "small_source.bin", "small_target.bin", vcdiff::Compression::None, 1,
     true},
    {"small_lzma.xdelta", "small_source.bin", "small_target.bin", vcdiff::Compression::Lzma, 1,
     true},
    {"small_djw.xdelta", "small_source.bin", "small_target.bin", vcdiff::Compression::Djw, 1, true},
    {"small_fgk.xdelta", "small_source.bin", "small_target.bin", vcdiff::Compression::Fgk, 1, true},
    {"small_lzma_nochecksum.xdelta", "small_source.bin", "small_target.bin",
     vcdiff::Compression::Lzma, 1, false},
    {"small_none_noappheader.xdelta", "small_source.bin", "small_target.bin",
     vcdiff::Compression::None, 1, true},
    {"large_none.xdelta", "large_source.bin", "large_target.bin", vcdiff::Compression::None, 3,
     true},
    {"large_lzma.xdelta", "large_source.bin", "large_target.bin", vcdiff::Compression::Lzma, 3,
     true},
    {"large_djw.xdelta", "large_source.bin", "large_target.bin", vcdiff::Compression::Djw, 3, true},
    {"text_fgk.xdelta", "text_source.bin", "text_target.bin", vcdiff::Compression::Fgk, 3, true},
    {"nosource_djw.xdelta", "", "small_target.bin", vcdiff::Compression::Djw, 1, true},
    {"nosource_lzma.xdelta", "", "text_target.bin", vcdiff::Compression::Lzma, 3, true},
};

TEST(Vcdiff, XdeltaPatchesGiveTheirTargets) {
    for (const XdeltaRow& row : xdeltaRows) {
        SCOPED_TRACE(row.patch);
        const Bytes patch = dataFile(row.patch);
        const Bytes source = *row.source != '\0' ? dataFile(row.source) : Bytes{};
        const Bytes target = dataFile(row.target);

        const vcdiff::Summary summary = vcdiff::describe(patch);
        EXPECT_TRUE(summary.wellFormed);
        EXPECT_EQ(summary.windows, row.windows);
        EXPECT_EQ(summary.targetSize, target.size());
        EXPECT_EQ(summary.compression, row.compression);
        EXPECT_EQ(summary.checksums, row.checksums);

        const vcdiff::Result result = vcdiff::apply(source, patch);
        EXPECT_EQ(result.outcome, vcdiff::Outcome::Applied);
        EXPECT_EQ(asVector(result.target), asVector(target));
    }
}

// open-vcdiff's patches of one change (tests/data/openvcdiff), in RFC 3284
// and in its own variant, interleaved, with checksums, or both.
TEST(Vcdiff, OpenVcdiffPatchesGiveTheirTarget) {
    const Bytes archive =
        readFile(std::string(QUILLON_TEST_DATA_DIR) + "/openvcdiff/vectors.7z").value_or(Bytes{});
    std::map<std::string, Bytes> files;
    ASSERT_TRUE(forEachArchiveMember(
        archive, [&](ArchiveMember& member) { files[member.name] = std::move(member.bytes); }));
    const Bytes& source = files["source.v64"];
    const Bytes& target = files["target.n64"];
    ASSERT_EQ(target.size(), 2u << 20);
    const struct {
        const char* patch;
        bool openVcdiff;
        bool checksums;
    } rows[] = {{"patch.openvcdiff", false, false},
                {"interleaved.openvcdiff", true, false},
                {"checksum.openvcdiff", true, true},
                {"checksum_interleaved.openvcdiff", true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.patch);
        const Bytes& patch = files[row.patch];
        const vcdiff::Summary summary = vcdiff::describe(patch);
        EXPECT_TRUE(summary.wellFormed);
        EXPECT_EQ(summary.openVcdiff, row.openVcdiff);
        EXPECT_EQ(summary.checksums, row.checksums);
        const vcdiff::Result result = vcdiff::apply(source, patch);
        EXPECT_EQ(result.outcome, vcdiff::Outcome::Applied);
        EXPECT_TRUE(asVector(result.target) == asVector(target));
        // The sums are open-vcdiff's: another source fails them.
        Bytes other = source;
        for (std::uint8_t& byte : other) {
            byte ^= 0xFF;
        }
        EXPECT_EQ(vcdiff::apply(other, patch).outcome,
                  row.checksums ? vcdiff::Outcome::WrongSource : vcdiff::Outcome::Applied);
    }
}

// Another ROM of the same size: the windows' Adler-32 tell; without them the
// patch applies as it stands. A ROM too short for the source segment is
// another ROM in any case.
TEST(Vcdiff, AnotherRomIsToldByTheChecksums) {
    for (const XdeltaRow& row : xdeltaRows) {
        if (*row.source == '\0') {
            continue;
        }
        SCOPED_TRACE(row.patch);
        const Bytes patch = dataFile(row.patch);
        Bytes source = dataFile(row.source);
        source[200] ^= 0xFF; // the targets copy this byte from the source
        source[source.size() / 2 + 100] ^= 0xFF;
        const vcdiff::Result edited = vcdiff::apply(source, patch);
        if (row.checksums) {
            EXPECT_EQ(edited.outcome, vcdiff::Outcome::WrongSource);
            EXPECT_TRUE(edited.target.empty());
        } else {
            EXPECT_EQ(edited.outcome, vcdiff::Outcome::Applied);
        }
        source.resize(source.size() / 2);
        EXPECT_EQ(vcdiff::apply(source, patch).outcome, vcdiff::Outcome::WrongSource);
    }
}

// A patch cut anywhere, or a window whose secondary-compressed sections are
// cut, is damaged: a single-window delta has no shorter well-formed form.
TEST(Vcdiff, EveryCutOffPatchIsDamaged) {
    for (const char* name : {"small_none.xdelta", "small_lzma.xdelta", "small_djw.xdelta",
                             "small_fgk.xdelta", "nosource_djw.xdelta"}) {
        SCOPED_TRACE(name);
        const Bytes patch = dataFile(name);
        const Bytes source = dataFile("small_source.bin");
        for (std::size_t size = 0; size < patch.size(); ++size) {
            const std::span<const std::uint8_t> cut(patch.data(), size);
            ASSERT_EQ(vcdiff::apply(source, cut).outcome, vcdiff::Outcome::Damaged) << size;
            ASSERT_FALSE(vcdiff::describe(cut).wellFormed) << size;
        }
    }
}

// Flipping any byte of a compressed patch must fail cleanly or decode to
// something; what matters is that it ends (under the sanitizers: safely).
TEST(Vcdiff, FlippedBytesNeverEscape) {
    for (const char* name : {"small_lzma.xdelta", "small_djw.xdelta", "small_fgk.xdelta",
                             "large_djw.xdelta", "text_fgk.xdelta"}) {
        SCOPED_TRACE(name);
        Bytes patch = dataFile(name);
        const Bytes source = dataFile(name[0] == 't'   ? "text_source.bin"
                                      : name[0] == 'l' ? "large_source.bin"
                                                       : "small_source.bin");
        for (std::size_t i = 0; i < patch.size(); ++i) {
            for (const std::uint8_t mask : std::array<std::uint8_t, 3>{0x01, 0x80, 0xFF}) {
                patch[i] ^= mask;
                const vcdiff::Result result = vcdiff::apply(source, patch);
                if (result.outcome == vcdiff::Outcome::Applied) {
                    EXPECT_EQ(result.target.size(), vcdiff::describe(patch).targetSize);
                }
                patch[i] ^= mask;
            }
        }
    }
}

const std::vector<std::uint8_t> abcSource{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};

// Address modes: SELF, HERE, NEAR (the last four addresses, each plus an
// offset) and SAME (an address by its low byte among those seen), a copy
// from the window's own output that overlaps what it writes, and a RUN.
TEST(Vcdiff, AddressCachesAndTargetCopies) {
    VcdiffWindow w;
    w.indicator = 1 | 4;
    w.segmentLength = 8;
    w.targetLength = 4 + 4 + 4 + 4 + 6 + 3 + 4;
    w.inst = {op::copy(0, 4),     // SELF 2: CDEF
              op::copy(1, 4),     // HERE: 8+4-8 = 4 -> EFGH
              op::copy(2, 4),     // NEAR[0] (2) + 1 = 3 -> DEFG
              op::copy(6, 4),     // SAME set 0, byte 4 -> 4 -> EFGH
              op::add(2),         // XY
              op::copy(0, 0), 4,  // SELF 24 (the X just added) size 4: XYXY
              op::run,        3}; // ZZZ
    w.addr = {2, 8, 1, 4, 24};
    w.data = {'X', 'Y', 'Z'};
    const std::string expected = "CDEFEFGHDEFGEFGHXYXYXYZZZ";
    w.targetLength = expected.size();
    w.adler32 = modelAdler32(
        std::span(reinterpret_cast<const std::uint8_t*>(expected.data()), expected.size()));
    const VcdiffBytes patch = VcdiffPatch().window(w).bytes();
    const vcdiff::Result result = vcdiff::apply(abcSource, patch);
    ASSERT_EQ(result.outcome, vcdiff::Outcome::Applied);
    EXPECT_EQ(std::string(result.target.begin(), result.target.end()), expected);
}

// A window whose segment is an earlier part of the target (VCD_TARGET), and
// a window without any segment.
TEST(Vcdiff, TargetSegmentsCopyEarlierWindows) {
    VcdiffWindow first;
    first.indicator = 1;
    first.segmentLength = 8;
    first.targetLength = 8;
    first.inst = {op::copy(0, 8)};
    first.addr = {0};
    VcdiffWindow second;
    second.indicator = 2;
    second.segmentLength = 4;
    second.segmentOffset = 2;
    second.targetLength = 6;
    second.inst = {op::copy(0, 4), op::add(2)};
    second.addr = {0};
    second.data = {'!', '?'};
    VcdiffWindow third;
    third.targetLength = 2;
    third.inst = {op::add(2)};
    third.data = {'o', 'k'};
    const VcdiffBytes patch = VcdiffPatch().window(first).window(second).window(third).bytes();
    const vcdiff::Result result = vcdiff::apply(abcSource, patch);
    ASSERT_EQ(result.outcome, vcdiff::Outcome::Applied);
    EXPECT_EQ(std::string(result.target.begin(), result.target.end()), "ABCDEFGHCDEF!?ok");
    EXPECT_EQ(vcdiff::describe(patch).windows, 3u);

    second.segmentOffset = 5; // 5 + 4 reaches past the 8 bytes written so far
    const VcdiffBytes beyond = VcdiffPatch().window(first).window(second).bytes();
    EXPECT_EQ(vcdiff::apply(abcSource, beyond).outcome, vcdiff::Outcome::Damaged);
}

// The default code table's string with one change: opcode 3, ADD of 2 bytes,
// becomes RUN of 2. The change travels as a delta against the default
// string: COPY 3 bytes, ADD the new type, COPY the other 1532 bytes.
VcdiffBytes customTableDelta() {
    VcdiffWindow w;
    w.indicator = 1;
    w.segmentLength = 1536;
    w.targetLength = 1536;
    w.inst = {op::copy(0, 0), 3, op::add(1), op::copy(0, 0), 0x8B, 0x7C}; // 1532
    w.addr = {0, 4};
    w.data = {2};
    return VcdiffPatch().window(w).bytes();
}

TEST(Vcdiff, CustomCodeTable) {
    // Cache sizes of one NEAR and six SAME sets keep the default's 9 modes.
    VcdiffWindow w;
    w.indicator = 1;
    w.segmentLength = 8;
    w.targetLength = 6;
    w.inst = {3, op::copy(2, 4)}; // RUN 2 of '*', then NEAR[0] + 1 -> 1: BCDE
    w.data = {'*'};
    w.addr = {1};
    // The first COPY's NEAR[0] is 0 at the start of the window.
    VcdiffBytes patch = VcdiffPatch(0x02).codeTable(1, 6, customTableDelta()).window(w).bytes();
    vcdiff::Result result = vcdiff::apply(abcSource, patch);
    ASSERT_EQ(result.outcome, vcdiff::Outcome::Applied);
    EXPECT_EQ(std::string(result.target.begin(), result.target.end()), "**BCDE");

    // Two NEAR and no SAME sets allow 4 modes, fewer than the table uses.
    patch = VcdiffPatch(0x02).codeTable(2, 0, customTableDelta()).window(w).bytes();
    EXPECT_EQ(vcdiff::apply(abcSource, patch).outcome, vcdiff::Outcome::Damaged);
    // A table delta that does not make 1536 bytes.
    VcdiffWindow shortTable;
    shortTable.indicator = 1;
    shortTable.segmentLength = 1536;
    shortTable.targetLength = 1000;
    shortTable.inst = {op::copy(0, 0), 0x87, 0x68};
    shortTable.addr = {0};
    patch = VcdiffPatch(0x02)
                .codeTable(1, 6, VcdiffPatch().window(shortTable).bytes())
                .window(w)
                .bytes();
    EXPECT_EQ(vcdiff::apply(abcSource, patch).outcome, vcdiff::Outcome::Damaged);
    // A table inside the table's delta.
    patch = VcdiffPatch(0x02)
                .codeTable(1, 6,
                           VcdiffPatch(0x02).codeTable(1, 6, customTableDelta()).window(w).bytes())
                .window(w)
                .bytes();
    EXPECT_EQ(vcdiff::apply(abcSource, patch).outcome, vcdiff::Outcome::Damaged);
}

VcdiffWindow plainWindow() {
    VcdiffWindow w;
    w.indicator = 1;
    w.segmentLength = 8;
    w.targetLength = 6;
    w.inst = {op::copy(0, 4), op::add(2)};
    w.addr = {0};
    w.data = {'x', 'y'};
    return w;
}

VcdiffBytes withWindow(VcdiffPatch patch, const VcdiffWindow& w) {
    return patch.window(w).bytes();
}

template <class Change> VcdiffBytes changed(Change change) {
    VcdiffWindow w = plainWindow();
    change(w);
    return VcdiffPatch().window(w).bytes();
}

TEST(Vcdiff, MalformedPatchesAreDamaged) {
    const struct {
        const char* what;
        VcdiffBytes patch;
    } rows[] = {
        {"well formed, for reference", {}},
        {"no window", VcdiffPatch().bytes()},
        {"bad magic",
         [] {
             auto b = withWindow(VcdiffPatch(), plainWindow());
             b[0] = 0xD7;
             return b;
         }()},
        {"version 1", withWindow(VcdiffPatch(0, 1), plainWindow())},
        {"unknown header bit", withWindow(VcdiffPatch(0x08), plainWindow())},
        {"unknown secondary id", withWindow(VcdiffPatch(0x01).byte(3), plainWindow())},
        {"app header longer than the patch", VcdiffPatch(0x04).integer(1000).bytes()},
        {"integer beyond 64 bits",
         VcdiffPatch(0x04)
             .raw(std::array<std::uint8_t, 11>{0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
                                               0x80, 0x00})
             .bytes()},
        {"delta indicator without compressor",
         changed([](VcdiffWindow& w) { w.deltaIndicator = 1; })},
        {"unknown window bit", changed([](VcdiffWindow& w) { w.indicator |= 8; })},
        {"source and target segment", changed([](VcdiffWindow& w) { w.indicator |= 2; })},
        {"encoding length too long", changed([](VcdiffWindow& w) { w.encodingLengthError = 1; })},
        {"encoding length too short", changed([](VcdiffWindow& w) { w.encodingLengthError = -1; })},
        {"window target over 256 MiB",
         changed([](VcdiffWindow& w) { w.targetLength = (std::uint64_t{256} << 20) + 1; })},
        {"target longer than the instructions",
         changed([](VcdiffWindow& w) { w.targetLength = 7; })},
        {"target shorter than the instructions",
         changed([](VcdiffWindow& w) { w.targetLength = 5; })},
        {"data left over", changed([](VcdiffWindow& w) { w.data.push_back('z'); })},
        {"address left over", changed([](VcdiffWindow& w) { w.addr.push_back(0); })},
        {"ADD beyond the data", changed([](VcdiffWindow& w) { w.data.pop_back(); })},
        {"RUN without data", changed([](VcdiffWindow& w) {
             w.inst = {op::run, 6};
             w.data.clear();
             w.addr.clear();
         })},
        {"copy address not yet written", changed([](VcdiffWindow& w) { w.addr = {8}; })},
        {"copy across the segment's end", changed([](VcdiffWindow& w) { w.addr = {5}; })},
        {"HERE address before the start", changed([](VcdiffWindow& w) {
             w.inst = {op::copy(1, 4), op::add(2)};
             w.addr = {9};
         })},
        {"copy without an address", changed([](VcdiffWindow& w) { w.addr.clear(); })},
        {"size missing after the opcode", changed([](VcdiffWindow& w) { w.inst = {op::add(0)}; })},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const VcdiffBytes& patch =
            row.patch.empty() ? withWindow(VcdiffPatch(), plainWindow()) : row.patch;
        const vcdiff::Outcome expected =
            row.patch.empty() ? vcdiff::Outcome::Applied : vcdiff::Outcome::Damaged;
        EXPECT_EQ(vcdiff::apply(abcSource, patch).outcome, expected);
    }
}

// A patch declaring more than 4 GiB in all is refused before anything is
// allocated: 17 windows of 256 MiB, each one RUN.
TEST(Vcdiff, TotalTargetIsCapped) {
    VcdiffWindow w;
    w.targetLength = std::uint64_t{256} << 20;
    w.inst = {op::run, 0x81, 0x80, 0x80, 0x80, 0x00};
    w.data = {0};
    VcdiffPatch patch;
    for (int i = 0; i < 17; ++i) {
        patch.window(w);
    }
    const vcdiff::Summary summary = vcdiff::describe(patch.bytes());
    EXPECT_FALSE(summary.wellFormed);
    EXPECT_EQ(vcdiff::apply({}, patch.bytes()).outcome, vcdiff::Outcome::Damaged);
}

// Compressed sections: a declared size of 0, a size out of proportion to
// the window, and bytes that are no compressed stream at all.
TEST(Vcdiff, HostileCompressedSectionsFail) {
    for (const std::uint8_t id : std::array<std::uint8_t, 3>{1, 2, 16}) {
        SCOPED_TRACE(int{id});
        const auto compressedData = [&](VcdiffBytes section) {
            VcdiffWindow w = plainWindow();
            w.deltaIndicator = 1;
            w.data = std::move(section);
            return withWindow(VcdiffPatch(0x01).byte(id), w);
        };
        EXPECT_EQ(vcdiff::apply(abcSource, compressedData({0x00, 0x12, 0x34})).outcome,
                  vcdiff::Outcome::Damaged);
        EXPECT_EQ(vcdiff::apply(abcSource, compressedData({0x84, 0x80, 0x80, 0x00, 0x12})).outcome,
                  vcdiff::Outcome::Damaged);
        EXPECT_EQ(vcdiff::apply(abcSource, compressedData({0x02, 0xFF, 0xFF, 0xFF, 0xFF})).outcome,
                  vcdiff::Outcome::Damaged);
        EXPECT_EQ(vcdiff::apply(abcSource, compressedData({0x02})).outcome,
                  vcdiff::Outcome::Damaged);
    }
}

} // namespace
