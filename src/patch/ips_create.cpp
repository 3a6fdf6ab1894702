#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "patch/ips_record.h"
#include "patch/patch.h"

namespace {

using Cost = std::uint64_t;
constexpr Cost unreachable = std::numeric_limits<Cost>::max() / 4;

struct Record {
    std::size_t offset;
    std::size_t length;
    bool run;
};

// The decisions of the cheapest cover, one byte per target byte j:
// bits 0-1 how the boundary before byte j was reached with no record open
// (a byte left alone, a data record closed, a run closed); bit 2 set when the
// data record holding byte j starts there; bit 3 the same for a run.
enum : std::uint8_t { CameBySkip = 0, CameByData = 1, CameByRun = 2, DataStarts = 4, RunStarts = 8 };

// The cheapest set of records, in offset order, that writes every byte of
// [first, end) where the modified file differs from the original or lies past
// its end. Exact over records of up to 65,535 bytes: a shortest path over the
// boundaries between bytes, with three states at each (no record open, inside
// a data record, inside a run). A record may also cover unchanged bytes,
// which is how close changes merge, and a run may reach over unchanged bytes
// of its value. No record starts at the offset that reads as "EOF".
std::vector<Record> cheapestRecords(std::span<const std::uint8_t> original,
                                    std::span<const std::uint8_t> modified, std::size_t first,
                                    std::size_t end) {
    const auto mustWrite = [&](std::size_t j) {
        return j >= original.size() || modified[j] != original[j];
    };
    std::vector<std::uint8_t> choice(end - first);
    Cost free = 0;
    Cost data = unreachable;
    Cost run = unreachable;
    std::size_t dataLength = 0;
    std::size_t runLength = 0;
    for (std::size_t j = first; j < end; ++j) {
        std::uint8_t decided = CameBySkip;
        // Closing a record costs nothing; free already holds skipping.
        if (data < free) {
            free = data;
            decided = CameByData;
        }
        if (run < free) {
            free = run;
            decided = CameByRun;
        }
        const bool mayStart = j != ips::endMarkerOffset;
        const Cost startData = mayStart ? free + ips::recordHeaderSize + 1 : unreachable;
        const Cost startRun = mayStart ? free + ips::runRecordSize : unreachable;
        const bool dataGoesOn = data < unreachable && dataLength < ips::largestRecord;
        const bool runGoesOn = run < unreachable && runLength < ips::largestRecord &&
                               modified[j] == modified[j - 1];
        Cost nextData = dataGoesOn ? data + 1 : unreachable;
        if (startData <= nextData && startData < unreachable) {
            nextData = startData;
            dataLength = 1;
            decided |= DataStarts;
        } else {
            ++dataLength;
        }
        Cost nextRun = runGoesOn ? run : unreachable;
        if (startRun < nextRun) {
            nextRun = startRun;
            runLength = 1;
            decided |= RunStarts;
        } else {
            ++runLength;
        }
        free = mustWrite(j) ? unreachable : free;
        data = nextData;
        run = nextRun;
        choice[j - first] = decided;
    }

    // At the end every record is closed.
    std::uint8_t endHow = CameBySkip;
    if (data < free) {
        free = data;
        endHow = CameByData;
    }
    if (run < free) {
        endHow = CameByRun;
    }

    // Walk the decisions back from the end. The free state at boundary b (the
    // one before byte b) was decided with byte b; an open record at boundary b
    // holds byte b - 1, whose decision tells whether the record starts there.
    enum class State { Free, Data, Run } state = State::Free;
    std::vector<Record> records;
    std::size_t b = end;
    std::size_t recordEnd = end;
    while (b > first || state != State::Free) {
        if (state == State::Free) {
            const std::uint8_t how = b == end ? endHow : choice[b - first] & 3;
            if (how == CameBySkip) {
                --b;
            } else {
                state = how == CameByData ? State::Data : State::Run;
                recordEnd = b;
            }
            continue;
        }
        --b;
        const std::uint8_t starts = state == State::Data ? DataStarts : RunStarts;
        if ((choice[b - first] & starts) != 0) {
            records.push_back({b, recordEnd - b, state == State::Run});
            state = State::Free;
        }
    }
    std::reverse(records.begin(), records.end());
    return records;
}

} // namespace

std::optional<RomImage> createIpsPatchImage(std::span<const std::uint8_t> original,
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
    RomImage patch(ips::magic.begin(), ips::magic.end());
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
                    patch.insert(patch.end(), modified.begin() + static_cast<std::ptrdiff_t>(r.offset),
                                 modified.begin() + static_cast<std::ptrdiff_t>(r.offset + r.length));
                }
            }
        }
        patch.insert(patch.end(), ips::endMarker.begin(), ips::endMarker.end());
        if (shrinks) {
            ips::appendBigEndian(patch, static_cast<std::uint32_t>(modified.size()), 3);
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return patch;
}

bool createIpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath) {
    return combineRomFiles(originalPath, modifiedPath, patchPath, createIpsPatchImage);
}
