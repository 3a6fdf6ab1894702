// In-memory throughput of the byte work behind each command, in bytes per
// second of image (of target, for BPS).

#include <benchmark/benchmark.h>

#include "inputs.h"

#include "inspect/check_values.h"
#include "patch/checked.h"
#include "patch/formats.h"
#include "repair/byte_swap.h"
#include "repair/repair.h"

namespace {

using namespace bench_inputs;

constexpr std::size_t imageSize = std::size_t{32} << 20;

void bytesPerSecond(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

void SwapPairs(benchmark::State& state) {
    Bytes image = pseudoRandom(imageSize, 1);
    for (auto _ : state) {
        swapPairs(image);
        benchmark::DoNotOptimize(image.data());
    }
    bytesPerSecond(state, imageSize);
}
BENCHMARK(SwapPairs);

void ReverseQuads(benchmark::State& state) {
    Bytes image = pseudoRandom(imageSize, 1);
    for (auto _ : state) {
        reverseQuads(image);
        benchmark::DoNotOptimize(image.data());
    }
    bytesPerSecond(state, imageSize);
}
BENCHMARK(ReverseQuads);

void SumBytes(benchmark::State& state) {
    const Bytes image = pseudoRandom(imageSize, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sumBytes(image));
    }
    bytesPerSecond(state, imageSize);
}
BENCHMARK(SumBytes);

void GenesisChecksum(benchmark::State& state) {
    const Bytes image = pseudoRandom(imageSize, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(computeGenesisChecksum(image));
    }
    bytesPerSecond(state, imageSize);
}
BENCHMARK(GenesisChecksum);

void TrimScan(benchmark::State& state) {
    // Half of the image is fill, so the scan walks 16 MiB backwards.
    Bytes padded = pseudoRandom(imageSize, 1);
    std::fill(padded.begin() + imageSize / 2, padded.end(), 0xFF);
    padded[imageSize / 2 - 1] = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Bytes image = padded;
        state.ResumeTiming();
        trimOverdumpImage(image);
        benchmark::DoNotOptimize(image.data());
    }
    bytesPerSecond(state, imageSize / 2);
}
BENCHMARK(TrimScan);

void IpsApply(benchmark::State& state) {
    const Bytes source = pseudoRandom(16 * MiB, 10);
    const Bytes patch = ipsPatch(16 * MiB);
    for (auto _ : state) {
        state.PauseTiming();
        Bytes image = source;
        state.ResumeTiming();
        benchmark::DoNotOptimize(ips::applyToRom(image, patch));
    }
    bytesPerSecond(state, patch.size());
}
BENCHMARK(IpsApply);

// 32 MiB of target from the four actions, a few kilobytes a command.
void BpsApply(benchmark::State& state) {
    const Bytes source = pseudoRandom(imageSize, 11);
    const Bytes patch = bpsPatch(imageSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(bps::apply(source, patch));
    }
    bytesPerSecond(state, imageSize);
}
BENCHMARK(BpsApply);

// --apply of a UPS patch with 4,000 edits: both CRC checks, the copy and the hunks.
void UpsApplyChecked(benchmark::State& state) {
    const Bytes source = pseudoRandom(imageSize, 12);
    const Bytes patch = upsPatch(source, 4000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(applyPatchChecked(describePatch(patch), source, patch));
    }
    bytesPerSecond(state, imageSize);
}
BENCHMARK(UpsApplyChecked);

} // namespace

BENCHMARK_MAIN();
