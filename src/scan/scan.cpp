#include "scan/scan.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <thread>
#include <utility>

#include "archive/archive.h"
#include "cache/digest_cache.h"
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
    std::optional<KeepSlot> keep;
};

// The digests of a record as the cache keeps them, and back.
KnownItem knownItemOf(const CatalogRecord& record, std::uint64_t position) {
    KnownDigests digests;
    digests.size = record.size;
    digests.whole = record.digests;
    if (record.headerless) {
        digests.skip = record.headerless->skip;
        digests.headerless = record.headerless->digests;
    }
    return {position, record.member.value_or(std::string()), digests};
}

void applyKnown(CatalogRecord& record, const KnownDigests& known) {
    record.state = ItemState::Known;
    record.size = known.size;
    record.digests = known.whole;
    if (known.skip) {
        const std::uint64_t rest = known.size - std::min(*known.skip, known.size);
        record.headerless = HeaderlessDigests{*known.skip, rest, known.headerless};
    }
}

// The digests kept for the item at this position, if they are of this name
// and size.
const KnownDigests* knownAt(const KnownFile* known, std::uint64_t position, std::string_view name,
                            std::uint64_t size) {
    if (known == nullptr) {
        return nullptr;
    }
    const auto item = std::lower_bound(
        known->items.begin(), known->items.end(), position,
        [](const KnownItem& each, std::uint64_t wanted) { return each.position < wanted; });
    if (item == known->items.end() || item->position != position || item->name != name ||
        !item->digests || item->digests->size != size) {
        return nullptr;
    }
    return &*item->digests;
}

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
    if (const std::optional<std::uint64_t> skip = headerRule(options.headers)(record.info, image)) {
        // An image cut off inside its header has nothing after it.
        const auto from = static_cast<std::size_t>(std::min<std::uint64_t>(*skip, image.size()));
        const auto rest = image.subspan(from);
        record.headerless = HeaderlessDigests{*skip, rest.size(), {}};
        pending.headerless = hasher.start(rest);
    }
    // Listed as what it is only after the digests are settled, which it leaves as they are.
    if (options.inspect) {
        record.info = catalogueInfo(std::move(record.info), isArchive(image));
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
        next.keep = item.keep;
        reserved_.push_back(item.reserved);
        if (!item.bytes) {
            return;
        }
        next.bytes = std::move(item.bytes);
        if (next.record.state != ItemState::Known) {
            startRecord(next, *next.bytes, options_, hasher_);
        } else if (options_.inspect) {
            next.record.info = catalogueInfo(inspectImage(*next.bytes), isArchive(*next.bytes));
        }
    }

    // Finishes the oldest record, hands it on and frees its look-ahead.
    void emitOldest() {
        PendingRecord& oldest = pending_.front();
        finishRecord(oldest, hasher_);
        if (oldest.keep && options_.cache != nullptr && oldest.record.state == ItemState::Read) {
            options_.cache->keep(oldest.keep->file,
                                 knownItemOf(oldest.record, oldest.keep->position),
                                 options_.headers, oldest.keep->kind);
        }
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

void sendRecord(ScanPipe& pipe, CatalogRecord record) {
    if (pipe.reserve(0)) {
        pipe.send({std::move(record), nullptr, 0, std::nullopt});
    }
}

// Hands on the records of a file from what the cache knows, reading no more
// than an inspection does; false when the cache does not know enough.
bool sendKnown(const std::string& path, const InputFile& file, const KnownFile& known,
               const ScanOptions& options, ScanPipe& pipe) {
    if (known.kind == FileKind::Plain) {
        const KnownDigests* digests = knownAt(&known, 0, "", file.size());
        if (digests == nullptr) {
            return false;
        }
        CatalogRecord record = recordOf(path);
        applyKnown(record, *digests);
        if (options.inspect) {
            record.info = catalogueInfo(inspectFile(file), false);
        }
        sendRecord(pipe, std::move(record));
        return true;
    }
    // An archive's members are told from the cache only where they need no
    // inspection (which would mean expanding them).
    if (known.kind != FileKind::Archive || !known.members || options.inspect) {
        return false;
    }
    std::vector<const KnownItem*> items;
    for (const KnownItem& item : known.items) {
        if (item.digests && (item.position > 0 || options.archiveRecords)) {
            items.push_back(&item);
        }
    }
    const std::uint64_t wanted = *known.members + (options.archiveRecords ? 1 : 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i]->position != i + (options.archiveRecords ? 0 : 1)) {
            return false;
        }
    }
    if (items.size() != wanted) {
        return false;
    }
    for (const KnownItem* item : items) {
        CatalogRecord record = item->position == 0 ? recordOf(path) : recordOf(path, item->name);
        applyKnown(record, *item->digests);
        sendRecord(pipe, std::move(record));
    }
    return true;
}

