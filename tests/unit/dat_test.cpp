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
        const std::optional<Dat> dat = parseDat(bytesOf(text));
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
    EXPECT_TRUE(parseDat(bytesOf(bom + "\n  <datafile><game name=\"g\"/></datafile>")));
    EXPECT_TRUE(parseDat(bytesOf(bom + "\r\n game ( name g )")));
    // Each text read as the other format is malformed.
    EXPECT_FALSE(parseClrMameProDat(bytesOf(logiqx)));
    EXPECT_FALSE(parseLogiqxDat(bytesOf(clrmamepro)));
}

struct BadDat {
    const char* name;
    std::string text;
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
        {"empty", ""},
        {"blank", " \n\t "},
        {"not XML at all", "<datafile><game name=\"x\"></datafile>"},
        {"another XML root", "<html><game name=\"x\"/></html>"},
        {"broken UTF-8", "<datafile><game name=\"\xFF\xFE\"/></datafile>"},
        {"a hash of the wrong length",
         "<datafile><game><rom name=\"a\" sha1=\"abcd\"/></game></datafile>"},
        {"a CRC that is no number",
         "<datafile><game><rom name=\"a\" crc=\"xyz\"/></game></datafile>"},
        {"a size past 64 bits",
         "<datafile><game><rom size=\"99999999999999999999\"/></game></datafile>"},
        {"entity amplification", billionLaughs()},
        {"nesting deeper than any DAT",
         "<datafile>" + repeat("<a>", datMaxDepth) + repeat("</a>", datMaxDepth) + "</datafile>"},
        {"an attribute longer than any name",
         "<datafile><game name=\"" + longName + "\"/></datafile>"},
        {"text longer than any name", "<datafile><x>" + longName + "</x></datafile>"},
        {"a comment longer than any name", "<datafile><!--" + longName + "--></datafile>"},
        {"an unterminated string", "game ( name \"abc )"},
        {"an unclosed block", "game ( name abc rom ( name x )"},
        {"a stray closing parenthesis", "game ( name abc ) )"},
        {"a word without a block", "clrmamepro name x"},
        {"a quoted string longer than any name", "game ( name \"" + longName + "\" )"},
        {"a bare word longer than any name", "game ( name " + longName + " )"},
        {"parentheses deeper than any DAT",
         "game ( x " + repeat("( ", datMaxDepth + 1) + repeat(") ", datMaxDepth + 1) + ")"},
        {"a bad hash in a text DAT", "game ( rom ( name a md5 00112233 ) )"},
    };
    for (const BadDat& c : cases) {
        EXPECT_FALSE(parseDat(bytesOf(c.text))) << c.name;
    }
}

TEST(DatParsers, KeepNamesAsTheirBytes) {
    // Character references become UTF-8; a text DAT's bytes pass through.
    const auto xml =
        parseDat(bytesOf("<datafile><game name=\"Pok&#233;mon &lt;1&gt;\"/></datafile>"));
    ASSERT_TRUE(xml);
    EXPECT_EQ(xml->games[0].name, "Pok\xC3\xA9mon <1>");
    const auto text = parseDat(bytesOf("game ( name \"C:\\roms\\x \\\\ \xE9\" )"));
    ASSERT_TRUE(text);
    EXPECT_EQ(text->games[0].name, "C:\\roms\\x \\ \xE9");
}

} // namespace
