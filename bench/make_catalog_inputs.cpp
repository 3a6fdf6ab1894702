// Writes the inputs of the catalogue and inspection benchmarks:
//   big.z64            a 256 MiB Nintendo 64 image (one large file)
//   small/             2,000 images of the common cartridge platforms, 32 KiB
//                      to 1 MiB, the mix of a typical collection
//   n64_64m.z64        a 64 MiB image and n64_64k.z64, 64 KiB, for --inspect
#include <cstdio>
#include <filesystem>
#include <string>

#include "io/output_file.h"
#include "rom_builders.h"

using namespace testing_support;

namespace {

// Bytes that do not repeat within a cache line or page, so no digest meets a
// pattern it could take shortcuts on.
void scramble(Bytes& image, std::size_t from, std::uint32_t seed) {
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = from; i < image.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        image[i] = static_cast<std::uint8_t>(x);
    }
}

bool write(const std::filesystem::path& path, const Bytes& image) {
    if (!writeFile(path.string(), image)) {
        std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

Bytes smallImage(int index) {
    const std::size_t sizes[] = {32 << 10, 64 << 10, 128 << 10, 256 << 10, 512 << 10, 1 << 20};
    const std::size_t size = sizes[static_cast<std::size_t>(index) % 6];
    const auto seed = static_cast<std::uint32_t>(index);
    Bytes image;
    switch (index % 5) {
    case 0: // Game Boy: header first, data after it
        image = makeGameBoy(size);
        scramble(image, 0x150, seed);
        break;
    case 1: // NES: iNES header, hashed again without it
        image = makeNes(static_cast<std::uint8_t>(size / 16384 - 1), 2);
        scramble(image, 16, seed);
        break;
    case 2: // Super Nintendo, headerless dumps
        image = makeSnes(std::max<std::size_t>(size, 0x10000));
        scramble(image, 0x10000, seed);
        break;
    case 3: // Genesis: its checksum is summed over the whole image
        image = makeGenesis(size);
        break;
    default: // Game Boy Advance
        image = makeGameBoyAdvance(size);
        scramble(image, 0xC0, seed);
        break;
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder / "small");
    Bytes big = makeNintendo64(256u << 20);
    scramble(big, 0x40, 1);
    Bytes n64 = makeNintendo64(64u << 20);
    scramble(n64, 0x40, 2);
    bool ok = write(folder / "big.z64", big) && write(folder / "n64_64m.z64", n64) &&
              write(folder / "n64_64k.z64", makeNintendo64(64u << 10));
    for (int i = 0; ok && i < 2000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "rom%04d.bin", i);
        ok = write(folder / "small" / name, smallImage(i));
    }
    return ok ? 0 : 1;
}
