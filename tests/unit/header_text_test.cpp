#include <gtest/gtest.h>

#include "base/hex.h"
#include "inspect/header_text.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

struct HeaderTextCase {
    const char* name;
    Bytes image;
    std::uint64_t offset;
    std::size_t length;
    bool sanitise;
    std::string expected;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const HeaderTextCase& c, std::ostream* os) {
    *os << c.name;
}

class HeaderTextTest : public ::testing::TestWithParam<HeaderTextCase> {};

TEST_P(HeaderTextTest, ReadsField) {
    const HeaderTextCase& c = GetParam();
    EXPECT_EQ(readHeaderText(c.image, c.offset, c.length, c.sanitise), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, HeaderTextTest,
    ::testing::Values(
        HeaderTextCase{"ZeroPaddingBecomesSpaces", imageOf({'A', 'B', 0, 0}), 0, 4, true, "AB  "},
        HeaderTextCase{"PrintableBoundsKept", imageOf({0x20, 0x7E, 0x1F, 0x7F, 0x80, 0xFF}), 0, 6,
                       true, "\x20\x7E    "},
        HeaderTextCase{"UnsanitisedEndsAtZero", imageOf({'A', 'B', 0, 'C'}), 0, 4, false, "AB"},
        HeaderTextCase{"UnsanitisedKeepsHighBytes", imageOf({0xFF, 'x'}), 0, 2, false, "\xFFx"},
        HeaderTextCase{"UnsanitisedLeadingZeroIsEmpty", imageOf({0, 'A'}), 0, 2, false, ""},
        HeaderTextCase{"CutByEndOfImage", imageOf({'X', 'A', 'B'}), 1, 5, true, "AB"},
        HeaderTextCase{"OffsetAtEnd", imageOf({'A'}), 1, 4, true, ""},
        HeaderTextCase{"OffsetFarBeyondEnd", imageOf({'A'}), ~0ull, 4, true, ""},
        HeaderTextCase{"TrailingSpacesNotTrimmed", imageOf({' ', 'A', ' ', ' '}), 0, 4, true,
                       " A  "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexDigits, UpperCaseWithoutLeadingZeros) {
    EXPECT_EQ(hexUpper(0), "0");
    EXPECT_EQ(hexUpper(0x13), "13");
    EXPECT_EQ(hexUpper(0x1B), "1B");
    EXPECT_EQ(hexUpper(0x0123), "123");
    EXPECT_EQ(hexUpper(0xFFFF), "FFFF");
}

} // namespace
