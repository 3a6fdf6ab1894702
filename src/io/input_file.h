#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/bytes.h"

// What tells one state of a file from every other: where it lives (device or
// volume, and inode or file index), its size, and its modification and status
// change times (nanoseconds since 1970 on Linux, 100-nanosecond ticks since
// 1601 on Windows). Rewriting a file, even to its old size and modification
// time, moves its status change time; replacing it changes the inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    bool operator==(const FileIdentity&) const = default;
};

// True when the modification time lies at least two seconds in the past: on
// some file systems a newer time may not yet be final, and a write in the
// same clock tick would leave it as it is.
bool isSettled(const FileIdentity& identity);

// A regular file open for reads at any offset, so that a caller may take only
// the parts of a large image it needs. What stands at the path is checked
// before it is opened: a FIFO would block the open and a device may act on
// being opened, so neither ever is.
class InputFile {
  public:
    // nullopt for anything that is not a regular file that can be opened.
    static std::optional<InputFile> open(const std::string& path);
#ifndef _WIN32
    // Takes over a descriptor opened by the caller (a folder walk opens
    // relative to the folder); nullopt, the descriptor closed, unless it is a
    // regular file.
    static std::optional<InputFile> adopt(int descriptor);
#endif

    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // The size when the file was opened.
    std::uint64_t size() const {
        return size_;
    }

    // The identity of the open file (not of whatever its path names now);
    // nullopt when the system does not give it.
    std::optional<FileIdentity> identity() const;

    // Fills into with the bytes at offset; false unless every byte was read.
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) const;

    // The length bytes at offset; nullopt when they cannot all be read or
    // held in memory.
    std::optional<Bytes> readRange(std::uint64_t offset, std::uint64_t length) const;

    // The whole file (of the size it had when opened); nullopt when it cannot
    // be read or held in memory. A file of length zero gives an empty image.
    std::optional<Bytes> readAll() const {
        return readRange(0, size_);
    }

  private:
#ifdef _WIN32
    using Handle = void*;
#else
    using Handle = int;
#endif
    InputFile(Handle handle, std::uint64_t size) : handle_(handle), size_(size) {}
    void close() noexcept;

    Handle handle_;
    std::uint64_t size_;
    bool open_ = true;
};

// The whole regular file at path: the one reader of whole files. nullopt for
// anything that cannot be read whole (missing, unreadable, a folder, a FIFO,
// a device, a file that changes size while read, one too large for memory);
// an empty file gives empty bytes.
std::optional<Bytes> readFile(const std::string& path);
