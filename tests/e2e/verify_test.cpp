#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

Bytes repeated(char c, std::size_t count) {
    return Bytes(count, static_cast<std::uint8_t>(c));
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The collection: an iNES image and a copier-headered SNES image whose DAT
// entries hash them without their headers, a bad dump, a stranger, and a file
// whose size and CRC-32 equal an entry's though its SHA-1 does not.
struct Collection {
    Bytes nes = concat(textImage(std::string("NES\x1A\x01\x01", 6) + std::string(10, '\0')),
                       repeated('A', 1024));
    Bytes sfc = concat(repeated('\0', 512), repeated('B', 1024));
    Bytes gamma = repeated('C', 100);
    Bytes stranger = textImage("who am I");
    // "E" x 50 with four bytes that give the CRC-32 of "F" x 54.
    Bytes collision = concat(repeated('E', 50), imageOf({0x8E, 0x42, 0x4B, 0xCF}));

    void writeTo(const e2e::ScratchFolder& scratch) const {
        std::filesystem::create_directories(scratch.path() / "roms");
        scratch.write("roms/Alpha (World).nes", nes);
        scratch.write("roms/beta.sfc", sfc);
        scratch.write("roms/gamma.bin", gamma);
        scratch.write("roms/unknown.bin", stranger);
        scratch.write("roms/zeta.bin", collision);
    }
};

constexpr std::string_view logiqxDat = R"dat(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">
<datafile>
	<header>
		<name>Quillon &amp; Friends</name>
		<version>1</version>
	</header>
	<game name="Alpha (World)">
		<rom name="Alpha (World).nes" size="1024" crc="B737FB1A" sha1="746C3F4D286C531E065E8AF76E0AC0868831C6B4"/>
	</game>
	<game name="Beta &quot;Two&quot; (Japan)">
		<rom name="beta.sfc" size="1024" crc="886f664f" sha1="992cab8f523e291ad24dc6e1e548564f902a4efc"/>
		<rom name="beta (disk 2).sfc" size="16" crc="cffa27d1" sha1="84c8a12c5512bfcb13dc1f38bc5986bf94432460"/>
	</game>
	<game name="Gamma">
		<rom name="gamma.bin" size="100" crc="663653a7" sha1="b8454f99c95ec52ff00fa10298bc6897ce16a4ab" status="baddump"/>
		<rom name="gamma (bonus).bin" status="nodump"/>
	</game>
	<game name="Nothing Dumped">
		<rom name="nothing.bin" size="4" status="nodump"/>
	</game>
	<game name="Zeta">
		<rom name="zeta.bin" size="54" crc="9eb5f1a0" sha1="2674fa257003cf0684020f6d905e727d3fc43a28"/>
	</game>
</datafile>
)dat";

constexpr std::string_view clrmameproDat = R"dat(clrmamepro (
	name "Quillon & Friends"
	version 1
)

game (
	name "Alpha (World)"
	rom ( name "Alpha (World).nes" size 1024 crc B737FB1A sha1 746C3F4D286C531E065E8AF76E0AC0868831C6B4 )
)

game (
	name "Beta \"Two\" (Japan)"
	rom ( name beta.sfc size 1024 crc 886f664f sha1 992cab8f523e291ad24dc6e1e548564f902a4efc )
	rom ( name "beta (disk 2).sfc" size 16 crc cffa27d1 sha1 84c8a12c5512bfcb13dc1f38bc5986bf94432460 )
)

game (
	name "Gamma"
	rom ( name gamma.bin size 100 crc 663653a7 sha1 b8454f99c95ec52ff00fa10298bc6897ce16a4ab flags baddump )
	rom ( name "gamma (bonus).bin" flags nodump )
)

game (
	name "Nothing Dumped"
	rom ( name nothing.bin size 4 flags nodump )
)

game (
	name "Zeta"
	rom ( name zeta.bin size 54 crc 9eb5f1a0 sha1 2674fa257003cf0684020f6d905e727d3fc43a28 )
)
)dat";

