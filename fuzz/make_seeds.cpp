// Writes the seed corpora of the fuzz targets: valid images of every
// platform, and patches with the images they apply to, from the
// test builders and the real-world vectors.
//
//   fuzz_make_seeds OUTPUT_DIR [VECTORS_DIR]
//
// makes OUTPUT_DIR/inspect, /ips, /bps, /repair, /create, /patch_info, /json,
// /vcdiff, /ups, /apply, /archive, /dat_xml and /dat_text. VECTORS_DIR is the
// folder holding images/, pairs/ and patches/ (tests/data/vectors; the test
// archives beside it in ../archives); without it only the builders' seeds are
// written.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "patch/formats.h"

#include "archive_builders.h"
#include "patch_builders.h"
#include "rom_builders.h"
#include "split_input.h"
#include "vcdiff_builder.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

bool failed = false;

void writeSeed(const fs::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        failed = true;
    }
}

std::vector<std::uint8_t> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        failed = true;
        return {};
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One image of each platform and header variant.
std::vector<std::pair<std::string, Bytes>> platformImages() {
    std::vector<std::pair<std::string, Bytes>> images;
    images.emplace_back("gameboy", makeGameBoy(0x1000));
    images.emplace_back("gameboy_color_mbc", makeGameBoy(0x1000, "QUILLON COLOR", 0x1B));
    images.emplace_back("gameboy_advance", makeGameBoyAdvance());
    images.emplace_back("snes_lorom", makeSnes(0x8000));
    images.emplace_back("snes_hirom", makeSnes(0x10000, true));
    images.emplace_back("snes_copier", makeSnes(0x8000, false, true));
    images.emplace_back("snes_assembled", makeAssembledSnes(0x10000, 0x7FC0, 0x20));
    images.emplace_back("genesis", makeGenesis());
    images.emplace_back("n64_z64", makeNintendo64(0x1000, N64Order::Z64));
    images.emplace_back("n64_v64", makeNintendo64(0x1001, N64Order::V64));
    images.emplace_back("n64_n64", makeNintendo64(0x1003, N64Order::N64));
    images.emplace_back("nes", makeNes(1, 1, 0x31, 0x40));
    images.emplace_back("nes_header_only", makeNes(2, 1, 0x10, 0x00, false));
    return images;
}

void writeInspectSeeds(const fs::path& dir, const fs::path& vectors) {
    for (const auto& [name, image] : platformImages()) {
        writeSeed(dir / (name + ".bin"), image);
    }
    if (!vectors.empty()) {
        for (const char* name : {"quillon_demo.gb", "nes_hello.nes"}) {
            writeSeed(dir / name, readWhole(vectors / "images" / name));
        }
    }
}

void writeRepairSeed(const fs::path& dir, const std::string& name, std::uint8_t operation,
                     std::span<const std::uint8_t> image) {
    std::vector<std::uint8_t> seed{operation};
    seed.insert(seed.end(), image.begin(), image.end());
    writeSeed(dir / name, seed);
}

void writeRepairSeeds(const fs::path& dir) {
    // Checksum repair: every platform, with a stale check value where it has one.
    for (auto [name, image] : platformImages()) {
        if (image.size() > 0x200) {
            image[0x14D] ^= 0x5A;
            image[0x18E] ^= 0x5A;
        }
        writeRepairSeed(dir, "fix_" + name, 0, image);
    }
    // Copier header removal: with and without a header.
    writeRepairSeed(dir, "strip_snes", 1, makeSnes(0x8000, false, true));
    writeRepairSeed(dir, "strip_1536", 1, filled(1536, 0xAB));
    writeRepairSeed(dir, "strip_none", 1, filled(1024, 0xAB));
    // Nintendo 64 byte orders, odd tails included.
    writeRepairSeed(dir, "n64_z64", 2, makeNintendo64(0x1000, N64Order::Z64));
    writeRepairSeed(dir, "n64_v64", 2, makeNintendo64(0x1001, N64Order::V64));
    writeRepairSeed(dir, "n64_n64", 2, makeNintendo64(0x1003, N64Order::N64));
    // Save RAM: even and odd sizes.
    writeRepairSeed(dir, "srm_even", 3, imageOf({0x12, 0x34, 0x56, 0x78}));
    writeRepairSeed(dir, "srm_odd", 3, imageOf({0x01, 0x02, 0x03, 0x04, 0x05}));
    // Trim: 0xFF and 0x00 fill behind data, and an image with nothing to cut.
    Bytes overdump = filled(0x4000, 0xFF);
    for (std::size_t i = 0; i < 0x1800; ++i) {
        overdump[i] = static_cast<std::uint8_t>(i * 13);
    }
    writeRepairSeed(dir, "trim_ff", 4, overdump);
    Bytes zeros = filled(0x3000, 0x00);
    zeros[0x1234] = 0x01;
    writeRepairSeed(dir, "trim_00", 4, zeros);
    writeRepairSeed(dir, "trim_none", 4, makeGenesis(0x2002));
}

