#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "base/bytes.h"
#include "cache/digest_cache.h"
#include "io/input_file.h"
#include "scan/record.h"

// How far the reading may run ahead of the MD5s: enough small files that a
// collection of half-megabyte images never leaves a core waiting on a
// hand-off (4 made --verify of 2,000 such files a third slower), and little
// memory beyond the file being read once the images are large.
constexpr std::size_t filesAhead = 32;
constexpr std::uint64_t bytesAhead = 64u << 20;

// Where the digests of a record go in the digest cache once it is hashed:
// the file it was read from and its position there (0 for the file itself).
struct KeepSlot {
    FileIdentity file;
    std::uint64_t position = 0;
    FileKind kind = FileKind::Unknown; // noted with the digests
};

// A record on its way from the reading thread to the hashing one, with the
// bytes it holds against the look-ahead. A record the cache knew arrives
// with its digests (and bytes only when it must still be inspected).
struct ScanItem {
    CatalogRecord record;
    std::shared_ptr<const Bytes> bytes;
    std::uint64_t reserved = 0;
    std::optional<KeepSlot> keep;
};

// Between the thread that walks, reads and decompresses and the thread that
// hashes: the records in walk order, and the look-ahead that every record
// holds from before its bytes are read until its digests are done.
class ScanPipe {
  public:
    // Waits until one more record of size bytes may be in flight (always
    // when none is, so that one file larger than the look-ahead still goes
    // through); false once the hashing side has stopped.
    bool reserve(std::uint64_t size) {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] {
            return cancelled_ || count_ == 0 ||
                   (count_ < filesAhead && bytes_ + size <= bytesAhead);
        });
        if (cancelled_) {
            return false;
        }
        ++count_;
        bytes_ += size;
        return true;
    }
    void release(std::uint64_t size) {
        {
            const std::lock_guard lock(mutex_);
            --count_;
            bytes_ -= size;
        }
        room_.notify_one();
    }
    void send(ScanItem item) {
        {
            const std::lock_guard lock(mutex_);
            items_.push_back(std::move(item));
        }
        ready_.notify_one();
    }
    void close() {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_one();
    }
    void cancel() {
        {
            const std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        room_.notify_all();
    }
    // The next record; nullopt when none is waiting (wait: none will come).
    std::optional<ScanItem> take(bool wait) {
        std::unique_lock lock(mutex_);
        if (wait) {
            ready_.wait(lock, [&] { return !items_.empty() || closed_; });
        }
        if (items_.empty()) {
            return std::nullopt;
        }
        ScanItem item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

  private:
    std::mutex mutex_;
    std::condition_variable room_;
    std::condition_variable ready_;
    std::deque<ScanItem> items_;
    std::size_t count_ = 0;
    std::uint64_t bytes_ = 0;
    bool closed_ = false;
    bool cancelled_ = false;
};
