#include "scan/scan.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <thread>
#include <utility>

#include "archive/archive.h"
#include "inspect/inspect.h"
#include "io/folder.h"
#include "scan/scan_pipe.h"

namespace {

// A record that waits for its MD5s: the bytes stay here until then. They are
// shared, as an archive's bytes are also read for its members meanwhile.
struct PendingRecord {
    CatalogRecord record;
    std::shared_ptr<const Bytes> bytes;
    std::optional<DigestHasher::Ticket> whole;
    std::optional<DigestHasher::Ticket> headerless;
};

// Inspects the image and starts its digests; image must outlive the finish.
void startRecord(PendingRecord& pending, std::span<const std::uint8_t> image,
                 const ScanOptions& options, DigestHasher& hasher) {
    CatalogRecord& record = pending.record;
    record.state = ItemState::Read;
    record.size = image.size();
    if (options.inspect) {
        record.info = inspectImage(image);
    }
    pending.whole = hasher.start(image);
    if (const std::optional<std::uint64_t> skip = options.headerSize(record.info, image)) {
        // An image cut off inside its header has nothing after it.
        const auto from = static_cast<std::size_t>(std::min<std::uint64_t>(*skip, image.size()));
        const auto rest = image.subspan(from);
        record.headerless = HeaderlessDigests{*skip, rest.size(), {}};
        pending.headerless = hasher.start(rest);
    }
}

void finishRecord(PendingRecord& pending, DigestHasher& hasher) {
    if (pending.whole) {
        pending.record.digests = hasher.finish(*pending.whole);
    }
    if (pending.headerless) {
        pending.record.headerless->digests = hasher.finish(*pending.headerless);
    }
}

// Records leave in the order they were queued.
class RecordQueue {
  public:
    RecordQueue(const ScanOptions& options, const RecordSink& sink, ScanPipe& pipe)
        : options_(options), sink_(sink), pipe_(pipe) {}
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    bool empty() const { return pending_.empty(); }

    // Starts the digests of a record (none for an unreadable one).
    void push(ScanItem item) {
        PendingRecord& next = pending_.emplace_back();
        next.record = std::move(item.record);
        reserved_.push_back(item.reserved);
        if (item.bytes) {
            next.bytes = std::move(item.bytes);
            startRecord(next, *next.bytes, options_, hasher_);
        }
    }

    // Finishes the oldest record, hands it on and frees its look-ahead.
    void emitOldest() {
        PendingRecord& oldest = pending_.front();
        finishRecord(oldest, hasher_);
        sink_(oldest.record);
        pending_.pop_front();
        pipe_.release(reserved_.front());
        reserved_.pop_front();
    }

  private:
    const ScanOptions& options_;
    const RecordSink& sink_;
    ScanPipe& pipe_;
    DigestHasher hasher_;
    std::deque<PendingRecord> pending_;
    std::deque<std::uint64_t> reserved_;
};

CatalogRecord recordOf(const std::string& path, std::optional<std::string> member = std::nullopt) {
    CatalogRecord record;
    record.path = path;
    record.member = std::move(member);
    return record;
}

} // namespace

CatalogRecord catalogImage(std::string path, std::span<const std::uint8_t> image,
                           DigestHasher& hasher) {
    PendingRecord pending;
    pending.record.path = std::move(path);
    startRecord(pending, image, ScanOptions{}, hasher);
    finishRecord(pending, hasher);
    return std::move(pending.record);
}

namespace {

// The reading side: walks, reads and opens archives, in walk order.
void readPaths(std::span<const std::string> arguments, const ScanOptions& options, ScanPipe& pipe) {
    walkPaths(arguments, [&](const std::string& path, std::optional<InputFile> file) {
        const std::uint64_t size = file ? file->size() : 0;
        if (!pipe.reserve(size)) {
            return;
        }
        std::optional<Bytes> read;
        if (file) {
            read = file->readAll();
        }
        if (!read) {
            pipe.send({recordOf(path), nullptr, size});
            return;
        }
        auto bytes = std::make_shared<const Bytes>(std::move(*read));
        if (!isArchive(*bytes)) {
            pipe.send({recordOf(path), std::move(bytes), size});
            return;
        }
        // The archive's bytes stay here until its members are out.
        if (options.archiveRecords) {
            pipe.send({recordOf(path), bytes, size});
        } else {
            pipe.release(size);
        }
        const bool listed = forEachArchiveMember(*bytes, [&](ArchiveMember& member) {
            if (!member.readable) {
                if (pipe.reserve(0)) {
                    pipe.send({recordOf(path, std::move(member.name)), nullptr, 0});
                }
                return;
            }
            const std::uint64_t memberSize = member.bytes.size();
            if (pipe.reserve(memberSize)) {
                pipe.send({recordOf(path, std::move(member.name)),
                           std::make_shared<const Bytes>(std::move(member.bytes)), memberSize});
            }
        });
        if (!listed && pipe.reserve(0)) {
            pipe.send({recordOf(path), nullptr, 0});
        }
    });
}

} // namespace

// One thread reads (and decompresses) while this one hashes and hands the
// records on, and the MD5 helper of the hasher runs beside both.
void scanPaths(std::span<const std::string> arguments, const ScanOptions& options,
               const RecordSink& sink) {
    ScanPipe pipe;
    std::thread reader([&] {
        readPaths(arguments, options, pipe);
        pipe.close();
    });
    // Whatever ends this thread's part, the reader stops and is joined.
    struct Stop {
        ScanPipe& pipe;
        std::thread& reader;
        ~Stop() {
            pipe.cancel();
            reader.join();
        }
    } stop{pipe, reader};
    RecordQueue queue(options, sink, pipe);
    while (true) {
        std::optional<ScanItem> item = pipe.take(false);
        if (!item && !queue.empty()) {
            // Rather than wait for the reader, finish what is started.
            queue.emitOldest();
            continue;
        }
        if (!item) {
            item = pipe.take(true);
            if (!item) {
                break;
            }
        }
        queue.push(std::move(*item));
    }
}

void catalogPaths(std::span<const std::string> arguments, const RecordSink& sink) {
    scanPaths(arguments, ScanOptions{}, sink);
}