// The reading side: walks, reads and opens archives, in walk order. With a
// cache, each file is first looked up by its identity; a file read whole is
// kept only when its time has settled and it did not change while read.
void readPaths(std::span<const std::string> arguments, const ScanOptions& options, ScanPipe& pipe) {
    DigestCache* const cache = options.cache;
    walkPaths(arguments, [&](const std::string& path, std::optional<InputFile> file) {
        std::optional<FileIdentity> identity;
        std::optional<KnownFile> known;
        if (file && cache != nullptr) {
            identity = file->identity();
            if (identity) {
                known = cache->find(*identity, options.headers);
            }
            if (known && sendKnown(path, *file, *known, options, pipe)) {
                return;
            }
        }
        const std::uint64_t size = file ? file->size() : 0;
        if (!pipe.reserve(size)) {
            return;
        }
        std::optional<Bytes> read;
        if (file) {
            read = file->readAll();
        }
        if (!read) {
            pipe.send({recordOf(path), nullptr, size, std::nullopt});
            return;
        }
        const bool keepable = identity && isSettled(*identity) && file->identity() == identity;
        // The item at position, known from the cache or to be kept there.
        const auto item = [&](CatalogRecord record, std::shared_ptr<const Bytes> bytes,
                              std::uint64_t position, std::uint64_t reserved,
                              FileKind kind = FileKind::Unknown) {
            std::optional<KeepSlot> keep;
            if (const KnownDigests* digests = knownAt(known ? &*known : nullptr, position,
                                                      record.member.value_or(""), bytes->size())) {
                applyKnown(record, *digests);
            } else if (keepable) {
                keep = KeepSlot{*identity, position, kind};
            }
            return ScanItem{std::move(record), std::move(bytes), reserved, keep};
        };
        auto bytes = std::make_shared<const Bytes>(std::move(*read));
        if (!isArchive(*bytes)) {
            pipe.send(item(recordOf(path), std::move(bytes), 0, size, FileKind::Plain));
            return;
        }
        if (keepable) {
            cache->noteKind(*identity, FileKind::Archive);
        }
        // The archive's bytes stay here until its members are out.
        if (options.archiveRecords) {
            pipe.send(item(recordOf(path), bytes, 0, size));
        } else {
            pipe.release(size);
        }
        std::uint64_t position = 0;
        bool allReadable = true;
        const bool listed = forEachArchiveMember(*bytes, [&](ArchiveMember& member) {
            ++position;
            if (!member.readable) {
                allReadable = false;
                sendRecord(pipe, recordOf(path, std::move(member.name)));
                return;
            }
            const std::uint64_t memberSize = member.bytes.size();
            if (pipe.reserve(memberSize)) {
                pipe.send(item(recordOf(path, std::move(member.name)),
                               std::make_shared<const Bytes>(std::move(member.bytes)), position,
                               memberSize));
            }
        });
        if (!listed) {
            sendRecord(pipe, recordOf(path));
        } else if (keepable && allReadable) {
            cache->noteKind(*identity, FileKind::Archive, position);
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

void catalogPaths(std::span<const std::string> arguments, const RecordSink& sink,
                  DigestCache* cache) {
    ScanOptions options;
    options.cache = cache;
    scanPaths(arguments, options, sink);
}
