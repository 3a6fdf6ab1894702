#include "hash/digests.h"

#include <algorithm>
#include <cstring>

#include <gcrypt.h>

#include "base/byte_order.h"

namespace {

// The caller's three digests take the buffer in pieces that stay in the
// core's cache while each of them passes over it.
constexpr std::size_t chunkSize = 256 * 1024;

template <std::size_t N>
void copyDigest(gcry_md_hd_t handle, int algorithm, std::array<std::uint8_t, N>& out) {
    const unsigned char* digest = gcry_md_read(handle, algorithm);
    if (digest != nullptr) {
        std::memcpy(out.data(), digest, N);
    }
}

void writeInChunks(gcry_md_hd_t handle, std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += chunkSize) {
        gcry_md_write(handle, bytes.data() + at, std::min(chunkSize, bytes.size() - at));
    }
}

std::array<std::uint8_t, 16> md5Of(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 16> out{};
    gcry_md_hd_t handle = nullptr;
    if (gcry_md_open(&handle, GCRY_MD_MD5, 0) != 0) {
        return out;
    }
    gcry_md_write(handle, bytes.data(), bytes.size());
    copyDigest(handle, GCRY_MD_MD5, out);
    gcry_md_close(handle);
    return out;
}

// SHA-1, SHA-256 and CRC-32 through one handle: the library feeds each piece
// to all three.
void shaAndCrcOf(std::span<const std::uint8_t> bytes, Digests& out) {
    gcry_md_hd_t handle = nullptr;
    if (gcry_md_open(&handle, GCRY_MD_SHA1, 0) != 0) {
        return;
    }
    if (gcry_md_enable(handle, GCRY_MD_SHA256) != 0 || gcry_md_enable(handle, GCRY_MD_CRC32) != 0) {
        gcry_md_close(handle);
        return;
    }
    writeInChunks(handle, bytes);
    copyDigest(handle, GCRY_MD_SHA1, out.sha1);
    copyDigest(handle, GCRY_MD_SHA256, out.sha256);
    std::array<std::uint8_t, 4> crc{};
    copyDigest(handle, GCRY_MD_CRC32, crc);
    // The library gives the CRC as four bytes, most significant first.
    out.crc32 = readBE32(crc, 0);
    gcry_md_close(handle);
}

} // namespace

void initialiseHashing() {
    // The library must be told its version before anything else and that its
    // set-up is finished; a magic static does both exactly once.
    static const bool started = [] {
        gcry_check_version(nullptr);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    (void)started;
}

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    initialiseHashing();
    gcry_md_hd_t handle = nullptr;
    if (gcry_md_open(&handle, GCRY_MD_CRC32, 0) != 0) {
        return 0;
    }
    gcry_md_write(handle, bytes.data(), bytes.size());
    const unsigned char* digest = gcry_md_read(handle, GCRY_MD_CRC32);
    // The library gives the CRC as four bytes, most significant first.
    const std::uint32_t value = readBE32(std::span<const std::uint8_t>(digest, 4), 0);
    gcry_md_close(handle);
    return value;
}

Digests selectedDigests(std::span<const std::uint8_t> bytes, DigestChoice choice) {
    initialiseHashing();
    Digests out;
    gcry_md_hd_t handle = nullptr;
    if (gcry_md_open(&handle, GCRY_MD_CRC32, 0) != 0) {
        return out;
    }
    const bool enabled = (!choice.md5 || gcry_md_enable(handle, GCRY_MD_MD5) == 0) &&
                         (!choice.sha1 || gcry_md_enable(handle, GCRY_MD_SHA1) == 0) &&
                         (!choice.sha256 || gcry_md_enable(handle, GCRY_MD_SHA256) == 0);
    if (enabled) {
        writeInChunks(handle, bytes);
        std::array<std::uint8_t, 4> crc{};
        copyDigest(handle, GCRY_MD_CRC32, crc);
        out.crc32 = readBE32(crc, 0);
        if (choice.md5) {
            copyDigest(handle, GCRY_MD_MD5, out.md5);
        }
        if (choice.sha1) {
            copyDigest(handle, GCRY_MD_SHA1, out.sha1);
        }
        if (choice.sha256) {
            copyDigest(handle, GCRY_MD_SHA256, out.sha256);
        }
    }
    gcry_md_close(handle);
    return out;
}

DigestHasher::DigestHasher() {
    initialiseHashing();
    helper_ = std::thread([this] { serve(); });
}

DigestHasher::~DigestHasher() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    helper_.join();
}

void DigestHasher::run(Job& job, std::unique_lock<std::mutex>& lock) {
    job.state = State::Running;
    lock.unlock();
    const std::array<std::uint8_t, 16> md5 = md5Of(job.bytes);
    lock.lock();
    job.digests.md5 = md5;
    job.state = State::Done;
}

void DigestHasher::serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        auto queued = jobs_.end();
        wake_.wait(lock, [&] {
            queued = std::find_if(jobs_.begin(), jobs_.end(),
                                  [](const Job& job) { return job.state == State::Queued; });
            return stopping_ || queued != jobs_.end();
        });
        if (stopping_) {
            return;
        }
        // The oldest first: that is the one the caller will wait for next.
        run(*queued, lock);
        done_.notify_one();
    }
}

DigestHasher::Ticket DigestHasher::start(std::span<const std::uint8_t> bytes) {
    Job* job = nullptr;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        job = &jobs_.emplace_back();
        job->ticket = next_++;
        job->bytes = bytes;
    }
    wake_.notify_one();
    // The helper never touches these three digests, so they are written
    // without the lock.
    shaAndCrcOf(bytes, job->digests);
    return job->ticket;
}

Digests DigestHasher::finish(Ticket ticket) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto mine = std::find_if(jobs_.begin(), jobs_.end(),
                                   [&](const Job& job) { return job.ticket == ticket; });
    if (mine == jobs_.end()) {
        return {};
    }
    while (mine->state != State::Done) {
        // The newest queued job, so that the helper, working from the oldest,
        // is not kept waiting for one the caller holds.
        const auto queued = std::find_if(jobs_.rbegin(), jobs_.rend(),
                                         [](const Job& job) { return job.state == State::Queued; });
        if (queued != jobs_.rend()) {
            run(*queued, lock);
        } else {
            done_.wait(lock);
        }
    }
    const Digests digests = mine->digests;
    jobs_.erase(mine);
    return digests;
}

Digests computeDigests(std::span<const std::uint8_t> bytes) {
    DigestHasher hasher;
    return hasher.digest(bytes);
}
