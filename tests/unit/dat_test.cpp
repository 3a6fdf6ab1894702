#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "dat/clrmamepro.h"
#include "dat/dat.h"
#include "dat/logiqx.h"

namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The same small set in both formats, shaped as No-Intro and libretro write
// them: a multi-ROM game, a bad dump, a nodump, upper-case hashes, and names
// that need escaping in each.
constexpr std::string_view logiqx = R"dat(<?xml version="1.0"?>
<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">
<datafile>
	<header>
		<name>Quillon - Test &amp; Set</name>
		<description>ignored</description>
		<version>20240101-000000</version>
	</header>
	<game name="Alpha &quot;Special&quot; (World) (Rev 1)">
		<description>Alpha</description>
		<rom name="Alpha &quot;Special&quot; (World) (Rev 1).nes" size="40960" crc="3610A686" md5="5D41402ABC4B2A76B9719D911017C592" sha1="AAF4C61DDCC5E8A2DABEDE0F3B482CD9AEA9434D" status="verified"/>
	</game>
	<game name="Beta (Japan)">
		<rom name="Beta (Japan) (Track 1).bin" size="0x10" crc="1"/>
		<rom name="Beta (Japan) (Track 2).bin" size="32" crc="0000abcd" status="baddump"/>
		<rom name="Beta (Japan) (Track 3).bin" status="nodump"/>
	</game>
	<machine name="Gamma">
		<rom name="gamma.bin" size="7" sha256="2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824" crc=""/>
		<disk name="ignored" sha1="AAF4C61DDCC5E8A2DABEDE0F3B482CD9AEA9434D"/>
	</machine>
</datafile>
)dat";

constexpr std::string_view logiqxDoctype =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management "
    "Datafile//EN\" \"http://www.logiqx.com/Dats/datafile.dtd\">\n";

constexpr std::string_view clrmamepro = R"dat(clrmamepro (
	name "Quillon - Test & Set"
	description "ignored ( really )"
	version 20240101-000000
	comment "a \"quoted\" word"
)

game (
	name "Alpha \"Special\" (World) (Rev 1)"
	description "Alpha"
	rom ( name "Alpha \"Special\" (World) (Rev 1).nes" size 40960 crc 3610A686 md5 5D41402ABC4B2A76B9719D911017C592 sha1 AAF4C61DDCC5E8A2DABEDE0F3B482CD9AEA9434D flags verified )
)

game (
	rom ( crc 1 size 0x10 name "Beta (Japan) (Track 1).bin" )
	rom ( name "Beta (Japan) (Track 2).bin" size 32 crc 0000abcd flags baddump )
	rom ( name "Beta (Japan) (Track 3).bin" flags nodump )
	name "Beta (Japan)"
	serial "XYZ-123"
	extra ( nested ( deeper "x" ) )
)

machine (
	name Gamma
	rom ( name gamma.bin size 7 sha256 2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824 )
	disk ( name ignored sha1 AAF4C61DDCC5E8A2DABEDE0F3B482CD9AEA9434D )
)
)dat";