constexpr std::string_view expectedReport =
    R"j({"path":"roms/Alpha (World).nes","size":1040,"crc32":"a39510f4","sha1":"e172dcaaecfa8cfc9c4cb6952dcaef56cb2086c3","status":"match","game":"Alpha (World)","rom":"Alpha (World).nes","dump":"good","headerless":true,"named":true})j"
    "\n"
    R"j({"path":"roms/beta.sfc","size":1536,"crc32":"0bc6281f","sha1":"81c2a2e892d25d550737b71f2bcd440027468854","status":"match","game":"Beta \"Two\" (Japan)","rom":"beta.sfc","dump":"good","headerless":true,"named":true})j"
    "\n"
    R"j({"path":"roms/gamma.bin","size":100,"crc32":"663653a7","sha1":"b8454f99c95ec52ff00fa10298bc6897ce16a4ab","status":"match","game":"Gamma","rom":"gamma.bin","dump":"baddump","headerless":false,"named":true})j"
    "\n"
    R"j({"path":"roms/unknown.bin","size":8,"crc32":"1a9cc26a","sha1":"7db370fac0a2d410760f2c597de58d9b88d479a4","status":"unknown"})j"
    "\n"
    R"j({"path":"roms/zeta.bin","size":54,"crc32":"9eb5f1a0","sha1":"ea82cf52e681ae7ccf3448e1d84bbf7ca19552a2","status":"unknown"})j"
    "\n"
    R"j({"path":"gone.bin","error":"unreadable"})j"
    "\n"
    R"j({"game":"Beta \"Two\" (Japan)","missing":["beta (disk 2).sfc"],"have":1})j"
    "\n"
    R"j({"game":"Zeta","missing":["zeta.bin"],"have":0})j"
    "\n"
    R"j({"summary":{"dat":"Quillon & Friends","games":4,"complete":2,"partial":1,"missing":1,"files":6,"matched":3,"unknown":2,"badDumps":1,"unreadable":1}})j"
    "\n";

class Verify : public ::testing::Test {
  protected:
    e2e::ScratchFolder scratch;
    Collection collection;
};

TEST_F(Verify, ReportsEveryCandidateEachIncompleteGameAndTheSummary) {
    collection.writeTo(scratch);
    for (const std::string_view dat : {logiqxDat, clrmameproDat}) {
        scratch.write("set.dat", textImage(dat));
        const e2e::RunResult result =
            e2e::runQuillon({"--verify", "set.dat", "roms", "gone.bin"}, scratch.path());
        EXPECT_EQ(result.out, expectedReport) << dat.substr(0, 10);
        EXPECT_EQ(result.err, ""); // no progress or human line off a terminal
        EXPECT_EQ(result.exitCode, 1);
    }
}

TEST_F(Verify, ExitsZeroWhenEveryFileIsAGoodDump) {
    collection.writeTo(scratch);
    scratch.write("set.dat", textImage(clrmameproDat));
    const e2e::RunResult result = e2e::runQuillon(
        {"--verify", "set.dat", "roms/beta.sfc", "roms/Alpha (World).nes"}, scratch.path());
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find(R"j("complete":1,"partial":1,"missing":2,"files":2,"matched":2,)j"),
              std::string::npos)
        << result.out;
}

TEST_F(Verify, AnUnreadableOrMalformedDatFailsBeforeAnyOutput) {
    collection.writeTo(scratch);
    scratch.write("broken.dat", textImage("<datafile><game name=\"x\"></datafile>"));
    scratch.write("text.dat", textImage("game ( name \"x\" rom ( name y )"));
    scratch.write("empty.dat", Bytes{});
    for (const char* dat : {"missing.dat", "broken.dat", "text.dat", "empty.dat", "roms"}) {
        const e2e::RunResult result = e2e::runQuillon({"--verify", dat, "roms"}, scratch.path());
        EXPECT_EQ(result.out, "") << dat;
        EXPECT_EQ(result.err, "ERROR: Failed to read DAT.\n") << dat;
        EXPECT_EQ(result.exitCode, 1) << dat;
    }
}

TEST_F(Verify, AHostileDatIsRefusedQuickly) {
    // 50 MB in one attribute: scanned once, then refused by its length.
    std::string huge = "<datafile><game name=\"";
    huge.append(50u << 20, 'a');
    huge += "\"/></datafile>";
    scratch.write("huge.dat", textImage(huge));
    std::string deep = "<datafile>";
    for (int i = 0; i < 100000; ++i) {
        deep += "<g>";
    }
    scratch.write("deep.dat", textImage(deep));
    for (const char* dat : {"huge.dat", "deep.dat"}) {
        const e2e::RunResult result = e2e::runQuillon({"--verify", dat, "."}, scratch.path());
        EXPECT_EQ(result.err, "ERROR: Failed to read DAT.\n") << dat;
        EXPECT_EQ(result.exitCode, 1) << dat;
    }
}

} // namespace
