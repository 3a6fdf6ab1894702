#include "e2e/case_inputs.h"

#include <filesystem>
#include <limits>
#include <string>

#include "bps_crcs.h"
#include "patch/ups.h"
#include "patch_builders.h"
#include "rom_builders.h"
#include "ups_builder.h"
#include "vectors.h"

using namespace testing_support;

namespace e2e {
namespace {

ByteList list(const Bytes& bytes) {
    return toBytes(bytes);
}

ByteList data(const std::string& relative) {
    return testData(relative);
}

ByteList firstBytes(ByteList bytes, std::size_t count) {
    bytes.resize(count);
    return bytes;
}

ByteList withByteFlipped(ByteList bytes, std::size_t at) {
    bytes.at(at) ^= 0x01;
    return bytes;
}

Bytes image(const ByteList& bytes) {
    return Bytes(bytes.begin(), bytes.end());
}

// The source, the N64 image and the target the patch reports and applies are made of.
Bytes snesSource() {
    return makeSnes(0x8000, false, false, "SOURCE");
}
Bytes z64() {
    return makeNintendo64(0x1000, N64Order::Z64);
}
Bytes target() {
    return filled(16, 0x42);
}

// 3 MiB (or less) of 0xFF fill after a last data byte at 2 MiB - 1.
Bytes overdumped(std::size_t size) {
    Bytes rom = filled(size, 0xFF);
    rom[(2 << 20) - 1] = 0x00;
    return rom;
}

// A LoROM image as an assembler leaves it, its checksum pair 00 00 00 00.
Bytes assembledSnes() {
    return makeAssembledSnes(0x80000, 0x7FC0, 0x20);
}

// A 6105 image of 8 MiB whose checksums are right, before any byte swapping: they
// cover its first 0x101000 bytes, the boot code included.
Bytes n64Of6105WithChecksums() {
    Bytes rom = makeNintendo64WithBootCode(n64Variants[4].crc32, 8u << 20);
    putN64Checksums(rom, n64Variants[4].crc1, n64Variants[4].crc2);
    return rom;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A DAT of 50 MB in one attribute: scanned once, then refused by its length.
ByteList datWithHugeAttribute() {
    std::string text = "<datafile><game name=\"";
    text.append(50u << 20, 'a');
    text += "\"/></datafile>";
    return list(textImage(text));
}

// A DAT of 100000 elements each opened inside the last.
ByteList datNestedDeep() {
    std::string text = "<datafile>";
    for (int i = 0; i < 100000; ++i) {
        text += "<g>";
    }
    return list(textImage(text));
}

struct Input {
    std::string_view name;
    ByteList (*make)();
};

// clang-format off
constexpr Input inputs[] = {
    {"empty", [] { return ByteList{}; }},
    {"bytes-1", [] { return ByteList{1}; }},
    {"bytes-1-2-3-4", [] { return ByteList{1, 2, 3, 4}; }},
    {"bytes-1-2-3-4-5", [] { return ByteList{1, 2, 3, 4, 5}; }},
    {"bytes-2-1-4-3-5", [] { return ByteList{2, 1, 4, 3, 5}; }},
    {"bytes-1-7-3-4", [] { return ByteList{1, 7, 3, 4}; }},
    {"bytes-0-7", [] { return ByteList{0, 7}; }},
    {"fill-100-01", [] { return list(filled(100, 1)); }},
    {"fill-512-01", [] { return list(filled(512, 1)); }},
    {"fill-1023-55", [] { return list(filled(1023, 0x55)); }},
    {"fill-1024-00", [] { return list(filled(1024)); }},
    {"fill-4096-00", [] { return list(filled(4096)); }},
    {"fill-5000-12", [] { return list(filled(5000, 0x12)); }},
    {"fill-8192-00", [] { return list(filled(8192)); }},
    {"fill-65501-01", [] { return list(filled(65501, 0x01)); }},
    {"noise-256k", [] { return list(noise(0x40000, 5)); }},
    {"overdumped-3m", [] { return list(overdumped(3 << 20)); }},
    {"overdumped-3m-trimmed", [] { return list(overdumped(2 << 20)); }},

    // Game Boy and Game Boy Advance
    {"gb", [] { return list(makeGameBoy()); }},
    {"gb-behind-copier-header", [] { return list(withCopierHeader(makeGameBoy(), 0xAA)); }},
    {"gb-quillon-13", [] { return list(makeGameBoy(0x8000, "QUILLON", 0x13)); }},
    {"gb-zelda-1b-both-checksums-wrong", [] {
         Bytes rom = makeGameBoy(0x8000, "ZELDA", 0x1B);
         rom[0x14D] ^= 0x5A;
         rom[0x143] = 0xC0;
         return list(rom);
     }},
    {"gb-quillon-01-header-checksum-zero", [] {
         Bytes rom = makeGameBoy(0x8000, "QUILLON", 0x01);
         rom[0x14D] = 0;
         return list(rom);
     }},
    {"gb-quillon-01-repaired",
     [] { return list(withGameBoyGlobalChecksum(makeGameBoy(0x8000, "QUILLON", 0x01))); }},
    {"gba-quillonadv", [] { return list(makeGameBoyAdvance(0x600, "QUILLONADV", "AQLE")); }},
    {"gba-without-game-code", [] { return list(makeGameBoyAdvance(0x100, "X", "")); }},

    // Super Nintendo
    {"snes-1m-lorom-copier-header",
     [] { return list(makeSnes(0x100000, false, true, "SUPER QUILLON")); }},
    {"snes-64k-hirom", [] { return list(makeSnes(0x10000, true, false, "HIGH")); }},
    {"snes-assembled", [] { return list(assembledSnes()); }},
    {"snes-assembled-repaired", [] { return list(withSnesChecksum(assembledSnes(), 0, 0x7FDC)); }},
    {"snes-source", [] { return list(snesSource()); }},
    {"snes-source-behind-copier-header-00",
     [] { return list(withCopierHeader(snesSource(), 0x00)); }},
    {"snes-source-behind-copier-header-aa",
     [] { return list(withCopierHeader(snesSource(), 0xAA)); }},

    // Genesis and NES
    {"genesis", [] { return list(makeGenesis(0x1000, "QUILLON GENESIS")); }},
    {"nes", [] { return list(makeNes()); }},
    {"nes-with-sega-at-0x100", [] {
         Bytes rom = makeNes(2, 1, 0x10, 0x00);
         putText(rom, 0x100, "SEGA");
         return list(rom);
     }},

    // Nintendo 64
    {"n64-z64", [] { return list(z64()); }},
    {"n64-v64", [] { return list(makeNintendo64(0x1000, N64Order::V64)); }},
    {"n64-n64", [] { return list(makeNintendo64(0x1000, N64Order::N64)); }},
    {"n64-z64-4099", [] { return list(makeNintendo64(4099)); }},
    {"n64-v64-4099", [] { return list(makeNintendo64(4099, N64Order::V64)); }},
    {"n64-v64-alphabet",
     [] { return list(makeNintendo64(0x1000, N64Order::V64, "ABCDEFGHIJKLMNOPQRST")); }},
    {"n64-magic-only", [] { return ByteList{0x80, 0x37, 0x12, 0x40}; }},
    {"n64-6101-checksums-zero",
     [] { return list(makeNintendo64OfVariant(1, N64Order::Z64, false)); }},
    {"n64-6101-checksums-right",
     [] { return list(makeNintendo64OfVariant(1, N64Order::Z64, true)); }},
    {"n64-6105-v64-checksums-zero",
     [] { return list(makeNintendo64OfVariant(4, N64Order::V64, false)); }},
    {"n64-6105-v64-checksums-right",
     [] { return list(makeNintendo64OfVariant(4, N64Order::V64, true)); }},
    {"n64-6106-n64-checksums-zero",
     [] { return list(makeNintendo64OfVariant(5, N64Order::N64, false)); }},
    {"n64-6106-n64-checksums-right",
     [] { return list(makeNintendo64OfVariant(5, N64Order::N64, true)); }},
    {"n64-unknown-boot-code", [] { return list(makeNintendo64WithBootCode(0x01020304)); }},

    // Patches and what they make
    {"target-16-42", [] { return list(target()); }},
    {"ips-eof-only", [] { return IpsPatch().eof().bytes(); }},
    {"ips-7-at-1", [] { return IpsPatch().record(1, {7}).eof().bytes(); }},
    {"ips-record-and-run",
     [] { return IpsPatch().record(0x10, {1, 2}).run(0x100, 5, 0xAA).eof().bytes(); }},
    {"ips-cut-off-in-second-record",
     [] { return IpsPatch().record(0x10, {1, 2}).raw({0, 0, 1, 0, 9, 7}).bytes(); }},
    {"ips-truncating-to-16k",
     [] { return IpsPatch().record(0, {9}).eof().raw({0x00, 0x40, 0x00}).bytes(); }},
    {"bps-snes-source-to-target", [] { return bpsWritingWhole(snesSource(), target()); }},
    {"bps-snes-source-to-target-patch-crc-spoilt",
     [] { return bpsWritingWhole(snesSource(), target(), true); }},
    {"bps-z64-to-target", [] { return bpsWritingWhole(z64(), target()); }},
    {"bps-sizes-cut-off", [] { return ByteList{'B', 'P', 'S', '1', 0x01, 0x02, 0x03}; }},
    {"ups-snes-source-hunk", [] {
         return UpsPatch(snesSource().size(), 16).hunk(0, {1}).bytes(snesSource(), target());
     }},
    {"ups-snes-source-hunk-patch-crc-spoilt", [] {
         return UpsPatch(snesSource().size(), 16).hunk(0, {1}).bytes(snesSource(), target(), true);
     }},
    {"ups-z64-hunk",
     [] { return UpsPatch(z64().size(), 16).hunk(0, {1}).bytes(z64(), target()); }},
    {"ups-snes-source-no-hunks-patch-crc-spoilt",
     [] { return UpsPatch(snesSource().size(), 16).bytes(snesSource(), target(), true); }},
    {"ups-created-snes-source-to-target",
     [] { return toBytes(*ups::create(snesSource(), target())); }},
    {"ups-sizes-cut-off", [] { return ByteList{'U', 'P', 'S', '1', 0x01}; }},
    {"ups2-magic", [] { return ByteList{'U', 'P', 'S', '2'}; }},
    // open-vcdiff's variant: one window without a segment, its ADD of "abc"
    // interleaved with the instruction in one section.
    {"vcdiff-open-vcdiff-abc",
     [] { return ByteList{0xD6, 0xC3, 0xC4, 'S', 0, 0, 9, 3, 0, 0, 4, 0, 4, 'a', 'b', 'c'}; }},
    {"text-abc", [] { return ByteList{'a', 'b', 'c'}; }},
    {"ups2-magic-and-two-zeros", [] { return ByteList{'U', 'P', 'S', '2', 0, 0}; }},
    {"ips-cut-off-after-a-record", [] { return IpsPatch().record(0, {9}).raw({0, 0}).bytes(); }},
    {"ips-wrong-magic", [] { return ByteList{'P', 'A', 'T', 'C', 'X', 'E', 'O', 'F'}; }},
    {"ips-truncating-to-0", [] { return IpsPatch().record(0, {9}).eof().raw({0, 0, 0}).bytes(); }},
    {"bps-wrong-magic",
     [] { return ByteList{'B', 'P', 'S', '0', 0x84, 0x84, 0x80, 0, 0, 0, 0, 0}; }},
    {"bps-sizes-zero", [] { return ByteList{'B', 'P', 'S', '1', 0, 0, 0, 0, 0, 0, 0, 0}; }},
    {"bps-target-of-0-bytes", [] { return BpsPatch(4, 0).targetRead({1}).bytes(); }},
    // Targets no file can hold, from a 4-byte source.
    {"bps-target-of-2^32+1-bytes",
     [] { return BpsPatch(4, (std::uint64_t{1} << 32) + 1).sourceRead(4).bytes(); }},
    {"bps-target-of-2^63-bytes",
     [] { return BpsPatch(4, std::uint64_t{1} << 63).sourceRead(4).bytes(); }},
    {"bps-target-of-2^64-1-bytes",
     [] { return BpsPatch(4, std::numeric_limits<std::uint64_t>::max()).sourceRead(4).bytes(); }},
    {"bytes-1-2-3", [] { return ByteList{1, 2, 3}; }},
    {"zero-16m+1", [] { return ByteList((std::size_t{1} << 24) + 1, 0); }},
    {"letter-x", [] { return ByteList{'X'}; }},
    {"vcdiff-magic-cut-off", [] { return ByteList{0xD6, 0xC3, 0xC4}; }},

    // Large images: the program reads them only in their header window (the Genesis
    // checksum reads all), and reports what the whole image holds.
    {"n64-v64-64m", [] { return list(makeNintendo64(64u << 20, N64Order::V64)); }},
    {"n64-6105-8m-n64-checksums-right",
     [] { return list(inN64Order(n64Of6105WithChecksums(), N64Order::N64)); }},
    {"n64-6105-8m-last-checksummed-word-changed", [] {
         Bytes rom = n64Of6105WithChecksums();
         rom[0x100FFC] ^= 0x80;
         return list(rom);
     }},
    // The ExHiROM header lies far beyond the window, at 0x40FFC0 behind the copier header.
    {"snes-6m-exhirom-copier-header", [] {
         return list(withCopierHeader(makeAssembledSnes(0x600000, 0x40FFC0, 0x35, "EXHIROM"), 0));
     }},
    // The HiROM header behind a copier header ends exactly at the window's end.
    {"snes-32m-hirom-copier-header",
     [] { return list(makeSnes(32u << 20, true, true, "BIG HIROM")); }},
    {"genesis-8m", [] { return list(makeGenesis(8u << 20, "BIG GENESIS")); }},

    // A collection to verify: an iNES and a copier-headered SNES image whose DAT entries
    // hash them without their headers, a bad dump, a stranger, and a file whose size and
    // CRC-32 equal an entry's though its SHA-1 does not.
    {"verify-alpha-nes", [] {
         return list(concat(textImage(std::string("NES\x1A\x01\x01", 6) + std::string(10, '\0')),
                            filled(1024, 'A')));
     }},
    {"verify-beta-sfc", [] { return list(concat(filled(512, 0), filled(1024, 'B'))); }},
    {"fill-100-43", [] { return list(filled(100, 'C')); }},
    {"text-who-am-i", [] { return list(textImage("who am I")); }},
    // "E" x 50 with four bytes that give the CRC-32 of "F" x 54.
    {"verify-zeta-crc-of-another",
     [] { return list(concat(filled(50, 'E'), imageOf({0x8E, 0x42, 0x4B, 0xCF}))); }},
    {"dat-50m-attribute", datWithHugeAttribute},
    {"dat-100000-deep", datNestedDeep},

    // The xdelta3 patches and their inputs (tests/data/vcdiff/make.sh), altered
    {"vcdiff-small-lzma-byte-300-flipped",
     [] { return withByteFlipped(data("vcdiff/small_lzma.xdelta"), 300); }},
    {"vcdiff-small-lzma-first-300",
     [] { return firstBytes(data("vcdiff/small_lzma.xdelta"), 300); }},
    {"vcdiff-large-djw-first-900", [] { return firstBytes(data("vcdiff/large_djw.xdelta"), 900); }},
    {"vcdiff-small-source-byte-4000-flipped",
     [] { return withByteFlipped(data("vcdiff/small_source.bin"), 4000); }},
    {"vcdiff-large-source-byte-34000-flipped",
     [] { return withByteFlipped(data("vcdiff/large_source.bin"), 34000); }},
    {"vcdiff-small-source-behind-copier-header",
     [] { return list(withCopierHeader(data("vcdiff/small_source.bin"), 0x00)); }},
    {"vcdiff-n64-source-v64",
     [] { return list(inN64Order(image(data("vcdiff/n64_source.bin")), N64Order::V64)); }},
};
// clang-format on

} // namespace

std::optional<std::vector<std::uint8_t>> namedInput(std::string_view name) {
    if (name.starts_with("data:")) {
        const std::filesystem::path path =
            std::filesystem::path(QUILLON_TEST_DATA_DIR) / std::string(name.substr(5));
        if (!std::filesystem::is_regular_file(path)) {
            return std::nullopt;
        }
        return testData(std::string(name.substr(5)));
    }
    for (const Input& input : inputs) {
        if (input.name == name) {
            return input.make();
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> namedInputNames() {
    std::vector<std::string_view> names;
    for (const Input& input : inputs) {
        names.push_back(input.name);
    }
    return names;
}

} // namespace e2e
