#include <algorithm>
#include <new>

#include "io/output_file.h"
#include "patch/bps_number.h"
#include "patch/crc_footer.h"
#include "patch/patch.h"
#include "patch/ups.h"

namespace {

// Both sides read as padded with zeros to the larger size.
struct PaddedPair {
    PaddedPair(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second)
        : a(first), b(second), common(std::min(a.size(), b.size())),
          size(std::max(a.size(), b.size())), longer(a.size() > b.size() ? a : b) {}

    std::span<const std::uint8_t> a;
    std::span<const std::uint8_t> b;
    std::size_t common;
    std::size_t size;
    std::span<const std::uint8_t> longer;

    bool differs(std::size_t i) const { return i < common ? a[i] != b[i] : longer[i] != 0; }
    std::uint8_t xorAt(std::size_t i) const {
        return i < common ? static_cast<std::uint8_t>(a[i] ^ b[i]) : longer[i];
    }
    // The first differing position at or after i, or size.
    std::size_t nextDifference(std::size_t i) const {
        if (i < common) {
            const auto at = std::mismatch(a.begin() + static_cast<std::ptrdiff_t>(i),
                                          a.begin() + static_cast<std::ptrdiff_t>(common),
                                          b.begin() + static_cast<std::ptrdiff_t>(i));
            i = static_cast<std::size_t>(at.first - a.begin());
            if (i < common) {
                return i;
            }
        }
        const auto at = std::find_if(longer.begin() + static_cast<std::ptrdiff_t>(i), longer.end(),
                                     [](std::uint8_t x) { return x != 0; });
        return static_cast<std::size_t>(at - longer.begin());
    }
};

Bytes canonicalPatch(std::span<const std::uint8_t> original,
                     std::span<const std::uint8_t> modified) {
    using ups::magic;
    Bytes patch(magic.begin(), magic.end());
    bps::appendNumber(patch, original.size());
    bps::appendNumber(patch, modified.size());
    const PaddedPair pair(original, modified);
    std::size_t position = 0;
    for (std::size_t i = pair.nextDifference(0); i < pair.size; i = pair.nextDifference(i)) {
        bps::appendNumber(patch, i - position);
        for (; i < pair.size && pair.differs(i); ++i) {
            patch.push_back(pair.xorAt(i));
        }
        // The terminator stands for position i, equal on both sides (or past the end).
        patch.push_back(0);
        position = i + 1;
        i = std::min(i + 1, pair.size);
    }
    appendCrcFooter(patch, crc32(original), crc32(modified));
    return patch;
}

} // namespace

std::optional<Bytes> ups::create(std::span<const std::uint8_t> original,
                                 std::span<const std::uint8_t> modified) {
    if (original.empty() || modified.empty()) {
        return std::nullopt;
    }
    try {
        return canonicalPatch(original, modified);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool createUpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath) {
    return combineFiles(originalPath, modifiedPath, patchPath, ups::create);
}
