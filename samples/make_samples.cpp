// Regenerates the sample images in samples/: small, valid headers of every
// platform with filler data, their check values set by the tool's own repair.
//
//   cmake --build build/release --target quillon_make_samples
//   build/release/quillon_make_samples samples

#include <cstdio>
#include <string>
#include <string_view>

#include "io/output_file.h"
#include "repair/repair.h"

namespace {

void putText(Bytes& image, std::size_t offset, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        image[offset + i] = static_cast<std::uint8_t>(text[i]);
    }
}

void putBytes(Bytes& image, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    std::size_t i = offset;
    for (const std::uint8_t byte : bytes) {
        image[i++] = byte;
    }
}

// Filler that looks like data, so that checksums are not trivially zero.
Bytes filler(std::size_t size, std::uint8_t seed) {
    Bytes image(size);
    std::uint32_t state = seed;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        image[i] = static_cast<std::uint8_t>(state >> 16);
    }
    return image;
}

Bytes gameBoy() {
    Bytes image = filler(0x8000, 1);
    for (std::size_t i = 0x100; i < 0x150; ++i) {
        image[i] = 0;
    }
    putBytes(image, 0x100, {0x00, 0xC3, 0x50, 0x01}); // nop; jp $0150
    putBytes(image, 0x104, {0xCE, 0xED, 0x66, 0x66});
    putText(image, 0x134, "QUILLON DEMO");
    putBytes(image, 0x147, {0x00, 0x00, 0x00, 0x01, 0x33, 0x00});
    fixChecksumImage(image);
    return image;
}

Bytes gameBoyAdvance() {
    Bytes image = filler(0x1000, 2);
    for (std::size_t i = 0x04; i < 0xC0; ++i) {
        image[i] = 0;
    }
    putBytes(image, 0x04, {0x24, 0xFF, 0xAE, 0x51});
    putText(image, 0xA0, "QUILLONDEMO");
    putText(image, 0xAC, "AQDE01");
    image[0xB2] = 0x96;
    fixChecksumImage(image);
    return image;
}

Bytes nes() {
    Bytes image = filler(16 + 2 * 16384 + 8192, 3);
    putBytes(image, 0, {0x4E, 0x45, 0x53, 0x1A, 0x02, 0x01, 0x10, 0x00});
    for (std::size_t i = 8; i < 16; ++i) {
        image[i] = 0;
    }
    return image;
}

Bytes snes(std::size_t size, bool hiRom) {
    Bytes image = filler(size, hiRom ? 5 : 4);
    const std::size_t header = hiRom ? 0xFFC0 : 0x7FC0;
    putText(image, header, "QUILLON DEMO         ");
    putBytes(image, header + 0x15,
             {static_cast<std::uint8_t>(hiRom ? 0x21 : 0x20), 0x00, 0x07, 0x00, 0x01, 0x00, 0x00});
    if (hiRom) {
        putBytes(image, 0x7FDC, {0x00, 0x00, 0x00, 0x00}); // no agreeing LoROM pair
    } else {
        putBytes(image, 0x7FDC, {0xFF, 0xFF, 0x00, 0x00}); // a placeholder pair that agrees
    }
    fixChecksumImage(image);
    return image;
}

Bytes withCopierHeader(const Bytes& cartridge) {
    Bytes image(512, 0);
    image[0] = static_cast<std::uint8_t>(cartridge.size() / 8192);
    image.insert(image.end(), cartridge.begin(), cartridge.end());
    return image;
}

Bytes genesis() {
    Bytes image = filler(0x2000, 6);
    for (std::size_t i = 0x100; i < 0x200; ++i) {
        image[i] = ' ';
    }
    putText(image, 0x100, "SEGA MEGA DRIVE (C)QUIL 2026.DEC");
    putText(image, 0x120, "QUILLON DEMO");
    putText(image, 0x150, "QUILLON DEMO");
    putText(image, 0x180, "GM 00000000-00");
    fixChecksumImage(image);
    return image;
}

Bytes nintendo64ByteSwapped() {
    Bytes image = filler(0x2000, 7);
    for (std::size_t i = 0; i < 0x40; ++i) {
        image[i] = 0;
    }
    putBytes(image, 0, {0x80, 0x37, 0x12, 0x40});
    putText(image, 0x20, "QUILLON DEMO        ");
    putText(image, 0x3B, "NQDE");
    // Stored the way some copiers dump it: the bytes of every 16-bit pair exchanged.
    for (std::size_t k = 0; k + 1 < image.size(); k += 2) {
        std::swap(image[k], image[k + 1]);
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? std::string(argv[1]) + "/" : std::string("samples/");
    struct Sample {
        const char* name;
        Bytes image;
    };
    const Sample samples[] = {
        {"quillon-demo.gb", gameBoy()},
        {"quillon-demo.gba", gameBoyAdvance()},
        {"quillon-demo.nes", nes()},
        {"quillon-demo.sfc", snes(0x20000, false)},
        {"quillon-demo-hirom.smc", withCopierHeader(snes(0x10000, true))},
        {"quillon-demo.md", genesis()},
        {"quillon-demo.v64", nintendo64ByteSwapped()},
        {"quillon-demo.srm", filler(0x2000, 8)},
    };
    int status = 0;
    for (const Sample& sample : samples) {
        if (!writeFile(folder + sample.name, sample.image)) {
            std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), sample.name);
            status = 1;
        }
    }
    return status;
}
