#pragma once

// Large inputs for the benchmarks: filler data and patches with many records
// or commands, made in memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "io/rom_file.h"

namespace bench_inputs {

constexpr std::size_t MiB = std::size_t{1} << 20;

inline RomImage pseudoRandom(std::size_t size, std::uint32_t seed) {
    RomImage image(size);
    std::uint64_t state = seed;
    for (std::size_t i = 0; i < size; i += 8) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        for (std::size_t k = 0; k < 8 && i + k < size; ++k) {
            image[i + k] = static_cast<std::uint8_t>(state >> (8 * k));
        }
    }
    return image;
}

inline void putNumber(RomImage& patch, std::uint64_t value) {
    // BPS variable-length number.
    while (true) {
        const std::uint8_t low = value & 0x7F;
        value >>= 7;
        if (value == 0) {
            patch.push_back(static_cast<std::uint8_t>(0x80 | low));
            return;
        }
        patch.push_back(low);
        --value;
    }
}

inline void putCommand(RomImage& patch, unsigned action, std::uint64_t length) {
    putNumber(patch, ((length - 1) << 2) | action);
}

inline void putSigned(RomImage& patch, std::int64_t delta) {
    putNumber(patch, (static_cast<std::uint64_t>(delta < 0 ? -delta : delta) << 1) | (delta < 0));
}

// A 16 MiB image and an IPS patch of 100,000 records spread over it, every
// tenth a run-length record.
inline RomImage ipsPatch(std::size_t imageSize) {
    RomImage patch = {'P', 'A', 'T', 'C', 'H'};
    constexpr std::size_t records = 100000;
    const std::size_t stride = imageSize / records;
    for (std::size_t r = 0; r < records; ++r) {
        const std::size_t offset = r * stride;
        patch.push_back(static_cast<std::uint8_t>(offset >> 16));
        patch.push_back(static_cast<std::uint8_t>(offset >> 8));
        patch.push_back(static_cast<std::uint8_t>(offset));
        if (r % 10 == 9) {
            patch.insert(patch.end(), {0, 0, 0, 64, static_cast<std::uint8_t>(r)});
        } else {
            patch.insert(patch.end(), {0, 32});
            for (int i = 0; i < 32; ++i) {
                patch.push_back(static_cast<std::uint8_t>(r + static_cast<std::size_t>(i)));
            }
        }
    }
    patch.insert(patch.end(), {'E', 'O', 'F'});
    return patch;
}

// A BPS patch from a 32 MiB source to a 32 MiB target made of moved source
// blocks (SourceCopy), repeated target blocks and runs (TargetCopy), kept and
// new bytes (SourceRead, TargetRead).
inline RomImage bpsPatch(std::size_t size) {
    RomImage patch = {'B', 'P', 'S', '1'};
    putNumber(patch, size);
    putNumber(patch, size);
    putNumber(patch, 0);
    std::uint64_t output = 0;
    std::int64_t sourceRelative = 0;
    std::int64_t targetRelative = 0;
    std::uint64_t step = 0;
    while (output < size) {
        const std::uint64_t length = std::min<std::uint64_t>(4096 + (step % 7) * 1024, size - output);
        switch (step % 4) {
        case 0:
            putCommand(patch, 0, length);
            break;
        case 1: {
            putCommand(patch, 1, std::min<std::uint64_t>(length, 16));
            for (std::uint64_t i = 0; i < std::min<std::uint64_t>(length, 16); ++i) {
                patch.push_back(static_cast<std::uint8_t>(i * 13));
            }
            output += std::min<std::uint64_t>(length, 16);
            ++step;
            continue;
        }
        case 2: {
            // A source block from somewhere else in the image.
            const auto from = static_cast<std::int64_t>((output * 7919 + 12345) % (size - length));
            putCommand(patch, 2, length);
            putSigned(patch, from - sourceRelative);
            sourceRelative = from + static_cast<std::int64_t>(length);
            break;
        }
        default: {
            // An earlier target block, or a run (overlapping copy) every other time.
            const auto from = static_cast<std::int64_t>(output) - ((step / 4) % 2 == 0 ? 1 : 8192);
            putCommand(patch, 3, length);
            putSigned(patch, from - targetRelative);
            targetRelative = from + static_cast<std::int64_t>(length);
            break;
        }
        }
        output += length;
        ++step;
    }
    patch.resize(patch.size() + 12, 0); // the CRC-32 footer, never read
    return patch;
}

} // namespace bench_inputs
