// Times every command on large inputs it makes itself, against copying the
// same bytes (cp of the input to the output path; cat to /dev/null for
// --inspect), in the same run. Prints a markdown table and, with --results
// FILE, writes it there with a note on the machine.
//
//   quillon_bench <path to quillon> <scratch folder> [--runs N] [--results FILE]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "inputs.h"
#include "io/output_file.h"

namespace {

using namespace bench_inputs;

struct Measurement {
    double medianSeconds = 0;
    long peakKiB = 0;
};

// Runs a command with its output discarded; returns wall time and the
// child's peak resident set. posix_spawn starts it without a copy of this
// process's memory, so the peak is the command's own.
bool runOnce(const std::vector<std::string>& command, double& seconds, long& peakKiB) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return false;
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peakKiB = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// With removeFirst, that file is deleted (untimed) before every run, so the
// command creates its output instead of replacing it.
Measurement measure(const std::vector<std::string>& command, int runs,
                    const std::string& removeFirst = "") {
    std::vector<double> times;
    Measurement m;
    double seconds = 0;
    long peak = 0;
    runOnce(command, seconds, peak); // warm-up: page cache and binary
    for (int i = 0; i < runs; ++i) {
        if (!removeFirst.empty()) {
            std::remove(removeFirst.c_str());
        }
        if (!runOnce(command, seconds, peak)) {
            std::fprintf(stderr, "command failed: %s\n", command[1].c_str());
            std::exit(1);
        }
        times.push_back(seconds);
        m.peakKiB = std::max(m.peakKiB, peak);
    }
    std::sort(times.begin(), times.end());
    m.medianSeconds = times[times.size() / 2];
    return m;
}

Bytes snesImage(std::size_t size) {
    Bytes image = pseudoRandom(size, 4);
    image[0x7FDC] = 0xFF;
    image[0x7FDD] = 0xFF;
    image[0x7FDE] = 0x00;
    image[0x7FDF] = 0x00;
    return image;
}

Bytes genesisImage(std::size_t size) {
    Bytes image = pseudoRandom(size, 6);
    const char* sega = "SEGA";
    for (int i = 0; i < 4; ++i) {
        image[0x100 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sega[i]);
    }
    return image;
}

Bytes n64Image(std::size_t size, bool littleEndian) {
    Bytes image = pseudoRandom(size, 7);
    const std::uint8_t v64[] = {0x37, 0x80, 0x40, 0x12};
    const std::uint8_t n64[] = {0x40, 0x12, 0x37, 0x80};
    for (std::size_t i = 0; i < 4; ++i) {
        image[i] = littleEndian ? n64[i] : v64[i];
    }
    return image;
}

Bytes paddedImage(std::size_t size, std::size_t padding) {
    Bytes image = pseudoRandom(size, 3);
    std::fill(image.end() - static_cast<std::ptrdiff_t>(padding), image.end(), 0xFF);
    image[size - padding - 1] = 0x00;
    return image;
}

struct Case {
    std::string label;
    std::vector<std::string> arguments; // after the program
    std::string input;                  // the file whose copy is the floor
    bool inspect = false;
    std::uint64_t inputBytes = 0;
    std::uint64_t outputBytes = 0;
};

std::string memoryGiB(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bytes / (1024.0 * 1024.0 * 1024.0));
    return text;
}

std::string formatSize(std::uint64_t bytes) {
    std::ostringstream out;
    if (bytes % MiB == 0) {
        out << bytes / MiB << " MiB";
    } else if (bytes > MiB && (bytes - 512) % MiB == 0) {
        out << (bytes - 512) / MiB << " MiB + 512";
    } else {
        out.setf(std::ios::fixed);
        out.precision(1);
        out << static_cast<double>(bytes) / static_cast<double>(MiB) << " MiB";
    }
    return out.str();
}

struct Input {
    const char* name;
    Bytes bytes;
};

bool makeInputs(const std::string& folder) {
    const std::vector<Input> inputs = [] {
        std::vector<Input> list;
        list.push_back({"rom64.v64", n64Image(64 * MiB, false)});
        list.push_back({"rom64.n64", n64Image(64 * MiB, true)});
        list.push_back({"save64.srm", pseudoRandom(64 * MiB, 8)});
        list.push_back({"padded64.bin", paddedImage(64 * MiB, 32 * MiB)});
        list.push_back({"copier.smc", pseudoRandom(4 * MiB + 512, 9)});
        list.push_back({"snes32.sfc", snesImage(32 * MiB)});
        list.push_back({"genesis4.md", genesisImage(4 * MiB)});
        list.push_back({"ips16.bin", pseudoRandom(16 * MiB, 10)});
        list.push_back({"ips16.ips", ipsPatch(16 * MiB)});
        list.push_back({"bps32.bin", pseudoRandom(32 * MiB, 11)});
        list.push_back({"bps32.bps", bpsPatch(32 * MiB)});
        list.push_back({"ups32.bin", pseudoRandom(32 * MiB, 12)});
        list.push_back({"ups32.ups", upsPatch(list.back().bytes, 4000)});
        return list;
    }();
    for (const Input& input : inputs) {
        if (!writeFile(folder + input.name, input.bytes)) {
            std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), input.name);
            return false;
        }
    }
    return true;
}

