#include "patch/bps_match.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <thread>

#include "patch/bps_number.h"

namespace bps {

namespace {

constexpr std::size_t blockSize = 8;
// Every block of a small original is indexed, every second of a larger one
// and every fourth past 16 MiB: short shared stretches (words of text, small
// tables) are found where finding them is cheap, and the largest images stay
// fast to index.
std::uint64_t sourceStride(std::uint64_t sourceSize) {
    constexpr std::uint64_t MiB = std::uint64_t{1} << 20;
    return sourceSize <= 4 * MiB ? 1 : sourceSize <= 16 * MiB ? 2 : 4;
}
// How far a copy found later may reach back over steps already taken.
constexpr std::uint64_t reachBack = 1 << 16;
// How many positions ahead the index slots are fetched.
constexpr std::uint64_t prefetchAhead = 16;
// Copies shorter than this are checked against one starting a byte later.
constexpr std::uint64_t lazyBelow = 1 << 12;

// Eight bytes as one number, first byte lowest, whatever the machine's order
// (hashes, and so the patch, must not depend on it).
std::uint64_t load(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big) {
        value = __builtin_bswap64(value);
    }
    return value;
}

// How many bytes from a and b agree, up to limit.
std::uint64_t forwardMatch(const std::uint8_t* a, const std::uint8_t* b, std::uint64_t limit) {
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
std::uint64_t backwardMatch(const std::uint8_t* a, const std::uint8_t* b, std::uint64_t limit) {
    std::uint64_t n = 0;
    while (n < limit && a[-1 - static_cast<std::ptrdiff_t>(n)] == b[-1 - static_cast<std::ptrdiff_t>(n)]) {
        ++n;
    }
    return n;
}

int slotBits(std::uint64_t wanted, int least, int most) {
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
    void prefetch(std::uint64_t blockHash) const { __builtin_prefetch(&slots_[blockHash >> shift_], 1); }
    void add(std::uint64_t blockHash, std::uint64_t position) {
        slots_[blockHash >> shift_] = static_cast<std::uint32_t>(position + 1);
    }

  private:
    std::vector<std::uint32_t> slots_;
    int shift_;
};

struct Choice {
    Action action = TargetRead;
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    std::uint64_t from = 0;
    std::int64_t benefit = 0;
};

// Walks the target once, choosing at each position between the new byte and
// the copy that saves the most bytes: in place, at the last alignments with
// the original, a run, or one found through the indexes, which may reach back
// over the pending new bytes and steps already taken. A copy a byte later
// that saves more wins over one here (lazy matching).
class Matcher {
  public:
    Matcher(std::span<const std::uint8_t> source, std::span<const std::uint8_t> target,
            const SourceIndex& index, std::uint64_t begin, std::uint64_t end)
        : source_(source), target_(target), index_(index), targetIndex_(end - begin),
          begin_(begin), end_(end) {}

    std::vector<Step> run() {
        std::uint64_t p = begin_;
        pending_ = begin_;
        while (p < end_) {
            Choice best = bestAt(p);
            // One step of lazy matching: a copy starting a byte later that
            // saves more is worth writing this byte new.
            while (best.benefit > 0 && best.length < lazyBelow && end_ - p > 1) {
                const Choice later = bestAt(p + 1);
                if (later.benefit <= best.benefit) {
                    break;
                }
                remember(p);
                ++p;
                best = later;
            }
            if (best.benefit <= 0) {
                remember(p);
                ++p;
                continue;
            }
            take(best);
            p = best.start + best.length;
        }
        if (pending_ < end_) {
            push({TargetRead, end_ - pending_, pending_}, pending_);
        }
        return std::move(steps_);
    }

  private:
    // A byte written new may start a repeat later on.
    void remember(std::uint64_t p) {
        if (target_.size() - p >= blockSize) {
            targetIndex_.add(SourceIndex::hashBlock(target_.data() + p), p);
        }
    }

    // Bytes the copy saves over writing them new, less what the copy costs:
    // its command, its relative offset, and the command that new bytes after
    // it will need.
    std::int64_t benefit(Action action, std::uint64_t length, std::uint64_t from) const {
        std::uint64_t cost = bpsNumberLength(bpsCommandWord(action, length)) + 1;
        if (action == SourceCopy) {
            cost += bpsNumberLength(bpsSignedWord(static_cast<std::int64_t>(from - sourceRelative_)));
        } else if (action == TargetCopy) {
            cost += bpsNumberLength(bpsSignedWord(static_cast<std::int64_t>(from - targetRelative_)));
        }
        return static_cast<std::int64_t>(length) - static_cast<std::int64_t>(cost);
    }

    // A copy may start before the pending new bytes, inside steps already
    // taken: it then replaces the steps it covers whole (their cost comes
    // back) and shortens the one it reaches into.
    void consider(Choice& best, Action action, std::uint64_t start, std::uint64_t length,
                  std::uint64_t from) const {
        if (length == 0) {
            return;
        }
        if (action == SourceCopy && from == start) {
            action = SourceRead;
        }
        const std::uint64_t end = start + length;
        std::int64_t gain = benefit(action, length, from) - static_cast<std::int64_t>(length) +
                            static_cast<std::int64_t>(end - std::max(start, pending_));
        if (start < pending_) {
            gain += refund(start);
        }
        if (gain > best.benefit) {
            best = {action, start, length, from, gain};
        }
    }

    // What the steps from `start` on cost that a copy starting there saves.
    std::int64_t refund(std::uint64_t start) const {
        std::int64_t saved = 0;
        for (std::size_t i = steps_.size(); i > 0; --i) {
            const Step& s = steps_[i - 1];
            const Taken& t = taken_[i - 1];
            if (t.at >= start) {
                saved += static_cast<std::int64_t>(t.cost);
                continue;
            }
            if (s.action == TargetRead && t.at + s.length > start) {
                saved += static_cast<std::int64_t>(t.at + s.length - start);
            }
            break;
        }
        return saved;
    }

    // A copy of the original at a known alignment (delta from target to
    // source position), starting at p.
    void alignedSource(Choice& best, std::uint64_t p, std::int64_t delta) const {
        const std::uint64_t from = p + static_cast<std::uint64_t>(delta);
        if (from >= source_.size()) {
            return;
        }
        const std::uint64_t limit = std::min(source_.size() - from, end_ - p);
        consider(best, SourceCopy, p, forwardMatch(source_.data() + from, target_.data() + p, limit),
                 from);
    }

    // A copy found through a block hash: extended forward from p, and back
    // into the pending new bytes and the steps before them.
    void anchoredCopy(Choice& best, Action action, std::uint64_t p, std::uint64_t from) const {
        const std::uint8_t* base = action == TargetCopy ? target_.data() : source_.data();
        const std::uint64_t size = action == TargetCopy ? p : source_.size();
        if (from >= size) {
            return;
        }
        const std::uint64_t limit = action == TargetCopy ? end_ - p : std::min(size - from, end_ - p);
        const std::uint64_t ahead = forwardMatch(base + from, target_.data() + p, limit);
        if (ahead < 4) {
            return;
        }
        const std::uint64_t back = backwardMatch(
            base + from, target_.data() + p, std::min({p - begin_, from, p - pending_ + reachBack}));
        consider(best, action, p - back, back + ahead, from - back);
    }

    Choice bestAt(std::uint64_t p) const {
        // Through new bytes the slots are looked up one position after the
        // other, each far from the last in memory: ask for one a few
        // positions ahead.
        if (target_.size() - p >= blockSize + prefetchAhead) {
            const std::uint64_t ahead = SourceIndex::hashBlock(target_.data() + p + prefetchAhead);
            index_.prefetch(ahead);
            targetIndex_.prefetch(ahead);
        }
        Choice best;
        const std::uint64_t remaining = end_ - p;
        // In place: the cheapest copy of all.
        if (p < source_.size()) {
            const std::uint64_t limit = std::min(source_.size() - p, remaining);
            consider(best, SourceRead, p, forwardMatch(source_.data() + p, target_.data() + p, limit),
                     p);
        }
        for (const std::int64_t delta : recentDeltas_) {
            if (delta != 0) {
                alignedSource(best, p, delta);
            }
        }
        // A run: the previous byte repeated.
        if (p > 0 && target_[p] == target_[p - 1]) {
            consider(best, TargetCopy, p, forwardMatch(target_.data() + p - 1, target_.data() + p, remaining),
                     p - 1);
        }
        if (target_.size() - p >= blockSize) {
            const std::uint64_t hash = SourceIndex::hashBlock(target_.data() + p);
            for (unsigned part = 0; part < index_.parts(); ++part) {
                for (unsigned way = 0; way < SourceIndex::ways; ++way) {
                    const std::int64_t inSource = index_.candidate(hash, part, way);
                    if (inSource >= 0) {
                        anchoredCopy(best, SourceCopy, p, static_cast<std::uint64_t>(inSource));
                    }
                }
            }
            const std::int64_t inTarget = targetIndex_.candidate(hash);
            if (inTarget >= 0) {
                anchoredCopy(best, TargetCopy, p, static_cast<std::uint64_t>(inTarget));
            }
        }
        return best;
    }

    void take(const Choice& c) {
        if (c.start < pending_) {
            giveBack(c.start);
        }
        if (pending_ < c.start) {
            push({TargetRead, c.start - pending_, pending_}, pending_);
        }
        push({c.action, c.length, c.from}, c.start);
        if (c.action == SourceCopy) {
            const auto delta = static_cast<std::int64_t>(c.from - c.start);
            if (delta != recentDeltas_[0]) {
                recentDeltas_[1] = recentDeltas_[0];
                recentDeltas_[0] = delta;
            }
        }
        pending_ = c.start + c.length;
    }

    void push(const Step& s, std::uint64_t at) {
        std::uint64_t cost = bpsNumberLength(bpsCommandWord(s.action, s.length));
        if (s.action == TargetRead) {
            cost += s.length;
        } else if (s.action == SourceCopy) {
            cost += bpsNumberLength(bpsSignedWord(static_cast<std::int64_t>(s.from - sourceRelative_)));
        } else if (s.action == TargetCopy) {
            cost += bpsNumberLength(bpsSignedWord(static_cast<std::int64_t>(s.from - targetRelative_)));
        }
        taken_.push_back({at, cost, sourceRelative_, targetRelative_});
        steps_.push_back(s);
        if (s.action == SourceCopy) {
            sourceRelative_ = s.from + s.length;
        } else if (s.action == TargetCopy) {
            targetRelative_ = s.from + s.length;
        }
    }

    // Drops the steps from `start` on and shortens the one holding it.
    void giveBack(std::uint64_t start) {
        while (!steps_.empty() && taken_.back().at >= start) {
            sourceRelative_ = taken_.back().sourceRelative;
            targetRelative_ = taken_.back().targetRelative;
            steps_.pop_back();
            taken_.pop_back();
        }
        if (!steps_.empty()) {
            Step& s = steps_.back();
            const std::uint64_t at = taken_.back().at;
            if (at + s.length > start) {
                s.length = start - at;
                if (s.action == SourceCopy) {
                    sourceRelative_ = s.from + s.length;
                } else if (s.action == TargetCopy) {
                    targetRelative_ = s.from + s.length;
                }
            }
        }
        pending_ = start;
    }

    // Where each step begins in the target, what it cost, and the relative
    // offsets before it.
    struct Taken {
        std::uint64_t at;
        std::uint64_t cost;
        std::uint64_t sourceRelative;
        std::uint64_t targetRelative;
    };

    std::span<const std::uint8_t> source_;
    std::span<const std::uint8_t> target_;
    const SourceIndex& index_;
    TargetIndex targetIndex_;
    std::uint64_t begin_;
    std::uint64_t end_;
    std::uint64_t pending_ = 0; // first byte not yet covered by a step
    std::uint64_t sourceRelative_ = 0;
    std::uint64_t targetRelative_ = 0;
    std::array<std::int64_t, 2> recentDeltas_{0, 0};
    std::vector<Step> steps_;
    std::vector<Taken> taken_;
};

} // namespace

std::uint64_t SourceIndex::hashBlock(const std::uint8_t* bytes) {
    return load(bytes) * 0x9E3779B97F4A7C15ull;
}

SourceIndex::SourceIndex(std::span<const std::uint8_t> source, unsigned parts, bool threaded) {
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
                __builtin_prefetch(slots + 2 * (hashBlock(source.data() + (block + ahead) * stride) >> shift_), 1);
            }
            const std::uint64_t position = block * stride;
            // Two ways a bucket: the newest position first, the one before it second.
            std::uint32_t* bucket = slots + 2 * (hashBlock(source.data() + position) >> shift_);
            bucket[1] = bucket[0];
            bucket[0] = static_cast<std::uint32_t>(position + 1);
        }
    };
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

void SourceIndex::prefetch(std::uint64_t blockHash) const {
    for (unsigned part = 0; part < parts_; ++part) {
        __builtin_prefetch(slots_.get() + part * partSize_ + 2 * (blockHash >> shift_));
    }
}

std::int64_t SourceIndex::candidate(std::uint64_t blockHash, unsigned part, unsigned way) const {
    return static_cast<std::int64_t>(slots_[part * partSize_ + 2 * (blockHash >> shift_) + way]) - 1;
}

std::vector<Step> matchRange(std::span<const std::uint8_t> source,
                             std::span<const std::uint8_t> target, const SourceIndex& index,
                             std::uint64_t begin, std::uint64_t end) {
    return Matcher(source, target, index, begin, end).run();
}

} // namespace bps
