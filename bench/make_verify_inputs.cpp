// Writes the inputs of the verification benchmark (bench/verify.sh):
//   big.dat          a Logiqx DAT of 300,000 games of one ROM each, about
//                    100 MB, shaped as No-Intro writes them
//   plain/           2,000 images of 16 KiB to 1 MiB (1.07 GiB in all), a
//                    fifth of them iNES images whose entries leave out the
//                    header; half of each image's 4 KiB blocks are filler,
//                    so that they compress about as ROMs do
//   collection.dat   the DAT of the 2,000 images
// The zipped copy of plain/ is made by the script with Debian's zip.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/json_lines.h"
#include "hash/digests.h"
#include "io/output_file.h"

namespace {

std::uint64_t next(std::uint64_t& state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state;
}

Bytes image(int index) {
    // Sizes average 560 KiB, as in a 1.07 GiB collection of 2,000 files.
    const std::size_t kib[] = {16, 64, 256, 512, 1024, 1488};
    const std::size_t size = kib[static_cast<std::size_t>(index) % 6] << 10;
    Bytes bytes(size);
    std::uint64_t state = static_cast<std::uint64_t>(index) + 1;
    for (std::size_t block = 0; block < size; block += 4096) {
        const bool filler = (next(state) >> 33) % 2 == 0;
        const auto fill = static_cast<std::uint8_t>(next(state) >> 40);
        for (std::size_t i = block; i < block + 4096 && i < size; i += 8) {
            const std::uint64_t v = filler ? fill : next(state);
            for (std::size_t k = 0; k < 8 && i + k < size; ++k) {
                bytes[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
            }
        }
    }
    if (index % 5 == 1) {
        const std::uint8_t header[16] = {'N', 'E', 'S', 0x1A, 2, 1};
        std::copy(std::begin(header), std::end(header), bytes.begin());
    }
    return bytes;
}

void romElement(std::ofstream& out, const std::string& name, std::uint64_t size, const Digests& d) {
    out << "\t<game name=\"" << name << "\">\n\t\t<description>" << name
        << "</description>\n\t\t<rom name=\"" << name << ".bin\" size=\"" << size << "\" crc=\""
        << crcText(d.crc32) << "\" md5=\"" << hexLower(d.md5) << "\" sha1=\"" << hexLower(d.sha1)
        << "\" sha256=\"" << hexLower(d.sha256) << "\"/>\n\t</game>\n";
}

void header(std::ofstream& out, const std::string& name) {
    out << "<?xml version=\"1.0\"?>\n<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management "
           "Datafile//EN\" "
           "\"http://www.logiqx.com/Dats/datafile.dtd\">\n<datafile>\n\t<header>\n\t\t<name>"
        << name << "</name>\n\t\t<version>1</version>\n\t</header>\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path output = argv[1];
    std::filesystem::create_directories(output / "plain");
    {
        std::ofstream big(output / "big.dat", std::ios::binary);
        header(big, "Benchmark - Big Set");
        std::uint64_t state = 7;
        for (int i = 0; i < 300000; ++i) {
            Digests d;
            d.crc32 = static_cast<std::uint32_t>(next(state) >> 32);
            for (auto& b : d.md5) {
                b = static_cast<std::uint8_t>(next(state) >> 56);
            }
            for (auto& b : d.sha1) {
                b = static_cast<std::uint8_t>(next(state) >> 56);
            }
            for (auto& b : d.sha256) {
                b = static_cast<std::uint8_t>(next(state) >> 56);
            }
            char name[80];
            std::snprintf(name, sizeof name, "Benchmark Game %06d (World) (Rev %d)", i, i % 3);
            romElement(big, name, 1u << (15 + i % 6), d);
        }
        big << "</datafile>\n";
    }
    std::ofstream collection(output / "collection.dat", std::ios::binary);
    header(collection, "Benchmark - Collection");
    for (int i = 0; i < 2000; ++i) {
        const Bytes bytes = image(i);
        char name[64];
        std::snprintf(name, sizeof name, "Image %04d (World)", i);
        if (!writeFile((output / "plain" / (std::string(name) + ".bin")).string(), bytes)) {
            std::fprintf(stderr, "cannot write image %d\n", i);
            return 1;
        }
        const std::size_t skip = i % 5 == 1 ? 16 : 0;
        const std::span<const std::uint8_t> entry = std::span(bytes).subspan(skip);
        romElement(collection, name, entry.size(), computeDigests(entry));
    }
    collection << "</datafile>\n";
    return collection ? 0 : 1;
}
