#include "catalog/catalog.h"

#include <algorithm>
#include <deque>
#include <utility>

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

// A file whose record waits for its MD5s: the bytes stay here until then.
struct PendingRecord {
    CatalogRecord record;
    RomImage bytes;
    std::optional<DigestHasher::Ticket> whole;
    std::optional<DigestHasher::Ticket> headerless;
};

// Inspects the image and starts its digests; image must outlive the finish.
void startRecord(PendingRecord& pending, std::span<const std::uint8_t> image, DigestHasher& hasher) {
    CatalogRecord& record = pending.record;
    record.readable = true;
    record.size = image.size();
    record.info = inspectImage(image);
    pending.whole = hasher.start(image);
    if (const std::optional<std::uint64_t> skip = databaseHeaderSize(record.info, image)) {
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

} // namespace

CatalogRecord catalogImage(std::string path, std::span<const std::uint8_t> image,
                           DigestHasher& hasher) {
    PendingRecord pending;
    pending.record.path = std::move(path);
    startRecord(pending, image, hasher);
    finishRecord(pending, hasher);
    return std::move(pending.record);
}

void catalogPaths(std::span<const std::string> arguments,
                  const std::function<void(const CatalogRecord&)>& sink) {
    DigestHasher hasher;
    // Records leave in the order the walk reached their files.
    std::deque<PendingRecord> pending;
    std::uint64_t pendingBytes = 0;
    const auto emitOldest = [&] {
        PendingRecord& oldest = pending.front();
        finishRecord(oldest, hasher);
        sink(oldest.record);
        pendingBytes -= oldest.bytes.size();
        pending.pop_front();
    };
    walkPaths(arguments, [&](const std::string& path, std::optional<InputFile> file) {
        while (pending.size() >= filesAhead ||
               (!pending.empty() && file && pendingBytes + file->size() > bytesAhead)) {
            emitOldest();
        }
        PendingRecord& next = pending.emplace_back();
        next.record.path = path;
        std::optional<RomImage> bytes;
        if (file) {
            bytes = file->readAll();
        }
        if (bytes) {
            next.bytes = std::move(*bytes);
            pendingBytes += next.bytes.size();
            startRecord(next, next.bytes, hasher);
        }
    });
    while (!pending.empty()) {
        emitOldest();
    }
}
