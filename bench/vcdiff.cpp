// Times applyVcdiff on xdelta3 patches of a large image with a few thousand
// edits, made with each secondary compressor, against `xdelta3 -d` on the
// same patches in the same run. Prints a markdown table.
//
//   quillon_bench_vcdiff <scratch folder> [--size MiB] [--runs N]
//
// Needs xdelta3 on PATH. The library is timed in memory (patch and source
// already read, target not written); xdelta3 reads both files and writes the
// target to /dev/null.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "inputs.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "patch/vcdiff.h"

namespace {

using namespace bench_inputs;

bool run(const std::vector<std::string>& command, double* seconds = nullptr) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return false;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (seconds != nullptr) {
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The target: 3,000 overwritten stretches of 1 to 32 bytes, 4 KiB inserted
// at a third, 4 KiB removed at two thirds, so that later data moves.
Bytes editedCopy(const Bytes& source) {
    Bytes target(source.begin(), source.end());
    std::uint64_t state = 99;
    const auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    };
    for (int edit = 0; edit < 3000; ++edit) {
        const std::size_t at = next() % (target.size() - 64);
        const std::size_t length = 1 + next() % 32;
        for (std::size_t i = 0; i < length; ++i) {
            target[at + i] = static_cast<std::uint8_t>(next());
        }
    }
    const Bytes inserted = pseudoRandom(4096, 5);
    target.insert(target.begin() + static_cast<std::ptrdiff_t>(target.size() / 3), inserted.begin(),
                  inserted.end());
    const auto cut = static_cast<std::ptrdiff_t>(target.size() * 2 / 3);
    target.erase(target.begin() + cut, target.begin() + cut + 4096);
    return target;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <scratch folder> [--size MiB] [--runs N]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::size_t sizeMiB = 32;
    int runs = 9;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--size") {
            sizeMiB = static_cast<std::size_t>(std::atoi(argv[i + 1]));
        } else if (flag == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    const Bytes source = pseudoRandom(sizeMiB * MiB, 11);
    const Bytes target = editedCopy(source);
    const std::string sourcePath = folder + "/source.bin";
    const std::string targetPath = folder + "/target.bin";
    if (!writeFile(sourcePath, source) || !writeFile(targetPath, target)) {
        std::fprintf(stderr, "cannot write the inputs in %s\n", folder.c_str());
        return 1;
    }

    std::printf("| patch | size | applyVcdiff (in memory) | xdelta3 -d | relative |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const char* compressor : {"none", "lzma", "djw"}) {
        const std::string patchPath = folder + "/patch_" + compressor + ".xdelta";
        if (!run({"xdelta3", "-e", "-f", "-S", compressor, "-s", sourcePath, targetPath,
                  patchPath})) {
            std::fprintf(stderr, "xdelta3 -e -S %s failed\n", compressor);
            return 1;
        }
        const Bytes patch = readFile(patchPath).value_or(Bytes{});
        std::vector<double> ours;
        std::vector<double> theirs;
        for (int i = 0; i <= runs; ++i) {
            const auto start = std::chrono::steady_clock::now();
            const vcdiff::Result result = vcdiff::apply(source, patch);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (result.outcome != vcdiff::Outcome::Applied ||
                !std::equal(result.target.begin(), result.target.end(), target.begin(),
                            target.end())) {
                std::fprintf(stderr, "applyVcdiff gave a wrong result for -S %s\n", compressor);
                return 1;
            }
            double xdelta = 0;
            if (!run({"xdelta3", "-d", "-c", "-s", sourcePath, patchPath}, &xdelta)) {
                std::fprintf(stderr, "xdelta3 -d failed\n");
                return 1;
            }
            if (i > 0) { // the first round warms the page cache
                ours.push_back(seconds);
                theirs.push_back(xdelta);
            }
        }
        const double a = median(ours);
        const double b = median(theirs);
        std::printf("| -S %s, %zu MiB, 3,000 edits | %zu bytes | %.1f ms | %.1f ms | %.2f |\n",
                    compressor, sizeMiB, patch.size(), a * 1e3, b * 1e3, a / b);
    }
    return 0;
}
