#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "base/byte_order.h"

// The indexes a patch creator searches for copies with: where a stretch of
// the modified image lies in the original (SourceIndex) or earlier in the
// modified image itself (TargetIndex), and how far two stretches agree. They
// know nothing of any patch format; the hot lookups are inline so that a
// creator's matcher keeps them in its loop.
namespace match {

constexpr std::size_t blockSize = 8;

// Eight bytes as one number, first byte lowest, whatever the machine's order
// (hashes, and so the patch, must not depend on it).
inline std::uint64_t load(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap64(value);
    }
    return value;
}

// The hash of four bytes, for the short-copy chain.
inline std::uint64_t hashShort(const std::uint8_t* bytes) {
    return readLE({bytes, 4}, 0, 4) * 0x9E3779B97F4A7C15ull;
}

// How many bytes from a and b agree, up to limit.
inline std::uint64_t forwardMatch(const std::uint8_t* a, const std::uint8_t* b,
                                  std::uint64_t limit) {
    std::uint64_t n = 0;
    while (limit - n >= blockSize) {
        const std::uint64_t difference = load(a + n) ^ load(b + n);
        if (difference != 0) {
            return n + static_cast<std::uint64_t>(std::countr_zero(difference)) / 8;
        }
        n += blockSize;
    }
    while (n < limit && a[n] == b[n]) {
        ++n;
    }
    return n;
}

// How many bytes before a and b agree, up to limit.
inline std::uint64_t backwardMatch(const std::uint8_t* a, const std::uint8_t* b,
                                   std::uint64_t limit) {
    std::uint64_t n = 0;
    while (limit - n >= blockSize) {
        const std::uint64_t difference = load(a - n - blockSize) ^ load(b - n - blockSize);
        if (difference != 0) {
            return n + static_cast<std::uint64_t>(std::countl_zero(difference)) / 8;
        }
        n += blockSize;
    }
    while (n < limit &&
           a[-1 - static_cast<std::ptrdiff_t>(n)] == b[-1 - static_cast<std::ptrdiff_t>(n)]) {
        ++n;
    }
    return n;
}

inline int slotBits(std::uint64_t wanted, int least, int most) {
    int bits = least;
    while (bits < most && (std::uint64_t{1} << bits) < wanted) {
        ++bits;
    }
    return bits;
}

// Recent blocks of the modified image that were written as new bytes, for
// repeats within it (TargetCopy).
class TargetIndex {
  public:
    explicit TargetIndex(std::uint64_t targetSize)
        : slots_(std::size_t{1} << slotBits(targetSize / 4, 12, 22)),
          shift_(64 - slotBits(targetSize / 4, 12, 22)) {}

    std::int64_t candidate(std::uint64_t blockHash) const {
        return static_cast<std::int64_t>(slots_[blockHash >> shift_]) - 1;
    }
    void prefetch(std::uint64_t blockHash) const {
        __builtin_prefetch(&slots_[blockHash >> shift_], 1);
    }
    void add(std::uint64_t blockHash, std::uint64_t position) {
        slots_[blockHash >> shift_] = static_cast<std::uint32_t>(position + 1);
    }

  private:
    std::vector<std::uint32_t> slots_;
    int shift_;
};

// The recent positions of the modified image, chained by their next three
// bytes, newest first: repeats too short or too near for the blocks (a word
// said again, a pattern of a few bytes repeated over itself).
class TargetChain {
  public:
    static constexpr std::size_t window = std::size_t{1} << 16;

    explicit TargetChain(std::uint64_t targetSize)
        : heads_(std::size_t{1} << slotBits(targetSize, 10, 18)), previous_(window),
          shift_(64 - slotBits(targetSize, 10, 18)) {}

    // bytes are the modified image's at position, three of them at least.
    void add(const std::uint8_t* bytes, std::uint64_t position) {
        const std::uint64_t key = keyOf(bytes);
        std::uint64_t& head = heads_[hash(key) >> shift_];
        previous_[position & (window - 1)] = head;
        head = (position + 1) << 24 | key;
    }
    // A position before p whose next three bytes are these, or -1.
    std::int64_t first(const std::uint8_t* bytes, std::uint64_t p) const {
        const std::uint64_t key = keyOf(bytes);
        return follow(heads_[hash(key) >> shift_], key, p);
    }
    // The one before position with the same bytes, or -1.
    std::int64_t next(std::uint64_t position, const std::uint8_t* bytes, std::uint64_t p) const {
        return follow(previous_[position & (window - 1)], keyOf(bytes), p, position);
    }
    void prefetch(const std::uint8_t* bytes) const {
        __builtin_prefetch(&heads_[hash(keyOf(bytes)) >> shift_]);
    }

  private:
    static std::uint64_t keyOf(const std::uint8_t* bytes) {
        return bytes[0] | std::uint64_t{bytes[1]} << 8 | std::uint64_t{bytes[2]} << 16;
    }
    static std::uint64_t hash(std::uint64_t key) { return key * 0x9E3779B97F4A7C15ull; }
    // The bucket holds other bytes too, each entry its own: a few of them
    // are passed over. A slot overwritten since holds a position not before
    // the one it follows: the chain ends there.
    std::int64_t follow(std::uint64_t entry, std::uint64_t key, std::uint64_t p,
                        std::uint64_t after = std::numeric_limits<std::uint64_t>::max()) const {
        for (unsigned passed = 0; passed < 2; ++passed) {
            const std::uint64_t slot = entry >> 24;
            if (slot == 0 || slot > p || p - (slot - 1) > window || slot > after) {
                return -1;
            }
            if ((entry & 0xFFFFFF) == key) {
                return static_cast<std::int64_t>(slot) - 1;
            }
            after = slot - 1;
            entry = previous_[after & (window - 1)];
        }
        return -1;
    }