std::uint64_t fileSize(const std::string& path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    return f ? static_cast<std::uint64_t>(f.tellg()) : 0;
}

// The patch creators on original/modified pairs NAME.orig.bin and
// NAME.mod.bin in `folder`: patch size, median time and peak memory of each.
// IPS is skipped where the pair reaches past 16 MiB.
std::string creatorTable(const std::string& quillon, const std::string& folder,
                         const std::vector<std::string>& names, int runs) {
    std::ostringstream table;
    table << "| pair | original -> modified | BPS patch | BPS median | BPS peak | IPS patch | IPS "
             "median | IPS peak |\n"
          << "|---|---|---|---|---|---|---|---|\n";
    const std::string patch = folder + "made.patch";
    for (const std::string& name : names) {
        const std::string original = folder + name + ".orig.bin";
        const std::string modified = folder + name + ".mod.bin";
        const std::uint64_t inputs[] = {fileSize(original), fileSize(modified)};
        char line[512];
        std::snprintf(line, sizeof line, "| %s | %s -> %s ", name.c_str(),
                      formatSize(inputs[0]).c_str(), formatSize(inputs[1]).c_str());
        std::string row = line;
        for (const char* command : {"--create-bps", "--create-ips"}) {
            if (std::string(command) == "--create-ips" &&
                std::max(inputs[0], inputs[1]) > 16 * MiB) {
                row += "| cannot (over 16 MiB) | | ";
                continue;
            }
            const Measurement m = measure({quillon, command, original, modified, patch}, runs);
            std::snprintf(line, sizeof line, "| %llu bytes | %.3f s | %.1f MiB ",
                          static_cast<unsigned long long>(fileSize(patch)), m.medianSeconds,
                          static_cast<double>(m.peakKiB) / 1024.0);
            row += line;
        }
        row += "|\n";
        table << row;
        std::fputs(row.c_str(), stdout);
        std::fflush(stdout);
    }
    std::remove(patch.c_str());
    return table.str();
}

