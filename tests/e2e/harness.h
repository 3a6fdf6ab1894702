#pragma once

// Runs the real quillon executable (optionally behind a launcher such as an
// emulator) in a scratch folder and captures what it printed.
//
// QUILLON_EXE names the executable; QUILLON_LAUNCHER, when set, is a command
// put in front of it (words separated by spaces).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace e2e {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

struct RunOptions {
    // Limit on the size of any file the process writes (RLIMIT_FSIZE), with
    // SIGXFSZ ignored so that a write beyond it fails instead of killing it.
    std::optional<std::uint64_t> fileSizeLimit;
    // The folder of the digest cache; by default one that cannot be made,
    // so that a run keeps no cache and never touches the user's.
    std::optional<std::filesystem::path> cacheFolder;
};

// True when the executable runs behind a launcher (an emulator).
bool underLauncher();

// The program path as the executable sees it in argv[0]: under wine, the
// Windows form of the absolute path on drive Z:.
std::string programPath();

// A path as the executable sees it: under wine, the Windows form on drive Z:.
std::string hostPath(const std::filesystem::path& path);

// Runs quillon with these arguments (argv[1] on), from the given folder.
RunResult runQuillon(const std::vector<std::string>& args, const std::filesystem::path& folder,
                     const RunOptions& options = {});

// A fresh folder per test, removed with everything in it afterwards.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    void write(const std::string& name, std::span<const std::uint8_t> bytes) const;
    std::vector<std::uint8_t> read(const std::string& name) const;
    bool exists(const std::string& name) const;
    // Names of every entry in the folder, sorted (to spot stray temporary files).
    std::vector<std::string> entries() const;
    // Sets every file's modification time a day back, so that a digest
    // cache takes them as settled.
    void age() const;

  private:
    std::filesystem::path path_;
};

} // namespace e2e
