#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "cli/commands.h"
#include "cli/json_lines.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

bool standardErrorIsTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

// The self-updating line on a terminal: redrawn at most ten times a second,
// and wiped before each catalogue line so that the two never mix when both
// streams show on the same terminal.
class ProgressLine {
  public:
    explicit ProgressLine(bool shown) : shown_(shown) {}

    bool shown() const { return shown_; }

    void wipe() {
        if (shown_ && width_ > 0) {
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(width_), "");
            std::fflush(stderr);
            width_ = 0;
        }
    }
    void update(std::uint64_t files, std::uint64_t bytes, bool force) {
        if (!shown_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last_ < std::chrono::milliseconds(100)) {
            return;
        }
        last_ = now;
        const std::string text = "Cataloguing... files: " + std::to_string(files) +
                                 ", bytes: " + std::to_string(bytes);
        std::fprintf(stderr, "\r%s", text.c_str());
        std::fflush(stderr);
        width_ = text.size();
    }
    void finish(std::uint64_t files, std::uint64_t bytes) {
        if (shown_) {
            update(files, bytes, true);
            std::fputc('\n', stderr);
            std::fflush(stderr);
        }
    }

  private:
    bool shown_;
    std::size_t width_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

} // namespace

int printCatalog(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 2, argv + argc);
    ProgressLine progress(standardErrorIsTerminal());
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    bool allRead = true;
    catalogPaths(arguments, [&](const CatalogRecord& record) {
        std::string line = catalogLine(record);
        line.push_back('\n');
        progress.wipe();
        std::fwrite(line.data(), 1, line.size(), stdout);
        allRead = allRead && record.readable;
        ++files;
        bytes += record.size;
        if (progress.shown()) {
            std::fflush(stdout);
        }
        progress.update(files, bytes, false);
    });
    std::fflush(stdout);
    progress.finish(files, bytes);
    return allRead ? 0 : 1;
}