void writeIpsSeeds(const fs::path& dir, const fs::path& vectors) {
    const Bytes rom = makeGameBoy(0x1000);
    const std::vector<std::pair<std::string, ByteList>> patches{
        {"empty", IpsPatch().eof().bytes()},
        {"records",
         IpsPatch().record(0x134, {'F', 'U', 'Z', 'Z'}).record(0xFFF, {0x01}).eof().bytes()},
        {"run", IpsPatch().run(0x200, 0x40, 0xAA).eof().bytes()},
        {"grow", IpsPatch().record(0x1000, {1, 2, 3, 4}).run(0x2000, 0x10, 0x55).eof().bytes()},
        {"grow_empty_run", IpsPatch().run(0x1800, 0, 0x00).eof().bytes()},
        {"no_eof", IpsPatch().record(0x10, {9, 8, 7}).bytes()},
        {"after_eof", IpsPatch().record(0x10, {9}).eof().raw({0x00, 0x00, 0x01}).bytes()},
        {"cut_header", IpsPatch().record(0x10, {9}).raw({0x00, 0x00}).bytes()},
    };
    for (const auto& [name, patch] : patches) {
        writeSeed(dir / (name + ".bin"), fuzzing::joinInput(rom, patch));
    }
    if (!vectors.empty()) {
        for (const char* name :
             {"pokes_4k", "runs_64k", "grow_zero_32k", "insdel_128k", "blocks_256k"}) {
            const std::string pair = name;
            writeSeed(dir / (pair + ".bin"),
                      fuzzing::joinInput(readWhole(vectors / "pairs" / (pair + ".source.bin")),
                                         readWhole(vectors / "patches" / (pair + ".ips"))));
        }
    }
}

void writeBpsSeeds(const fs::path& dir, const fs::path& vectors) {
    const Bytes source = makeGameBoyAdvance(0x400);
    const std::vector<std::pair<std::string, ByteList>> patches{
        {"identity", BpsPatch(0x400, 0x400).sourceRead(0x400).bytes()},
        {"all_actions", BpsPatch(0x400, 0x500, "fuzz seed")
                            .sourceRead(0x10)
                            .targetRead({1, 2, 3, 4, 5, 6, 7, 8})
                            .sourceCopy(0x20, 0x100)
                            .targetCopy(0x40, 4)
                            .sourceCopy(0x08, -0x50)
                            .targetCopy(0x30, -0x10)
                            .targetRead({0xEE})
                            .targetCopy(0x80, -1)
                            .bytes()},
        {"past_source", BpsPatch(0x400, 0x800).sourceRead(0x600).sourceCopy(0x100, 0x3F0).bytes()},
        {"literal_into_footer", BpsPatch(0x400, 0x40).targetReadCommand(0x30).bytes()},
        {"no_commands", BpsPatch(0x400, 0x100).bytes()},
        {"long_metadata", BpsPatch(0x400, 0x20, std::string(64, 'm')).bytes()},
    };
    for (const auto& [name, patch] : patches) {
        writeSeed(dir / (name + ".bin"), fuzzing::joinInput(source, patch));
    }
    if (!vectors.empty()) {
        const std::vector<std::pair<std::string, std::string>> pairs{
            {"pokes_4k", "pokes_4k.bps"},
            {"grow_zero_32k", "grow_zero_32k.bps"},
            {"runs_64k", "runs_64k.linear.bps"},
            {"runs_64k", "runs_64k.delta.bps"},
            {"insdel_128k", "insdel_128k.linear.bps"},
            {"insdel_128k", "insdel_128k.delta.bps"},
            {"blocks_256k", "blocks_256k.linear.bps"},
            {"blocks_256k", "blocks_256k.delta.bps"},
        };
        for (const auto& [pair, patch] : pairs) {
            writeSeed(dir / (patch + ".bin"),
                      fuzzing::joinInput(readWhole(vectors / "pairs" / (pair + ".source.bin")),
                                         readWhole(vectors / "patches" / patch)));
        }
    }
}

