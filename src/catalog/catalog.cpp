#include "catalog/catalog.h"

#include <algorithm>
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

CatalogRecord catalogImage(std::string path, std::span<const std::uint8_t> image,
                           DigestHasher& hasher) {
    CatalogRecord record;
    record.path = std::move(path);
    record.readable = true;
    record.size = image.size();
    record.info = inspectImage(image);
    record.digests = hasher.digest(image);
    if (const std::optional<std::uint64_t> skip = databaseHeaderSize(record.info, image)) {
        // An image cut off inside its header has nothing after it.
        const auto from = static_cast<std::size_t>(std::min<std::uint64_t>(*skip, image.size()));
        const auto rest = image.subspan(from);
        record.headerless = HeaderlessDigests{*skip, rest.size(), hasher.digest(rest)};
    }
    return record;
}

void catalogPaths(std::span<const std::string> arguments,
                  const std::function<void(const CatalogRecord&)>& sink) {
    DigestHasher hasher;
    walkPaths(arguments, [&](const std::string& path, std::optional<InputFile> file) {
        std::optional<RomImage> bytes;
        if (file) {
            bytes = file->readAll();
        }
        if (!bytes) {
            CatalogRecord unreadable;
            unreadable.path = path;
            sink(unreadable);
            return;
        }
        sink(catalogImage(path, *bytes, hasher));
    });
}
