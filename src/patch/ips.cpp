#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <new>

#include "io/input_file.h"
#include "io/output_file.h"
#include "patch/ips.h"
#include "patch/patch.h"

namespace {

// Records may write past the end of the image; it grows to exactly the end of
// the record, the new bytes zero. At most 0xFFFFFF + 0xFFFF bytes, so the
// sum cannot overflow. False when even that much memory cannot be had.
bool growTo(Bytes& image, std::size_t end) {
    if (image.size() < end) {
        try {
            image.resize(end, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return true;
}

} // namespace

namespace ips {

Summary describe(std::span<const std::uint8_t> patch) {
    Summary summary;
    const RecordsEnd end = readRecords(patch, [&](const Record& record) {
        ++summary.records;
        summary.runRecords += record.run ? 1 : 0;
        summary.writesUpTo =
            std::max<std::uint64_t>(summary.writesUpTo, record.offset + record.length);
        return true;
    });
    if (!end.complete) {
        summary.cutOffAt = end.at;
    }
    summary.truncatesTo = end.truncatesTo;
    return summary;
}

bool wellFormed(const Summary& summary) {
    return !summary.cutOffAt.has_value();
}

SourceMatch match(const Summary&, std::span<const std::uint8_t>, RomForms&) {
    return SourceMatch::NotChecked;
}

ApplyResult applyChecked(const Summary&, std::span<const std::uint8_t> patch, RomForms& rom) {
    try {
        Bytes image(rom.rom.begin(), rom.rom.end());
        if (!apply(image, patch)) {
            return damagedPatch();
        }
        return appliedTo(SourceMatch::Yes, std::move(image));
    } catch (const std::bad_alloc&) {
        return damagedPatch();
    }
}

bool applyToRom(Bytes& image, std::span<const std::uint8_t> patch) {
    return !image.empty() && apply(image, patch);
}

bool apply(Bytes& image, std::span<const std::uint8_t> patch) {
    if (!hasBytesAt(patch, 0, magic)) {
        return false;
    }
    const RecordsEnd end = readRecords(patch, [&](const Record& record) {
        // A run of 0 grows the image too, to the record's offset.
        if (!growTo(image, record.offset + record.length)) {
            return false;
        }
        const auto at = image.begin() + static_cast<std::ptrdiff_t>(record.offset);
        if (record.run) {
            std::fill_n(at, record.length, record.value);
        } else {
            std::copy(record.data.begin(), record.data.end(), at);
        }
        return true;
    });
    if (!end.complete) {
        return false;
    }
    // The declared size of a shorter target only ever cuts, never grows.
    if (end.truncatesTo && image.size() > *end.truncatesTo) {
        image.resize(*end.truncatesTo);
    }
    return true;
}

} // namespace ips

bool applyIpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath) {
    Bytes image = readFile(romPath).value_or(Bytes{});
    const Bytes patch = readFile(patchPath).value_or(Bytes{});
    // A malformed patch discards whatever its earlier records did: nothing is written.
    if (!ips::applyToRom(image, patch)) {
        return false;
    }
    return writeFile(outputPath, image);
}
