#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "patch/formats.h"
#include "patch_builders.h"
#include "rom_builders.h"
#include "vectors.h"

namespace {

using testing_support::ByteList;
using testing_support::filled;
using testing_support::imageOf;
using testing_support::IpsPatch;
using testing_support::toBytes;

struct IpsCase {
    const char* name;
    Bytes image;
    ByteList patch;
    std::optional<ByteList> expected; // nullopt: the patch is rejected
};

void expectCases(const std::vector<IpsCase>& cases) {
    for (const IpsCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes image = c.image;
        const bool applied = ips::applyToRom(image, c.patch);
        ASSERT_EQ(applied, c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(toBytes(image), *c.expected);
        }
    }
}

TEST(IpsPatch, AppliesRecordsInFileOrder) {
    const Bytes four = imageOf({1, 2, 3, 4});
    expectCases({
        {"magic and end marker only: an exact copy", four, IpsPatch().eof().bytes(),
         ByteList{1, 2, 3, 4}},
        {"data record of one byte", four, IpsPatch().record(2, {9}).eof().bytes(),
         ByteList{1, 2, 9, 4}},
        {"data records at the first and last byte", four,
         IpsPatch().record(0, {7}).record(3, {8}).eof().bytes(), ByteList{7, 2, 3, 8}},
        {"a later record overwrites an earlier one", four,
         IpsPatch().record(0, {5, 5, 5}).record(1, {6}).eof().bytes(), ByteList{5, 6, 5, 4}},
        {"run-length record inside the image keeps its size", filled(6, 1),
         IpsPatch().run(2, 3, 0xAA).eof().bytes(), ByteList{1, 1, 0xAA, 0xAA, 0xAA, 1}},
        {"no end marker when the last record ends the file", four,
         IpsPatch().record(1, {0xEE, 0xEE}).bytes(), ByteList{1, 0xEE, 0xEE, 4}},
        {"no end marker after a run-length record", four, IpsPatch().run(0, 2, 0).bytes(),
         ByteList{0, 0, 3, 4}},
        {"bytes after the end marker are ignored", four,
         IpsPatch().record(0, {9}).eof().raw({0x00, 0x00, 0x10, 0x00}).bytes(),
         ByteList{9, 2, 3, 4}},
        {"two bytes after the end marker are ignored", four,
         IpsPatch().record(0, {9}).eof().raw({0x00, 0x02}).bytes(), ByteList{9, 2, 3, 4}},
        // A record at offset 0x454F46 would begin with the bytes "EOF": they end the patch.
        {"offset bytes spelling EOF end the patch", four,
         IpsPatch().record(0, {9}).record(0x454F46, {1}).bytes(), ByteList{9, 2, 3, 4}},
    });
}

TEST(IpsPatch, GrowsTheImageToExactlyTheRecordEnd) {
    const Bytes four = imageOf({1, 2, 3, 4});
    expectCases({
        {"data record at the image end", four, IpsPatch().record(4, {5, 6, 7, 8}).eof().bytes(),
         ByteList{1, 2, 3, 4, 5, 6, 7, 8}},
        {"data record past the end fills the gap with 0x00", four,
         IpsPatch().record(6, {9, 9}).eof().bytes(), ByteList{1, 2, 3, 4, 0, 0, 9, 9}},
        {"data record straddling the end", four, IpsPatch().record(3, {7, 7}).eof().bytes(),
         ByteList{1, 2, 3, 7, 7}},
        {"run-length record past the end", four, IpsPatch().run(5, 2, 0xAA).eof().bytes(),
         ByteList{1, 2, 3, 4, 0, 0xAA, 0xAA}},
        {"empty run past the end grows to its offset", four,
         IpsPatch().run(7, 0, 0xAA).eof().bytes(), ByteList{1, 2, 3, 4, 0, 0, 0}},
        {"empty run inside the image changes nothing", four,
         IpsPatch().run(1, 0, 0xAA).eof().bytes(), ByteList{1, 2, 3, 4}},
        {"a record inside a larger image never shrinks it", filled(8, 1),
         IpsPatch().record(0, {2}).eof().bytes(), ByteList{2, 1, 1, 1, 1, 1, 1, 1}},
    });
}

// Three bytes after "EOF" that end the patch are the target size: a longer
// image is cut to it; it never grows one.
TEST(IpsPatch, TruncatesToTheSizeAfterTheEndMarker) {
    const Bytes four = imageOf({1, 2, 3, 4});
    expectCases({
        {"cut to a smaller size", four, IpsPatch().record(0, {9}).eof().raw({0, 0, 2}).bytes(),
         ByteList{9, 2}},
        {"an equal size changes nothing", four, IpsPatch().eof().raw({0, 0, 4}).bytes(),
         ByteList{1, 2, 3, 4}},
        {"a larger size never grows", four, IpsPatch().eof().raw({0, 0, 9}).bytes(),
         ByteList{1, 2, 3, 4}},
        {"cut to nothing", four, IpsPatch().eof().raw({0, 0, 0}).bytes(), ByteList{}},
        {"cut after growth", four, IpsPatch().record(4, {5, 6, 7}).eof().raw({0, 0, 5}).bytes(),
         ByteList{1, 2, 3, 4, 5}},
        {"the size is big-endian", filled(0x10203, 1), IpsPatch().eof().raw({1, 2, 2}).bytes(),
         toBytes(filled(0x10202, 1))},
    });
}

TEST(IpsPatch, GrowsToTheLargestReachableSize) {
    Bytes image = imageOf({1});
    ASSERT_TRUE(ips::applyToRom(image, IpsPatch().run(0xFFFFFF, 0xFFFF, 0x5A).eof().bytes()));
    ASSERT_EQ(image.size(), 16'842'750u);
    EXPECT_EQ(image[0], 1);
    EXPECT_EQ(image[0xFFFFFE], 0);
    EXPECT_EQ(image[0xFFFFFF], 0x5A);
    EXPECT_EQ(image.back(), 0x5A);
}

TEST(IpsPatch, RejectsMalformedPatches) {
    const Bytes four = imageOf({1, 2, 3, 4});
    expectCases({
        {"empty image", Bytes{}, IpsPatch().record(0, {9}).eof().bytes(), std::nullopt},
        {"empty patch", four, ByteList{}, std::nullopt},
        {"shorter than magic and end marker", four, ByteList{'P', 'A', 'T', 'C', 'H', 'E', 'O'},
         std::nullopt},
        {"wrong magic", four, ByteList{'P', 'A', 'T', 'C', 'h', 'E', 'O', 'F'}, std::nullopt},
        {"record header cut after 2 bytes, earlier records valid", four,
         IpsPatch().record(0, {9}).raw({0x00, 0x00}).bytes(), std::nullopt},
        {"record header cut after 4 bytes", four,
         IpsPatch().record(0, {9}).raw({0, 0, 1, 0}).bytes(), std::nullopt},
        {"end marker cut to EO", four, IpsPatch().record(0, {9}).raw({'E', 'O'}).bytes(),
         std::nullopt},
        {"data record runs past the patch end", four,
         IpsPatch().raw({0x00, 0x00, 0x01, 0x00, 0x03, 7, 7}).bytes(), std::nullopt},
        {"run-length record cut to 7 bytes", four, IpsPatch().raw({0, 0, 1, 0, 0, 0, 2}).bytes(),
         std::nullopt},
        {"run-length record cut after a valid record", four,
         IpsPatch().record(0, {9}).raw({0, 0, 1, 0, 0, 0, 2}).bytes(), std::nullopt},
    });
}

// Patches made by a common IPS creator, applied to their source.
TEST(IpsPatch, VectorsGiveTheirTargets) {
    const int applied = testing_support::forEachVectorPatch(
        ".ips", [](const Bytes& source, const Bytes& patch, const Bytes& target) {
            Bytes image = source;
            ASSERT_TRUE(ips::applyToRom(image, patch));
            EXPECT_TRUE(image == target);
        });
    EXPECT_EQ(applied, 5);
}

} // namespace
