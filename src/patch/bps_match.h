#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The matching half of the BPS creator: finds, for a stretch of the modified
// image, the actions that rebuild it, chosen by their encoded size. The
// actions carry absolute positions; the encoder turns them into relative
// offsets in order.

namespace bps {

enum Action : std::uint8_t { SourceRead = 0, TargetRead = 1, SourceCopy = 2, TargetCopy = 3 };

// length bytes of the target from `from`: the original's position for the
// source actions, the modified image's for TargetRead (its own bytes) and
// TargetCopy.
struct Step {
    Action action;
    std::uint64_t length;
    std::uint64_t from;
};

// Positions of the original's 8-byte blocks at a stride of 1, 2 or 4 bytes
// by its size, hashed. Any stretch the modified image shares with the
// original that is at least stride + 7 bytes long holds an indexed block.
class SourceIndex {
  public:
    // Builds the index in parts, one for each share of the original; two
    // parts are filled on two threads when `threaded`, with the same result.
    SourceIndex(std::span<const std::uint8_t> source, unsigned parts, bool threaded);

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
    // shortCopiesUpTo bytes has none.
    static constexpr std::size_t shortCopiesUpTo = std::size_t{1} << 20;
    std::int64_t firstShort(const std::uint8_t* bytes) const;
    std::int64_t nextShort(std::uint64_t position) const;
    void prefetchShort(const std::uint8_t* bytes) const;

  private:
    std::vector<std::uint32_t> shortHeads_; // position + 1; 0 ends
    std::vector<std::uint32_t> shortNext_;
    int shortShift_ = 64;
    std::unique_ptr<std::uint32_t[]> slots_; // position + 1; 0 is empty
    std::size_t partSize_ = 0;
    unsigned parts_ = 0;
    int shift_ = 64;
};

// The steps that rebuild target[begin, end) from the original and from the
// bytes of the target before them. Deterministic for the same arguments.
std::vector<Step> matchRange(std::span<const std::uint8_t> source,
                             std::span<const std::uint8_t> target, const SourceIndex& index,
                             std::uint64_t begin, std::uint64_t end);

} // namespace bps
