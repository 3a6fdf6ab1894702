#pragma once

// Large inputs for the benchmarks: filler data and patches with many records
// or commands, made in memory with the tests' patch encoders.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/bytes.h"
#include "patch/formats.h"
#include "patch_builders.h"

namespace bench_inputs {

using testing_support::BpsPatch;
using testing_support::ByteList;
using testing_support::IpsPatch;

constexpr std::size_t MiB = std::size_t{1} << 20;

inline Bytes asImage(const ByteList& bytes) {
    return Bytes(bytes.begin(), bytes.end());
}

inline Bytes pseudoRandom(std::size_t size, std::uint32_t seed) {
    Bytes image(size);
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
inline Bytes ipsPatch(std::size_t imageSize) {
    IpsPatch patch;
    constexpr std::size_t records = 100000;
    const std::size_t stride = imageSize / records;
    for (std::size_t r = 0; r < records; ++r) {
        const auto offset = static_cast<std::uint32_t>(r * stride);
        if (r % 10 == 9) {
            patch.run(offset, 64, static_cast<std::uint8_t>(r));
        } else {
            ByteList data(32);
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
inline Bytes bpsPatch(std::size_t size) {
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
            ByteList data(length);
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

// A UPS patch over a source of `size` bytes with `edits` changed stretches
// of 1 to 64 bytes spread over it, as a translation or fix leaves them.
inline Bytes upsPatch(const Bytes& source, std::size_t edits) {
    Bytes modified = source;
    const std::size_t stride = source.size() / edits;
    for (std::size_t e = 0; e < edits; ++e) {
        const std::size_t at = e * stride + (e * 7919) % (stride / 2);
        const std::size_t length = 1 + (e * 31) % 64;
        for (std::size_t i = 0; i < length && at + i < modified.size(); ++i) {
            modified[at + i] = static_cast<std::uint8_t>(modified[at + i] ^ (0x5A + i));
        }
    }
    return *ups::create(source, modified);
}

// Original/modified pairs shaped like ROM hacks, for the patch creators: the
// same shapes as ../shared/bench/make_pairs.py (its own random numbers, so
// not its bytes).
class PairRandom {
  public:
    explicit PairRandom(std::uint64_t seed) : state_(seed * 2 + 1) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    // Uniform in [low, high].
    std::size_t between(std::size_t low, std::size_t high) {
        return low + static_cast<std::size_t>(next() % (high - low + 1));
    }
    ByteList bytes(std::size_t n) {
        ByteList out(n);
        for (auto& b : out) {
            b = static_cast<std::uint8_t>(next() >> 24);
        }
        return out;
    }

  private:
    std::uint64_t state_;
};

// Fill runs, short repeating patterns and dense data, as in a cartridge image.
inline ByteList romLike(PairRandom& rng, std::size_t n) {
    ByteList out;
    out.reserve(n + 8192);
    while (out.size() < n) {
        const std::size_t kind = rng.between(0, 9);
        if (kind < 3) {
            out.insert(out.end(), rng.between(16, 2048), static_cast<std::uint8_t>(rng.next()));
        } else if (kind < 6) {
            const ByteList pattern = rng.bytes(rng.between(2, 64));
            const std::size_t length = rng.between(64, 4096);
            for (std::size_t i = 0; i < length; ++i) {
                out.push_back(pattern[i % pattern.size()]);
            }
        } else {
            const ByteList block = rng.bytes(rng.between(64, 8192));
            out.insert(out.end(), block.begin(), block.end());
        }
    }
    out.resize(n);
    return out;
}

// Scattered overwrites, then inserted blocks, then blocks moved elsewhere.
inline ByteList mutated(PairRandom& rng, ByteList b, std::size_t edits, std::size_t inserts,
                        std::size_t moves) {
    for (std::size_t e = 0; e < edits; ++e) {
        const std::size_t at = rng.between(0, b.size() - 65);
        const ByteList fresh = rng.bytes(rng.between(1, 32));
        std::copy(fresh.begin(), fresh.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    }
    for (std::size_t i = 0; i < inserts; ++i) {
        const std::size_t at = rng.between(0, b.size() - 1);
        const ByteList fresh = rng.bytes(rng.between(16, 4096));
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), fresh.begin(), fresh.end());
    }
    for (std::size_t m = 0; m < moves; ++m) {
        const std::size_t at = rng.between(0, b.size() - 70001);
        const std::size_t n = rng.between(1000, 65536);
        const ByteList block(b.begin() + static_cast<std::ptrdiff_t>(at),
                             b.begin() + static_cast<std::ptrdiff_t>(at + n));
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                b.begin() + static_cast<std::ptrdiff_t>(at + n));
        const std::size_t to = rng.between(0, b.size() - 1);
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(to), block.begin(), block.end());
    }
    return b;
}

struct PatchPair {
    const char* name;
    ByteList original;
    ByteList modified;
};

// edits_4m, grow_2m_3m and edits_32m.
inline std::vector<PatchPair> patchPairs(std::uint64_t seed) {
    PairRandom rng(seed);
    std::vector<PatchPair> pairs;
    ByteList base = romLike(rng, 4 * MiB);
    pairs.push_back({"edits_4m", base, mutated(rng, base, 2000, 50, 20)});
    base = romLike(rng, 2 * MiB);
    ByteList grown = mutated(rng, base, 500, 0, 0);
    const ByteList tail = romLike(rng, MiB);
    grown.insert(grown.end(), tail.begin(), tail.end());
    pairs.push_back({"grow_2m_3m", base, grown});
    base = romLike(rng, 32 * MiB);
    pairs.push_back({"edits_32m", base, mutated(rng, base, 5000, 100, 50)});
    return pairs;
}

} // namespace bench_inputs
