#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

inline bool standardErrorIsTerminal() {
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
    ProgressLine(std::string verb, bool shown) : verb_(std::move(verb)), shown_(shown) {}

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
        const std::string text =
            verb_ + " files: " + std::to_string(files) + ", bytes: " + std::to_string(bytes);
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
    std::string verb_;
    bool shown_;
    std::size_t width_ = 0;
    std::chrono::steady_clock::time_point last_{};
};