bool makePairs(const std::string& folder) {
    for (const PatchPair& pair : patchPairs(7)) {
        if (!writeFile(folder + pair.name + ".orig.bin", pair.original) ||
            !writeFile(folder + pair.name + ".mod.bin", pair.modified)) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <quillon> <scratch folder> [--runs N] [--results FILE]\n",
                     argv[0]);
        return 2;
    }
    const std::string quillon = argv[1];
    const std::string folder = std::string(argv[2]) + "/";
    int runs = 7;
    std::string resultsPath;
    std::string pairsFolder;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--runs") {
            runs = std::max(5, std::atoi(argv[i + 1]));
        } else if (flag == "--results") {
            resultsPath = argv[i + 1];
        } else if (flag == "--pairs") {
            pairsFolder = std::string(argv[i + 1]) + "/";
        }
    }

    // The inputs are made in a child process: a child's peak memory counts
    // its parent's peak at the time it starts, so this process stays small.
    std::fprintf(stderr, "making inputs in %s ...\n", folder.c_str());
    const pid_t maker = ::fork();
    if (maker == 0) {
        ::_exit(makeInputs(folder) && makePairs(folder) ? 0 : 1);
    }
    int makerStatus = 0;
    ::waitpid(maker, &makerStatus, 0);
    if (!WIFEXITED(makerStatus) || WEXITSTATUS(makerStatus) != 0) {
        return 1;
    }

    const std::string out = folder + "out.bin";
    std::vector<Case> cases = {
        {"--n64-endian (.v64)", {"--n64-endian", folder + "rom64.v64", out}, "rom64.v64"},
        {"--n64-endian (.n64)", {"--n64-endian", folder + "rom64.n64", out}, "rom64.n64"},
        {"--srm-swap", {"--srm-swap", folder + "save64.srm", out}, "save64.srm"},
        {"--trim", {"--trim", folder + "padded64.bin", out}, "padded64.bin"},
        {"--strip-header", {"--strip-header", folder + "copier.smc", out}, "copier.smc"},
        {"--fix-checksum (SNES)", {"--fix-checksum", folder + "snes32.sfc", out}, "snes32.sfc"},
        {"--fix-checksum (Genesis)",
         {"--fix-checksum", folder + "genesis4.md", out},
         "genesis4.md"},
        {"--patch (100,000 records)",
         {"--patch", folder + "ips16.bin", folder + "ips16.ips", out},
         "ips16.bin"},
        {"--bps-patch",
         {"--bps-patch", folder + "bps32.bin", folder + "bps32.bps", out},
         "bps32.bin"},
        {"--apply (UPS, 4,000 edits)",
         {"--apply", folder + "ups32.bin", folder + "ups32.ups", out},
         "ups32.bin"},
        {"--inspect (SNES)", {"--inspect", folder + "snes32.sfc"}, "snes32.sfc", true},
        {"--inspect (Genesis)", {"--inspect", folder + "genesis4.md"}, "genesis4.md", true},
    };

    // Writing commands are timed twice: replacing an existing output (where
    // the file system may flush the new file as it takes the old one's place)
    // and creating a new one; the copy is timed the same two ways.
    std::ostringstream table;
    table << "| command | input | replacing: median | copy | relative | new file: median | cp | "
             "relative | peak memory | input + output + 8 MiB |\n"
          << "|---|---|---|---|---|---|---|---|---|---|\n";
    for (Case& c : cases) {
        std::vector<std::string> command{quillon};
        command.insert(command.end(), c.arguments.begin(), c.arguments.end());
        const std::vector<std::string> copy =
            c.inspect ? std::vector<std::string>{"cat", folder + c.input}
                      : std::vector<std::string>{"cp", folder + c.input, out};
        const Measurement tool = measure(command, runs);
        if (!c.inspect) {
            std::ifstream f(out, std::ios::binary | std::ios::ate);
            c.outputBytes = static_cast<std::uint64_t>(f.tellg());
        }
        const Measurement floor = measure(copy, runs);
        c.inputBytes = 0;
        for (std::size_t i = 1; i + (c.inspect ? 0 : 1) < c.arguments.size(); ++i) {
            std::ifstream f(c.arguments[i], std::ios::binary | std::ios::ate);
            c.inputBytes += static_cast<std::uint64_t>(f.tellg());
        }
        char created[128] = "| | | ";
        if (!c.inspect) {
            const Measurement toolNew = measure(command, runs, out);
            const Measurement floorNew = measure(copy, runs, out);
            std::snprintf(created, sizeof created, "| %.1f ms | %.1f ms | %.2f ",
                          toolNew.medianSeconds * 1e3, floorNew.medianSeconds * 1e3,
                          toolNew.medianSeconds / floorNew.medianSeconds);
        }
        const double budgetKiB =
            static_cast<double>(c.inputBytes + c.outputBytes) / 1024.0 + 8192.0;
        char line[512];
        std::snprintf(line, sizeof line,
                      "| %s | %s | %.1f ms | %.1f ms (%s) | %.2f %s| %.1f MiB | %.1f MiB |\n",
                      c.label.c_str(), formatSize(c.inputBytes).c_str(), tool.medianSeconds * 1e3,
                      floor.medianSeconds * 1e3, c.inspect ? "cat" : "cp",
                      tool.medianSeconds / floor.medianSeconds, created,
                      static_cast<double>(tool.peakKiB) / 1024.0, budgetKiB / 1024.0);
        table << line;
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
    std::remove(out.c_str()); // the inputs stay for the caller to remove with the folder

    const std::vector<std::string> shapes{"edits_4m", "grow_2m_3m", "edits_32m"};
    std::fputs("\npatch creators, pairs made here:\n", stdout);
    const std::string ownPairs = creatorTable(quillon, folder, shapes, runs);
    std::string givenPairs;
    if (!pairsFolder.empty()) {
        std::fprintf(stdout, "\npatch creators, pairs in %s:\n", pairsFolder.c_str());
        givenPairs = creatorTable(quillon, pairsFolder, shapes, runs);
    }

    if (!resultsPath.empty()) {
        utsname machine{};
        ::uname(&machine);
        const double memory = static_cast<double>(::sysconf(_SC_PHYS_PAGES)) *
                              static_cast<double>(::sysconf(_SC_PAGE_SIZE));
        std::ofstream results(resultsPath);
        results
            << "# Benchmark results\n\n"
            << "Made by `bench/run.sh`: medians of " << runs
            << " runs after a warm-up, page cache warm; the floor is `cp` of the input to the "
               "output path (`cat` of the file to /dev/null for --inspect), timed in the same "
               "run, both replacing an existing output and creating a new one. Peak memory is "
               "the command's maximum resident set size.\n\n"
            << "Machine: " << machine.sysname << " " << machine.release << " " << machine.machine
            << ", " << ::sysconf(_SC_NPROCESSORS_ONLN) << " cores, " << memoryGiB(memory)
            << " GiB of memory.\n\n"
            << table.str()
            << "\n## Patch creators\n\n"
               "Medians of the same runs; peak memory is the maximum resident set size. The "
               "pairs are made by the benchmark in the shapes of `make_pairs.py` (seed 7 of its "
               "own random numbers):\n\n"
            << ownPairs;
        if (!givenPairs.empty()) {
            results << "\nThe pairs of `make_pairs.py --seed 7`:\n\n" << givenPairs;
        }
    }
    return 0;
}
