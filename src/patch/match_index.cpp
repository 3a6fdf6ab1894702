#include "patch/match_index.h"

#include <algorithm>
#include <thread>

namespace match {

namespace {

// Every block of a small original is indexed, every second of a larger one
// and every fourth past 16 MiB: short shared stretches (words of text, small
// tables) are found where finding them is cheap, and the largest images stay
// fast to index.
std::uint64_t sourceStride(std::uint64_t sourceSize) {
    constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
    return sourceSize <= 4 * MiB ? 1 : sourceSize <= 16 * MiB ? 2 : 4;
}

} // namespace

SourceIndex::SourceIndex(std::span<const std::uint8_t> source, unsigned parts, bool threaded,
                         bool shortCopies) {
    parts_ = std::max(1u, parts);
    if (source.size() < blockSize) {
        parts_ = 0;
        return;
    }
    const std::uint64_t stride = sourceStride(source.size());
    const std::uint64_t blocks = (source.size() - blockSize) / stride + 1;
    const std::uint64_t blocksPerPart = (blocks + parts_ - 1) / parts_;
    const int bits = slotBits(blocksPerPart, 10, 29);
    shift_ = 64 - bits;
    partSize_ = std::size_t{2} << bits;
    slots_.reset(new std::uint32_t[partSize_ * parts_]);
    // Part t holds the blocks of the t-th share of the original, each filled
    // by its own thread in position order, so the index does not depend on
    // the threads' timing.
    const auto fill = [&](unsigned part) {
        std::uint32_t* slots = slots_.get() + part * partSize_;
        std::fill_n(slots, partSize_, 0u);
        const std::uint64_t first = part * blocksPerPart;
        const std::uint64_t last = std::min(blocks, first + blocksPerPart);
        // The slots are far apart in memory: ask for each a few blocks ahead.
        constexpr std::uint64_t ahead = 16;
        for (std::uint64_t block = first; block < last; ++block) {
            if (block + ahead < last) {
                __builtin_prefetch(
                    slots + 2 * (hashBlock(source.data() + (block + ahead) * stride) >> shift_), 1);
            }
            const std::uint64_t position = block * stride;
            // Two ways a bucket: the newest position first, the oldest second.
            // A block of a pattern or a fill is everywhere alike: the oldest
            // starts the first copy of it, the newest ends the last.
            std::uint32_t* bucket = slots + 2 * (hashBlock(source.data() + position) >> shift_);
            if (bucket[1] == 0) {
                bucket[1] = static_cast<std::uint32_t>(position + 1);
            }
            bucket[0] = static_cast<std::uint32_t>(position + 1);
        }
    };
    if (shortCopies && source.size() <= shortCopiesUpTo) {
        const int bits = slotBits(source.size(), 10, 22);
        shortShift_ = 64 - bits;
        shortPasses_ = source.size() <= (std::size_t{1} << 20) ? 16 : 1;
        shortHeads_.assign(std::size_t{1} << bits, 0);
        shortNext_.resize(source.size() - 3);
        for (std::size_t position = 0; position + 3 < source.size(); ++position) {
            if (position + 32 + 3 < source.size()) {
                __builtin_prefetch(
                    &shortHeads_[hashShort(source.data() + position + 32) >> shortShift_], 1);
            }
            const std::uint64_t hash = hashShort(source.data() + position);
            std::uint32_t& head = shortHeads_[hash >> shortShift_];
            shortNext_[position] = head;
            head = static_cast<std::uint32_t>(position + 1) | shortTag(hash);
        }
    }
    if (threaded && parts_ == 2) {
        std::thread helper(fill, 1u);
        fill(0);
        helper.join();
    } else {
        for (unsigned part = 0; part < parts_; ++part) {
            fill(part);
        }
    }
}

} // namespace match