// Original and modified images: edited, moved, grown, shrunk, and the
// small real-world pairs.
void writeCreateSeeds(const fs::path& dir, const fs::path& vectors) {
    const Bytes original = makeGameBoyAdvance(0x400);
    Bytes edited = original;
    edited[0] ^= 0xFF;
    edited[0x200] = 0x42;
    edited[0x3FF] ^= 0x01;
    Bytes moved(original.begin() + 0x100, original.end());
    moved.insert(moved.end(), original.begin(), original.begin() + 0x100);
    Bytes grown = original;
    grown.insert(grown.end(), 0x80, 0x00);
    grown.insert(grown.end(), original.begin(), original.begin() + 0x40);
    const Bytes shrunk(original.begin(), original.begin() + 0x300);
    const std::vector<std::pair<std::string, Bytes>> modified{
        {"identical", original}, {"edited", edited}, {"moved", moved},
        {"grown", grown},        {"shrunk", shrunk},
    };
    for (const auto& [name, image] : modified) {
        writeSeed(dir / (name + ".bin"), fuzzing::joinInput(original, image));
    }
    if (!vectors.empty()) {
        for (const char* name : {"pokes_4k", "runs_64k", "grow_zero_32k"}) {
            const std::string pair = name;
            writeSeed(dir / (pair + ".bin"),
                      fuzzing::joinInput(readWhole(vectors / "pairs" / (pair + ".source.bin")),
                                         readWhole(vectors / "pairs" / (pair + ".target.bin"))));
        }
    }
}

