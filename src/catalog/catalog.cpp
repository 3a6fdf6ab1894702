#include "catalog/catalog.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <utility>

#include "archive/archive.h"
#include "inspect/inspect.h"
#include "inspect/snes_header.h"
#include "io/folder.h"

namespace {

constexpr std::uint64_t inesHeaderSize = 16;
constexpr std::uint64_t inesTrainerSize = 512;
constexpr std::size_t inesFlags6 = 6;
constexpr std::uint8_t inesTrainerFlag = 0x04;

} // namespace

std::optional<std::uint64_t> databaseHeaderSize(const RomInfo& info,
                                                std::span<const std::uint8_t> image) {
    if (info.platform == RomPlatform::Snes && info.hasCopierHeader) {
        return copierHeaderSize;
    }
    if (info.platform == RomPlatform::Nes && image.size() > inesFlags6) {
        const bool trainer = (image[inesFlags6] & inesTrainerFlag) != 0;
        return inesHeaderSize + (trainer ? inesTrainerSize : 0);
    }
    return std::nullopt;
}

namespace {

// A record that waits for its MD5s: the bytes stay here until then. They are
// shared, as an archive's bytes are also read for its members meanwhile.
struct PendingRecord {
    CatalogRecord record;
    std::shared_ptr<const RomImage> bytes;
    std::optional<DigestHasher::Ticket> whole;
    std::optional<DigestHasher::Ticket> headerless;
};

// Inspects the image and starts its digests; image must outlive the finish.
void startRecord(PendingRecord& pending, std::span<const std::uint8_t> image,
                 const ScanOptions& options, DigestHasher& hasher) {
    CatalogRecord& record = pending.record;
    record.readable = true;
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

// How far the reading may run ahead of the MD5s: a few files, and little
// memory beyond the file being read once the images are large.
constexpr std::size_t filesAhead = 3;
constexpr std::uint64_t bytesAhead = 64u << 20;

// Records leave in the order they were queued.
class RecordQueue {
  public:
    RecordQueue(const ScanOptions& options, const RecordSink& sink)
        : options_(options), sink_(sink) {}
    RecordQueue(const RecordQueue&) = delete;
    RecordQueue& operator=(const RecordQueue&) = delete;

    void drain() {
        while (!pending_.empty()) {
            emitOldest();
        }
    }

    // Queues a record; bytes null for an unreadable one.
    void push(CatalogRecord record, std::shared_ptr<const RomImage> bytes) {
        const std::uint64_t size = bytes ? bytes->size() : 0;
        while (pending_.size() >= filesAhead ||
               (!pending_.empty() && pendingBytes_ + size > bytesAhead)) {
            emitOldest();
        }
        PendingRecord& next = pending_.emplace_back();
        next.record = std::move(record);
        if (bytes) {
            next.bytes = std::move(bytes);
            pendingBytes_ += size;
            startRecord(next, *next.bytes, options_, hasher_);
        }
    }

  private:
    void emitOldest() {
        PendingRecord& oldest = pending_.front();
        finishRecord(oldest, hasher_);
        sink_(oldest.record);
        pendingBytes_ -= oldest.bytes ? oldest.bytes->size() : 0;
        pending_.pop_front();
    }

    const ScanOptions& options_;
    const RecordSink& sink_;
    DigestHasher hasher_;
    std::deque<PendingRecord> pending_;
    std::uint64_t pendingBytes_ = 0;
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

void scanPaths(std::span<const std::string> arguments, const ScanOptions& options,
               const RecordSink& sink) {
    RecordQueue queue(options, sink);
    walkPaths(arguments, [&](const std::string& path, std::optional<InputFile> file) {
        std::optional<RomImage> read;
        if (file) {
            read = file->readAll();
        }
        if (!read) {
            queue.push(recordOf(path), nullptr);
            return;
        }
        auto bytes = std::make_shared<const RomImage>(std::move(*read));
        if (!isArchive(*bytes)) {
            queue.push(recordOf(path), std::move(bytes));
            return;
        }
        if (options.archiveRecords) {
            queue.push(recordOf(path), bytes);
        }
        const bool listed = forEachArchiveMember(*bytes, [&](ArchiveMember& member) {
            if (!member.readable) {
                queue.push(recordOf(path, std::move(member.name)), nullptr);
                return;
            }
            queue.push(recordOf(path, std::move(member.name)),
                       std::make_shared<const RomImage>(std::move(member.bytes)));
        });
        if (!listed) {
            queue.push(recordOf(path), nullptr);
        }
    });
    queue.drain();
}

void catalogPaths(std::span<const std::string> arguments, const RecordSink& sink) {
    scanPaths(arguments, ScanOptions{}, sink);
}
