#include <gtest/gtest.h>

#include <string>

#include "cli/json_lines.h"
#include "json_check.h"
#include "rom_builders.h"
#include "scan/scan.h"

using namespace testing_support;

namespace {

struct EscapeCase {
    const char* name;
    std::string bytes;
    std::string json;
};

TEST(JsonString, EscapesWhatJsonNeedsKeepsValidUtf8AndEscapesEveryOtherByte) {
    const EscapeCase cases[] = {
        {"plain", "SUPER MARIO", "\"SUPER MARIO\""},
        {"quote and backslash", "A\"B\\C", "\"A\\\"B\\\\C\""},
        {"controls", std::string("\x00\x01\n\x1F\x7F", 5), "\"\\u0000\\u0001\\u000a\\u001f\x7F\""},
        {"two-byte", "caf\xC3\xA9", "\"caf\xC3\xA9\""},
        {"four-byte", "\xF0\x9F\x8E\xAE", "\"\xF0\x9F\x8E\xAE\""},
        {"lone lead", "\xC3", "\"\\u00c3\""},
        {"lone continuation", "\x80z", "\"\\u0080z\""},
        {"overlong", "\xC0\xAF", "\"\\u00c0\\u00af\""},
        {"overlong three-byte", "\xE0\x80\xAF", "\"\\u00e0\\u0080\\u00af\""},
        {"surrogate", "\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
        {"cut off at end", "A\xE2\x82", "\"A\\u00e2\\u0082\""},
        {"invalid lead F5", "\xF5", "\"\\u00f5\""},
        {"highest valid", "\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\""},
    };
    for (const EscapeCase& c : cases) {
        const std::string json = jsonString(c.bytes);
        EXPECT_EQ(json, c.json) << c.name;
        EXPECT_TRUE(isJsonValue(json)) << c.name;
    }
}

TEST(CatalogLine, KeysInOrderAndHostileGameCodeOnOneLine) {
    // A game code may hold any byte: a newline, a quote, an invalid byte.
    Bytes image = makeGameBoyAdvance(0x400, "QUILLON", "");
    put(image, 0xAC, {'\n', '"', 0xFF, 'E'});
    DigestHasher hasher;
    const std::string line = catalogLine(catalogImage("roms/a\"b.gba", image, hasher));
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_TRUE(isJsonValue(line));
    const std::string expectedStart =
        "{\"path\":\"roms/a\\\"b.gba\",\"size\":1024,\"platform\":\"GameBoyAdvance\","
        "\"platformName\":\"Nintendo Game Boy Advance\",\"title\":\"QUILLON     \","
        "\"gameCode\":\"\\u000a\\\"\\u00ffE\",\"copierHeader\":false,\"checksumValid\":";
    EXPECT_EQ(line.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(line.find(",\"details\":\"\",\"crc32\":\""), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 19), ",\"headerless\":null}");
}

TEST(CatalogLine, UnreadableFileCarriesOnlyPathAndError) {
    CatalogRecord record;
    record.path = "gone.sfc";
    EXPECT_EQ(catalogLine(record), "{\"path\":\"gone.sfc\",\"error\":\"unreadable\"}");
}

TEST(CatalogLine, HeaderlessObjectFollowsTheWholeFileDigests) {
    const Bytes image = makeSnes(0x8000, false, true);
    DigestHasher hasher;
    const std::string line = catalogLine(catalogImage("a.smc", image, hasher));
    EXPECT_TRUE(isJsonValue(line));
    const std::size_t at = line.find(",\"headerless\":{\"skip\":512,\"size\":32768,\"crc32\":\"");
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_NE(line.find("\"md5\":\"", at), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 2), "}}");
}

} // namespace