// xdelta3's patches of every compressor with their sources (tests/data/vcdiff
// beside the vectors), built deltas of every address mode and segment kind,
// and starting points for the secondary decoders alone. Delta seeds start
// with the fuzz target's mode byte 0.
void writeVcdiffSeeds(const fs::path& dir, const fs::path& vectors) {
    const auto deltaSeed = [&](const std::string& name, std::span<const std::uint8_t> source,
                               std::span<const std::uint8_t> patch) {
        std::vector<std::uint8_t> seed{0};
        const std::vector<std::uint8_t> joined = fuzzing::joinInput(source, patch);
        seed.insert(seed.end(), joined.begin(), joined.end());
        writeSeed(dir / (name + ".bin"), seed);
    };
    const std::vector<std::uint8_t> source{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    namespace op = vcdiff_op;
    VcdiffWindow modes;
    modes.indicator = 1 | 4;
    modes.segmentLength = 8;
    modes.inst = {op::copy(0, 4),
                  op::copy(1, 4),
                  op::copy(2, 4),
                  op::copy(6, 4),
                  op::add(2),
                  op::copy(0, 0),
                  4,
                  op::run,
                  3};
    modes.addr = {2, 8, 1, 4, 24};
    modes.data = {'X', 'Y', 'Z'};
    modes.targetLength = 25;
    VcdiffWindow again;
    again.indicator = 2;
    again.segmentLength = 4;
    again.segmentOffset = 2;
    again.targetLength = 6;
    again.inst = {op::copy(0, 4), op::add(2)};
    again.addr = {0};
    again.data = {'!', '?'};
    deltaSeed("built_modes", source, VcdiffPatch().window(modes).window(again).bytes());
    // open-vcdiff's variant: a COPY and an ADD interleaved with their address
    // and data, and the window's Adler-32 (summed from 0) as an integer.
    deltaSeed("built_open_vcdiff", source,
              std::vector<std::uint8_t>{
                  0xD6, 0xC3, 0xC4, 'S',  0x00, 0x05,           8, 0,          14,  6,  0, 0, 5,
                  0,    0xAA, 0xB4, 0x82, 0x72, op::copy(0, 4), 2, op::add(2), '!', '?'});
    deltaSeed(
        "built_apphead", source,
        VcdiffPatch(0x05).byte(2).integer(3).byte('a').byte('/').byte('b').window(again).bytes());
    if (!vectors.empty()) {
        const fs::path data = vectors.parent_path() / "vcdiff";
        for (const char* name :
             {"small_none", "small_lzma", "small_djw", "small_fgk", "small_lzma_nochecksum"}) {
            deltaSeed(name, readWhole(data / "small_source.bin"),
                      readWhole(data / (std::string(name) + ".xdelta")));
        }
        deltaSeed("large_djw", readWhole(data / "large_source.bin"),
                  readWhole(data / "large_djw.xdelta"));
        deltaSeed("text_fgk", readWhole(data / "text_source.bin"),
                  readWhole(data / "text_fgk.xdelta"));
        deltaSeed("nosource_djw", {}, readWhole(data / "nosource_djw.xdelta"));
    }
    // Mode, output size, then sections with their lengths.
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> sections{
        {"djw_section", {1, 0, 4, 0, 6, 0x00, 0x7F, 0x21, 0x43, 0x65, 0x87}},
        {"lzma_sections", {2, 0, 4, 0, 4, 0xFD, '7', 'z', 'X', 0, 2, 0x00, 0x04}},
        {"fgk_sections", {3, 0, 2, 0, 3, 0x41, 0x82, 0x05, 0, 1, 0x03}},
    };
    for (const auto& [name, seed] : sections) {
        writeSeed(dir / (name + ".bin"), seed);
    }
}

// UPS: created patches with their sources (grown, shrunk, edited), and the
// real-world pairs joined as original and modified images.
void writeUpsSeeds(const fs::path& dir, const fs::path& vectors) {
    const Bytes original = makeGameBoyAdvance(0x400);
    Bytes edited = original;
    edited[0x10] ^= 0x5A;
    edited[0x11] ^= 0x01;
    edited[0x300] = 0x42;
    Bytes grown = original;
    grown.insert(grown.end(), 0x40, 0x11);
    const Bytes shrunk(original.begin(), original.begin() + 0x100);
    for (const auto& [name, modified] : std::vector<std::pair<std::string, Bytes>>{
             {"edited", edited}, {"grown", grown}, {"shrunk", shrunk}}) {
        writeSeed(dir / ("patch_" + name + ".bin"),
                  fuzzing::joinInput(original, *ups::create(original, modified)));
        writeSeed(dir / ("pair_" + name + ".bin"), fuzzing::joinInput(original, modified));
    }
    if (!vectors.empty()) {
        for (const char* name : {"pokes_4k", "runs_64k"}) {
            const std::string pair = name;
            writeSeed(dir / (pair + ".bin"),
                      fuzzing::joinInput(readWhole(vectors / "pairs" / (pair + ".source.bin")),
                                         readWhole(vectors / "pairs" / (pair + ".target.bin"))));
        }
    }
}

// --apply: a patch of every format with the ROM it was made for, and with a
// copier header or in the .v64 order in front of it.
void writeApplySeeds(const fs::path& dir) {
    const Bytes z64 = makeNintendo64(0x1000, N64Order::Z64);
    const Bytes v64 = makeNintendo64(0x1000, N64Order::V64);
    const Bytes snes = makeSnes(0x8000);
    const Bytes headered = makeSnes(0x8000, false, true);
    Bytes modified = z64;
    modified[0x40] ^= 0xFF;
    Bytes snesModified = snes;
    snesModified[0x100] ^= 0x0F;
    const std::vector<std::pair<std::string, ByteList>> seeds{
        {"ips", fuzzing::joinInput(z64, IpsPatch().record(0x40, {1, 2}).eof().bytes())},
        {"bps", fuzzing::joinInput(z64, toBytes(*bps::create(z64, modified)))},
        {"bps_v64", fuzzing::joinInput(v64, toBytes(*bps::create(z64, modified)))},
        {"ups", fuzzing::joinInput(z64, toBytes(*ups::create(z64, modified)))},
        {"ups_backwards", fuzzing::joinInput(modified, toBytes(*ups::create(z64, modified)))},
        {"ups_headered", fuzzing::joinInput(headered, toBytes(*ups::create(snes, snesModified)))},
        {"vcdiff_header", fuzzing::joinInput(z64, ByteList{0xD6, 0xC3, 0xC4, 0x00, 0x00})},
    };
    for (const auto& [name, seed] : seeds) {
        writeSeed(dir / (name + ".bin"), seed);
    }
}

// The test archives of every codec, and zips built in code (a zstd member, a
// member declaring 4 GiB).
void writeArchiveSeeds(const fs::path& dir, const fs::path& vectors) {
    const std::string text = "QUILLON ";
    const std::vector<std::uint8_t> content(text.begin(), text.end());
    std::vector<std::uint8_t> zstd = content;
    zstd.insert(zstd.end(), 16, 'Z');
    writeSeed(dir / "zstd.zip", makeZip({{"zstd.bin", 93, makeZstdFrame(text, 'Z', 16), zstd, {}},
                                         {"stored.bin", 0, content, content, {}}}));
    writeSeed(dir / "zip64.zip",
              makeZip({{"huge.bin", 8, {0x03, 0x00}, {}, std::uint64_t{1} << 32}}));
    if (vectors.empty()) {
        return;
    }
    const fs::path archives = vectors.parent_path() / "archives";
    for (const char* name : {"methods.zip", "lzma.zip", "lzma.7z", "lzma2.7z", "ppmd.7z", "bcj.7z",
                             "encrypted.zip", "encrypted.7z", "nested.zip"}) {
        writeSeed(dir / name, readWhole(archives / name));
    }
}

void writeText(const fs::path& path, std::string_view text) {
    writeSeed(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

// Small DATs shaped as the databases write them: header, a multi-ROM game, a
// bad dump and a nodump, every hash kind, names that need escaping.
void writeDatSeeds(const fs::path& xml, const fs::path& text) {
    writeText(xml / "logiqx.dat", R"dat(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management Datafile//EN" "http://www.logiqx.com/Dats/datafile.dtd">
<datafile>
	<header><name>Set &amp; Co</name><version>1</version></header>
	<game name="A &quot;B&quot; (World)">
		<description>A</description>
		<rom name="a.nes" size="40960" crc="3610A686" md5="5D41402ABC4B2A76B9719D911017C592" sha1="AAF4C61DDCC5E8A2DABEDE0F3B482CD9AEA9434D" status="verified"/>
		<rom name="b.bin" size="0x10" crc="1" status="baddump"/>
		<rom name="c.bin" status="nodump"/>
	</game>
	<machine name="m"><rom name="m.bin" size="7" sha256="2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824"/></machine>
</datafile>
)dat");
    writeText(xml / "entities.dat",
              R"dat(<?xml version="1.0"?><!DOCTYPE datafile [<!ENTITY e "&#233;x">]>
<datafile><game name="&e;&e;"><rom name="&lt;&gt;" size="1" crc="00000000"/></game></datafile>
)dat");
    writeText(text / "clrmamepro.dat", R"dat(clrmamepro (
	name "Set & Co"
	version 1
)
game (
	name "A \"B\" (World)"
	rom ( name a.nes size 40960 crc 3610A686 md5 5D41402ABC4B2A76B9719D911017C592 sha1 AAF4C61DDCC5E8A2DABEDE0F3B482CD9AEA9434D flags verified )
	rom ( name "b.bin" size 0x10 crc 1 flags baddump )
	rom ( name c.bin flags nodump )
	extra ( nested ( x "y" ) )
)
machine ( name m rom ( name m.bin size 7 sha256 2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824 ) )
)dat");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [VECTORS_DIR]\n", argv[0]);
        return 2;
    }
    const fs::path output = argv[1];
    const fs::path vectors = argc > 2 ? fs::path(argv[2]) : fs::path();
    for (const char* target :
         {"inspect", "ips", "bps", "repair", "create", "patch_info", "json", "vcdiff", "ups",
          "apply", "archive", "dat_xml", "dat_text", "torrentzip"}) {
        std::error_code error;
        fs::create_directories(output / target, error);
        if (error) {
            std::fprintf(stderr, "cannot create %s\n", (output / target).c_str());
            return 1;
        }
    }
    writeInspectSeeds(output / "inspect", vectors);
    writeRepairSeeds(output / "repair");
    writeIpsSeeds(output / "ips", vectors);
    writeBpsSeeds(output / "bps", vectors);
    writeCreateSeeds(output / "create", vectors);
    // The patch report reads the same ROM and patch pairs; the catalogue
    // line is written for the same images.
    writeIpsSeeds(output / "patch_info", vectors);
    writeBpsSeeds(output / "patch_info", vectors);
    writeInspectSeeds(output / "json", vectors);
    writeVcdiffSeeds(output / "vcdiff", vectors);
    writeUpsSeeds(output / "ups", vectors);
    writeApplySeeds(output / "apply");
    writeUpsSeeds(output / "patch_info", vectors);
    writeArchiveSeeds(output / "archive", vectors);
    writeDatSeeds(output / "dat_xml", output / "dat_text");
    // Two members, one of them empty, for the TorrentZip writer.
    const std::uint8_t members[] = {5,   'B', '.', 'b', 'i', 'n', 0,   3, 'x', 'y',
                                    'z', 5,   'a', '/', 'b', '.', 'c', 0, 0};
    writeSeed(output / "torrentzip" / "two", members);
    return failed ? 1 : 0;
}
