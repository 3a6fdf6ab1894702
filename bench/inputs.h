#pragma once

// Large inputs for the benchmarks: filler data and patches with many records
// or commands, made in memory with the tests' patch encoders.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "io/rom_file.h"
#include "patch_builders.h"

namespace bench_inputs {

using testing_support::BpsPatch;
using testing_support::Bytes;
using testing_support::IpsPatch;

constexpr std::size_t MiB = std::size_t{1} << 20;

inline RomImage asImage(const Bytes& bytes) { return RomImage(bytes.begin(), bytes.end()); }

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

// A 16 MiB image and an IPS patch of 100,000 records spread over it, every
// tenth a run-length record.
inline RomImage ipsPatch(std::size_t imageSize) {
    IpsPatch patch;
    constexpr std::size_t records = 100000;
    const std::size_t stride = imageSize / records;
    for (std::size_t r = 0; r < records; ++r) {
        const auto offset = static_cast<std::uint32_t>(r * stride);
        if (r % 10 == 9) {
            patch.run(offset, 64, static_cast<std::uint8_t>(r));
        } else {
            Bytes data(32);
            for (std::size_t i = 0; i < data.size(); ++i) {
                data[i] = static_cast<std::uint8_t>(r + i);
            }
            patch.record(offset, data);
        }
    }
    return asImage(patch.eof().bytes());
}

// A BPS patch from a 32 MiB source to a 32 MiB target made of moved source
// blocks (SourceCopy), repeated target blocks and runs (TargetCopy), kept and
// new bytes (SourceRead, TargetRead).
inline RomImage bpsPatch(std::size_t size) {
    BpsPatch patch(size, size);
    std::uint64_t output = 0;
    std::int64_t sourceRelative = 0;
    std::int64_t targetRelative = 0;
    for (std::uint64_t step = 0; output < size; ++step) {
        std::uint64_t length = std::min<std::uint64_t>(4096 + (step % 7) * 1024, size - output);
        switch (step % 4) {
        case 0:
            patch.sourceRead(length);
            break;
        case 1: {
            length = std::min<std::uint64_t>(length, 16);
            Bytes data(length);
            for (std::size_t i = 0; i < data.size(); ++i) {
                data[i] = static_cast<std::uint8_t>(i * 13);
            }
            patch.targetRead(data);
            break;
        }
        case 2: {
            // A source block from somewhere else in the image.
            const auto from = static_cast<std::int64_t>((output * 7919 + 12345) % (size - length));
            patch.sourceCopy(length, from - sourceRelative);
            sourceRelative = from + static_cast<std::int64_t>(length);
            break;
        }
        default: {
            // An earlier target block, or a run (overlapping copy) every other time.
            const auto from = static_cast<std::int64_t>(output) - ((step / 4) % 2 == 0 ? 1 : 8192);
            patch.targetCopy(length, from - targetRelative);
            targetRelative = from + static_cast<std::int64_t>(length);
            break;
        }
        }
        output += length;
    }
    return asImage(patch.bytes());
}

} // namespace bench_inputs