    // (position + 1) << 24 and the three bytes there; 0 ends.
    std::vector<std::uint64_t> heads_;
    std::vector<std::uint64_t> previous_;
    int shift_;
};

// Positions of the original's 8-byte blocks at a stride of 1, 2 or 4 bytes
// by its size, hashed. Any stretch the modified image shares with the
// original that is at least stride + 7 bytes long holds an indexed block.
class SourceIndex {
  public:
    // Builds the index in parts, one for each share of the original; two
    // parts are filled on two threads when `threaded`, with the same result.
    SourceIndex(std::span<const std::uint8_t> source, unsigned parts, bool threaded,
                bool shortCopies = true);

    unsigned parts() const { return parts_; }
    // A position in the part whose block may have this hash (compare before
    // use), or -1: way 0 the newest such position, way 1 the oldest.
    static constexpr unsigned ways = 2;
    std::int64_t candidate(std::uint64_t blockHash, unsigned part, unsigned way) const;
    // Asks the memory for the slots of a hash that will be looked up soon.
    void prefetch(std::uint64_t blockHash) const;
    static std::uint64_t hashBlock(const std::uint8_t* bytes);

    // Positions of a small original whose next four bytes may be these
    // (compare before use), newest first: shared stretches too short for
    // the blocks. -1 ends the chain; an original of more than
    // shortCopiesUpTo bytes has none, nor one built without `shortCopies`.
    static constexpr std::size_t shortCopiesUpTo = std::size_t{1} << 21;
    std::int64_t firstShort(const std::uint8_t* bytes) const;
    std::int64_t nextShort(std::uint64_t position, const std::uint8_t* bytes) const;
    void prefetchShort(const std::uint8_t* bytes) const;
    // Then, nearer, for the entry after the bucket's newest.
    void prefetchShortNext(const std::uint8_t* bytes) const;

  private:
    // position + 1 in the low shortBits bits (0 ends), and above them bits
    // of the hash that the bucket does not hold, so that most other
    // stretches are told apart without reading the original.
    static constexpr int shortBits = 23;
    std::vector<std::uint32_t> shortHeads_;
    std::vector<std::uint32_t> shortNext_;
    unsigned shortPasses_ = 0;
    std::uint32_t shortTag(std::uint64_t hash) const {
        return static_cast<std::uint32_t>(hash >> (shortShift_ - (32 - shortBits))) << shortBits;
    }
    // The first position from this entry on whose tag is `tag`, or -1.
    std::int64_t shortFrom(std::uint32_t entry, std::uint32_t tag) const;
    int shortShift_ = 64;
    std::unique_ptr<std::uint32_t[]> slots_; // position + 1; 0 is empty
    std::size_t partSize_ = 0;
    unsigned parts_ = 0;
    int shift_ = 64;
};

inline std::uint64_t SourceIndex::hashBlock(const std::uint8_t* bytes) {
    return load(bytes) * 0x9E3779B97F4A7C15ull;
}

inline std::int64_t SourceIndex::shortFrom(std::uint32_t entry, std::uint32_t tag) const {
    constexpr std::uint32_t positionMask = (std::uint32_t{1} << shortBits) - 1;
    // Entries of other bytes share the bucket and are passed over, all of
    // them in a small original; in a larger one each costs a read from far
    // off, and the buckets outnumber the positions: an entry of other bytes
    // mostly means that no position has these.
    for (unsigned passed = 1;; ++passed) {
        const std::uint32_t position = entry & positionMask;
        if (position == 0) {
            return -1;
        }
        if ((entry & ~positionMask) == tag) {
            return static_cast<std::int64_t>(position) - 1;
        }
        if (passed == shortPasses_) {
            return -1;
        }
        entry = shortNext_[position - 1];
    }
}

inline std::int64_t SourceIndex::firstShort(const std::uint8_t* bytes) const {
    if (shortHeads_.empty()) {
        return -1;
    }
    const std::uint64_t hash = hashShort(bytes);
    return shortFrom(shortHeads_[hash >> shortShift_], shortTag(hash));
}

inline void SourceIndex::prefetchShort(const std::uint8_t* bytes) const {
    if (!shortHeads_.empty()) {
        __builtin_prefetch(&shortHeads_[hashShort(bytes) >> shortShift_]);
    }
}

inline void SourceIndex::prefetchShortNext(const std::uint8_t* bytes) const {
    if (!shortHeads_.empty()) {
        const std::uint32_t position =
            shortHeads_[hashShort(bytes) >> shortShift_] & ((std::uint32_t{1} << shortBits) - 1);
        if (position != 0) {
            __builtin_prefetch(&shortNext_[position - 1]);
        }
    }
}

inline std::int64_t SourceIndex::nextShort(std::uint64_t position,
                                           const std::uint8_t* bytes) const {
    return shortFrom(shortNext_[position], shortTag(hashShort(bytes)));
}

inline void SourceIndex::prefetch(std::uint64_t blockHash) const {
    for (unsigned part = 0; part < parts_; ++part) {
        __builtin_prefetch(slots_.get() + part * partSize_ + 2 * (blockHash >> shift_));
    }
}

inline std::int64_t SourceIndex::candidate(std::uint64_t blockHash, unsigned part,
                                           unsigned way) const {
    return static_cast<std::int64_t>(slots_[part * partSize_ + 2 * (blockHash >> shift_) + way]) -
           1;
}

} // namespace match
