#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <list>
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

// CRC-32 and the stronger digests asked for (the others stay zero), in one
// pass over the bytes on the caller's thread: a check against one entry of a
// database needs only what the entry gives.
struct DigestChoice {
    bool md5 = false;
    bool sha1 = false;
    bool sha256 = false;
};
Digests selectedDigests(std::span<const std::uint8_t> bytes, DigestChoice choice);

// Computes the four digests of buffers on two cores: MD5, the slowest, on a
// helper thread, SHA-1, SHA-256 and CRC-32 together on the caller's. start
// leaves a buffer's MD5 queued, so that the caller can read and start the
// next file while the helper catches up; finish waits for it and, rather than
// idle, takes queued MD5 work itself. The helper is started once and kept
// for every buffer of a run, so that a folder of small images pays no thread
// start per file. One object serves one caller thread at a time.
class DigestHasher {
  public:
    using Ticket = std::uint64_t;

    DigestHasher();
    ~DigestHasher();
    DigestHasher(const DigestHasher&) = delete;
    DigestHasher& operator=(const DigestHasher&) = delete;

    // Hashes bytes but for MD5; the buffer must stay alive and unchanged
    // until finish has returned its ticket.
    Ticket start(std::span<const std::uint8_t> bytes);
    // The digests of a started buffer; each ticket is finished once.
    Digests finish(Ticket ticket);

    Digests digest(std::span<const std::uint8_t> bytes) { return finish(start(bytes)); }

  private:
    enum class State { Queued, Running, Done };
    struct Job {
        Ticket ticket = 0;
        std::span<const std::uint8_t> bytes;
        Digests digests;
        State state = State::Queued;
    };

    void serve();
    // Runs a queued job's MD5 with the lock released.
    void run(Job& job, std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    // In ticket order; a list, so that a running job stays put while others
    // are added and removed.
    std::list<Job> jobs_;
    Ticket next_ = 0;
    bool stopping_ = false;
    std::thread helper_;
};

// The four digests of one buffer, with a hasher of its own.
Digests computeDigests(std::span<const std::uint8_t> bytes);
