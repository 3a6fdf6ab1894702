#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

// The only place that calls the hashing library. Every function here starts
// the library on first use (once, safely from any thread), so callers need no
// start-up step of their own.

// Starts the hashing library; main calls it before any thread hashes.
void initialiseHashing();

// CRC-32 as zip and the BPS footer use it (reflected 0xEDB88320, initial and
// final value 0xFFFFFFFF): "123456789" gives 0xCBF43926.
std::uint32_t crc32(std::span<const std::uint8_t> bytes);

// The four digests the checksum databases list for a file.
struct Digests {
    std::uint32_t crc32 = 0;
    std::array<std::uint8_t, 16> md5{};
    std::array<std::uint8_t, 20> sha1{};
    std::array<std::uint8_t, 32> sha256{};
};

// Computes the four digests of one buffer on two cores: MD5, the slowest,
// on a helper thread, SHA-1, SHA-256 and CRC-32 together on the caller's.
// The helper is started once and kept for every buffer of a run, so that a
// folder of small images does not pay a thread start per file. One object
// serves one caller thread at a time.
class DigestHasher {
  public:
    DigestHasher();
    ~DigestHasher();
    DigestHasher(const DigestHasher&) = delete;
    DigestHasher& operator=(const DigestHasher&) = delete;

    Digests digest(std::span<const std::uint8_t> bytes);

  private:
    void serve();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::span<const std::uint8_t> job_;
    std::array<std::uint8_t, 16> md5_{};
    bool pending_ = false;
    bool stopping_ = false;
    std::thread helper_;
};

// The four digests of one buffer, with a hasher of its own.
Digests computeDigests(std::span<const std::uint8_t> bytes);