TEST(DatParsers, ReadTheSameSetFromBothFormats) {
    for (const std::string_view text : {logiqx, clrmamepro}) {
        SCOPED_TRACE(std::string(text.substr(0, 12)));
        const std::optional<Dat> dat = parseDat(bytesOf(text)).dat;
        ASSERT_TRUE(dat);
        EXPECT_EQ(dat->name, "Quillon - Test & Set");
        EXPECT_EQ(dat->version, "20240101-000000");
        ASSERT_EQ(dat->games.size(), 3u);
        ASSERT_EQ(dat->roms.size(), 5u);
        EXPECT_EQ(dat->games[0].name, "Alpha \"Special\" (World) (Rev 1)");
        EXPECT_EQ(dat->games[1].name, "Beta (Japan)");
        EXPECT_EQ(dat->games[2].name, "Gamma");
        EXPECT_EQ(dat->games[1].firstRom, 1u);
        EXPECT_EQ(dat->games[1].romCount, 3u);

        const DatRom& alpha = dat->roms[0];
        EXPECT_EQ(alpha.name, "Alpha \"Special\" (World) (Rev 1).nes");
        EXPECT_EQ(alpha.size, 40960u);
        EXPECT_EQ(alpha.crc32, 0x3610A686u);
        ASSERT_TRUE(alpha.md5 && alpha.sha1);
        EXPECT_EQ((*alpha.md5)[0], 0x5D);
        EXPECT_EQ((*alpha.sha1)[19], 0x4D);
        EXPECT_FALSE(alpha.sha256);
        EXPECT_EQ(alpha.status, DumpStatus::Verified);

        EXPECT_EQ(dat->roms[1].size, 16u);
        EXPECT_EQ(dat->roms[1].crc32, 1u);
        EXPECT_EQ(dat->roms[1].status, DumpStatus::Good);
        EXPECT_EQ(dat->roms[2].status, DumpStatus::BadDump);
        EXPECT_EQ(dat->roms[3].status, DumpStatus::NoDump);
        EXPECT_FALSE(dat->roms[3].crc32);
        EXPECT_EQ(dat->roms[3].game, 1u);

        const DatRom& gamma = dat->roms[4];
        EXPECT_FALSE(gamma.crc32);
        ASSERT_TRUE(gamma.sha256);
        EXPECT_EQ((*gamma.sha256)[0], 0x2C);
    }
}

TEST(DatParsers, TellTheFormatByTheFirstByteThatIsNotBlank) {
    const std::string bom = "\xEF\xBB\xBF";
    EXPECT_TRUE(parseDat(bytesOf(bom + "\n  <datafile><game name=\"g\"/></datafile>")).dat);
    EXPECT_TRUE(parseDat(bytesOf(bom + "\r\n game ( name g )")).dat);
    // Each text read as the other format is malformed.
    EXPECT_FALSE(parseClrMameProDat(bytesOf(logiqx)).dat);
    EXPECT_FALSE(parseLogiqxDat(bytesOf(clrmamepro)).dat);
}

struct BadDat {
    const char* name;
    std::string text;
    std::uint64_t line; // where the text stops making sense
};

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

std::string billionLaughs() {
    std::string text = "<?xml version=\"1.0\"?><!DOCTYPE datafile [<!ENTITY l0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        text += "<!ENTITY l" + std::to_string(i) + " \"" +
                repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">";
    }
    return text + "]><datafile><header><name>&l9;</name></header></datafile>";
}

TEST(DatParsers, RefuseMalformedAndHostileFiles) {
    const std::string longName(datMaxFieldLength + 1, 'a');
    const BadDat cases[] = {
        {"empty", "", 1},
        {"blank", " \n\t ", 2},
        {"not XML at all", "<datafile>\n<game name=\"x\">\n</datafile>", 3},
        {"another XML root", "<html><game name=\"x\"/></html>", 1},
        {"broken UTF-8", "<datafile><game name=\"\xFF\xFE\"/></datafile>", 1},
        {"entity amplification", billionLaughs(), 1},
        {"nesting deeper than any DAT",
         "<datafile>" + repeat("<a>", datMaxDepth) + repeat("</a>", datMaxDepth) + "</datafile>",
         1},
        {"an attribute longer than any name",
         "<datafile><game name=\"" + longName + "\"/></datafile>", 1},
        {"text longer than any name", "<datafile><x>" + longName + "</x></datafile>", 1},
        {"a comment longer than any name", "<datafile><!--" + longName + "--></datafile>", 1},
        // Undeclared, also where an external DTD might have declared it: the
        // name would lose its text.
        {"an undefined entity in a name",
         std::string(logiqxDoctype) +
             "<datafile>\n<game name=\"A &amp; B\"/>\n<game\n name=\"Pok&eacute;mon\"/></datafile>",
         6},
        {"an undefined entity in text",
         std::string(logiqxDoctype) + "<datafile><header>\n<name>&nbsp;</name></header></datafile>",
         4},
        {"an undefined entity without a DTD", "<datafile><game name=\"&x;\"/></datafile>", 1},
        {"an unterminated string", "game ( name \"abc )", 1},
        {"an unclosed block", "game (\n name abc\n rom ( name x )", 3},
        {"a stray closing parenthesis", "game ( name abc )\n\n )", 3},
        {"a word without a block", "clrmamepro\nname x", 2},
        {"a quoted string longer than any name", "game ( name \"" + longName + "\" )", 1},
        {"a bare word longer than any name", "game ( name " + longName + " )", 1},
        {"parentheses deeper than any DAT",
         "game ( x " + repeat("( ", datMaxDepth + 1) + repeat(") ", datMaxDepth + 1) + ")", 1},
    };
    for (const BadDat& c : cases) {
        const DatParse parsed = parseDat(bytesOf(c.text));
        EXPECT_FALSE(parsed.dat) << c.name;
        EXPECT_EQ(parsed.failedLine, c.line) << c.name;
    }
}

