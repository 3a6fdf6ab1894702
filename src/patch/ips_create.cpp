#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <new>
#include <vector>

#include "io/output_file.h"
#include "patch/ips.h"
#include "patch/patch.h"

namespace {

// Signed: a data record's start is kept as its cost less its offset.
using Cost = std::int64_t;
constexpr Cost unreachable = std::numeric_limits<Cost>::max() / 4;

struct Record {
    std::size_t offset;
    std::size_t length;
    bool run;
};

// How the cheapest cover reached a boundary: the start of the record that
// ends there, with a flag for a run, or the byte before left alone.
constexpr std::uint32_t leftAlone = 0xFFFFFFFFu;
constexpr std::uint32_t runFlag = 0x80000000u;

// The record starts that may end at the boundary being decided, each with
// what the cover costs up to it (less the start, for data records, whose
// cost grows with their length), cheapest first. Starts fall out when the
// record from them would exceed 65,535 bytes.
class Window {
  public:
    void add(std::uint32_t start, Cost cost) {
        while (!starts_.empty() && starts_.back().second >= cost) {
            starts_.pop_back();
        }
        starts_.emplace_back(start, cost);
    }
    void dropBefore(std::uint32_t start) {
        while (!starts_.empty() && starts_.front().first < start) {
            starts_.pop_front();
        }
    }
    void clear() { starts_.clear(); }
    bool empty() const { return starts_.empty(); }
    const std::pair<std::uint32_t, Cost>& cheapest() const { return starts_.front(); }

  private:
    std::deque<std::pair<std::uint32_t, Cost>> starts_;
};

// The cheapest set of records, in offset order, that writes every byte of
// [first, end) where the modified file differs from the original or lies past
// its end. A shortest path over the boundaries between bytes: a record is an
// edge from the boundary where it starts to the one where it ends, of up to
// 65,535 bytes, never starting at the offset that reads as "EOF". A record
// may cover unchanged bytes, which is how close changes merge, and a run may
// reach over unchanged bytes of its value. Exact, so the rule about that
// offset costs nothing where the records can shift around it, and no more
// than it must elsewhere.
std::vector<Record> cheapestRecords(std::span<const std::uint8_t> original,
                                    std::span<const std::uint8_t> modified, std::size_t first,
                                    std::size_t end) {
    const auto mustWrite = [&](std::size_t j) {
        return j >= original.size() || modified[j] != original[j];
    };
    const std::size_t count = end - first;
    // came[k]: how boundary first + k was reached, for k >= 1.
    std::vector<std::uint32_t> came(count + 1, leftAlone);
    Window data;
    Window run;
    Cost previous = 0; // the cheapest cover up to the boundary before
    for (std::size_t k = 1; k <= count; ++k) {
        const std::size_t j = first + k - 1; // the byte between boundaries k - 1 and k
        const auto start = static_cast<std::uint32_t>(k - 1);
        const auto boundary = static_cast<Cost>(k);
        if (k > 1 && modified[j] != modified[j - 1]) {
            run.clear();
        }
        if (previous < unreachable && j != ips::endMarkerOffset) {
            data.add(start, previous - static_cast<Cost>(start) +
                                static_cast<Cost>(ips::recordHeaderSize));
            run.add(start, previous + static_cast<Cost>(ips::runRecordSize));
        }
        const auto oldest =
            static_cast<std::uint32_t>(k > ips::largestRecord ? k - ips::largestRecord : 0);
        data.dropBefore(oldest);
        run.dropBefore(oldest);

        Cost best = mustWrite(j) ? unreachable : previous;
        std::uint32_t how = leftAlone;
        if (!data.empty() && data.cheapest().second + boundary < best) {
            best = data.cheapest().second + boundary;
            how = data.cheapest().first;
        }
        if (!run.empty() && run.cheapest().second < best) {
            best = run.cheapest().second;
            how = run.cheapest().first | runFlag;
        }
        came[k] = how;
        previous = best;
    }

    std::vector<Record> records;
    for (std::size_t k = count; k > 0;) {
        const std::uint32_t how = came[k];
        if (how == leftAlone) {
            --k;
            continue;
        }
        const std::size_t start = how & ~runFlag;
        records.push_back({first + start, k - start, (how & runFlag) != 0});
        k = start;
    }
    std::reverse(records.begin(), records.end());
    return records;
}

std::optional<Bytes> makePatch(std::span<const std::uint8_t> original,
                               std::span<const std::uint8_t> modified) {
    if (original.empty() || modified.empty()) {
        return std::nullopt;
    }
    // The bytes that must be written: those that differ and the tail past
    // the original's end.
    const std::size_t common = std::min(original.size(), modified.size());
    std::size_t first = common;
    for (std::size_t j = 0; j < common; ++j) {
        if (original[j] != modified[j]) {
            first = j;
            break;
        }
    }
    std::size_t end = first;
    if (modified.size() > original.size()) {
        end = modified.size();
    } else {
        for (std::size_t j = common; j > first; --j) {
            if (original[j - 1] != modified[j - 1]) {
                end = j;
                break;
            }
        }
    }
    const bool shrinks = modified.size() < original.size();
    if (end > ips::offsetLimit || (shrinks && modified.size() >= ips::offsetLimit)) {
        return std::nullopt;
    }
    Bytes patch(ips::magic.begin(), ips::magic.end());
    try {
        if (first < end) {
            // One byte of slack before the first change lets a record that
            // would start at the "EOF" offset start a byte earlier.
            const std::size_t from = first > 0 ? first - 1 : 0;
            for (const Record& r : cheapestRecords(original, modified, from, end)) {
                const auto offset = static_cast<std::uint32_t>(r.offset);
                const auto length = static_cast<std::uint16_t>(r.length);
                if (r.run) {
                    ips::appendRun(patch, offset, length, modified[r.offset]);
                } else {
                    ips::appendRecordHeader(patch, offset, length);
                    patch.insert(
                        patch.end(), modified.begin() + static_cast<std::ptrdiff_t>(r.offset),
                        modified.begin() + static_cast<std::ptrdiff_t>(r.offset + r.length));
                }
            }
        }
        patch.insert(patch.end(), ips::endMarker.begin(), ips::endMarker.end());
        if (shrinks) {
            appendBE(patch, modified.size(), ips::truncationSizeLength);
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return patch;
}

} // namespace

namespace ips {

std::optional<Bytes> create(std::span<const std::uint8_t> original,
                            std::span<const std::uint8_t> modified) {
    return makePatch(original, modified);
}

} // namespace ips

bool createIpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath) {
    return combineFiles(originalPath, modifiedPath, patchPath, ips::create);
}