// One malformed value leaves the rest of the DAT usable: its ROM is kept,
// unmatchable, and the value named with its line.
TEST(DatParsers, KeepARomWithAMalformedValueUnmatchable) {
    const struct {
        const char* name;
        std::string text;
        DatBadValue bad;
    } cases[] = {
        {"a SHA-1 of 41 digits",
         std::string(logiqxDoctype) + "<datafile><game name=\"g\">\n<rom name=\"a\" sha1=\"" +
             std::string(41, 'a') + "\" crc=\"12345678\"/></game></datafile>",
         {4, "sha1", std::string(41, 'a')}},
        {"a CRC of nine digits",
         "<datafile><game name=\"g\"><rom name=\"a\" crc=\"123456789\"/></game></datafile>",
         {1, "crc", "123456789"}},
        {"a CRC that is no number",
         "<datafile><game name=\"g\"><rom name=\"a\" crc=\"xyz\"/></game></datafile>",
         {1, "crc", "xyz"}},
        {"a size with thousands separators",
         "game (\n name g\n rom ( name a\n size 32,524,164 crc 1 ) )",
         {4, "size", "32,524,164"}},
        {"a size past 64 bits",
         "game ( name g rom ( name a size 99999999999999999999 ) )",
         {1, "size", "99999999999999999999"}},
        {"an MD5 too short in a text DAT",
         "game ( name g\n\n rom ( name a md5 00112233 ) )",
         {3, "md5", "00112233"}},
    };
    for (const auto& c : cases) {
        const std::optional<Dat> dat = parseDat(bytesOf(c.text)).dat;
        ASSERT_TRUE(dat) << c.name;
        ASSERT_EQ(dat->roms.size(), 1u) << c.name;
        EXPECT_TRUE(dat->roms[0].unmatchable) << c.name;
        ASSERT_EQ(dat->badValues.size(), 1u) << c.name;
        EXPECT_EQ(dat->badValues[0].line, c.bad.line) << c.name;
        EXPECT_EQ(dat->badValues[0].field, c.bad.field) << c.name;
        EXPECT_EQ(dat->badValues[0].value, c.bad.value) << c.name;
    }
    // A CRC without its leading zeros is a value, as before.
    EXPECT_FALSE(
        parseDat(bytesOf("game ( name g rom ( name a crc 1 ) )")).dat->roms[0].unmatchable);
}

TEST(DatParsers, KeepNamesAsTheirBytes) {
    // Character references become UTF-8; a text DAT's bytes pass through.
    const auto xml =
        parseDat(bytesOf("<datafile><game name=\"Pok&#233;mon &lt;1&gt;\"/></datafile>")).dat;
    ASSERT_TRUE(xml);
    EXPECT_EQ(xml->games[0].name, "Pok\xC3\xA9mon <1>");
    const auto text = parseDat(bytesOf("game ( name \"C:\\roms\\x \\\\ \xE9\" )")).dat;
    ASSERT_TRUE(text);
    EXPECT_EQ(text->games[0].name, "C:\\roms\\x \\ \xE9");
}

} // namespace
