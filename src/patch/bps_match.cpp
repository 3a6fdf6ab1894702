#include "patch/bps_match.h"

#include <algorithm>
#include <array>
#include <limits>

#include "patch/bps_number.h"

namespace bps {

namespace {

using match::backwardMatch;
using match::blockSize;
using match::forwardMatch;
using match::load;
using match::SourceIndex;
using match::TargetChain;
using match::TargetIndex;

// How many positions ahead the index slots are fetched.
constexpr std::uint64_t prefetchAhead = 16;
// A copy at least this long is taken where it is found; shorter ones are
// weighed against every other way to write their bytes.
constexpr std::uint64_t longCopy = 64;
// A long copy with another as long beside it is weighed by the parse with
// what follows, up to this length.
constexpr std::uint64_t weighedUpTo = 4096;
// In a stretch of the target up to this long every such copy is.
constexpr std::uint64_t weighsAllUpTo = std::uint64_t{1} << 18;
// How far back from where it is found a copy may reach.
constexpr std::uint64_t reachBack = 1 << 16;
// The longest stretch parsed at once, and the most copies gathered for it:
// they bound the parse's memory (72 bytes a byte, 32 a copy).
constexpr std::uint64_t longestStretch = std::uint64_t{1} << 18;
constexpr std::size_t mostCandidates = std::size_t{1} << 18;
// The most copies (of different alignments, or after ways that leave other
// offsets) the parse keeps open at once.
constexpr std::size_t mostOpen = 32;
// How many of the dearest open copies are looked at for one whose alignment
// is open twice, before the dearest is forgotten.
constexpr std::size_t looksForTwice = 4;
// The most copies weighed from one byte.
constexpr std::size_t mostPerStart = 8;
// How many ways to each boundary the parse keeps, and how much dearer than
// the cheapest one may be.
constexpr std::size_t ways = 6;
constexpr std::uint64_t slack = 4;
// How many positions of the short-copy chain are compared, and the length
// past which the blocks find a copy anyway.
constexpr unsigned shortChain = 16;
constexpr std::uint64_t shortEnough = 24;
// The longest stretch of the target whose copied bytes are all chained for
// short repeats, as new ones are.
constexpr std::uint64_t chainsCopiesUpTo = std::uint64_t{1} << 20;
// The stride at which copied stretches of the target are indexed.
constexpr std::uint64_t copyStride = 8;

// A copy the indexes, the alignments or the offers give.
using Candidate = Offer;

// Where the relative offsets of the two copy actions stand.
struct Relative {
    std::uint64_t source = 0;
    std::uint64_t target = 0;

    std::uint64_t offsetCost(Action action, std::uint64_t from) const {
        if (action == SourceCopy) {
            return numberLength(signedWord(static_cast<std::int64_t>(from - source)));
        }
        if (action == TargetCopy) {
            return numberLength(signedWord(static_cast<std::int64_t>(from - target)));
        }
        return 0;
    }
    // The offsets a copy of this action leaves as they were.
    Relative carried(Action action) const {
        Relative kept = *this;
        if (action == SourceCopy) {
            kept.source = 0;
        } else if (action == TargetCopy) {
            kept.target = 0;
        }
        return kept;
    }
    bool operator==(const Relative&) const = default;
    Relative after(Action action, std::uint64_t from, std::uint64_t length) const {
        Relative next = *this;
        if (action == SourceCopy) {
            next.source = from + length;
        } else if (action == TargetCopy) {
            next.target = from + length;
        }
        return next;
    }
};

// The bytes a command word takes for a step of this length.
std::uint64_t commandCost(Action action, std::uint64_t length) {
    return numberLength(commandWord(action, length));
}

// Walks the target once. Where a copy of at least `longCopy` bytes starts, it
// is taken as it is (unless a copy found across its end reaches back over
// it, or it is one the parse weighs: see weighedUpTo); the stretch before it, with every copy found
// at each of its positions, is then parsed exactly: a shortest path over the boundaries between its
// bytes, priced in encoded bytes, where a boundary is reached by the new bytes of a TargetRead or
// by the end of a copy. A copy costs its command and its relative offset when it starts and only
// the growth of its command while it goes on, so each boundary keeps only the copies still open
// across it (one per alignment) and the parse stays linear. What a copy's offset costs depends on
// the copies before it, so each boundary keeps a few ways to reach it that leave different offsets,
// and a copy starts after the one that makes it cheapest; new bytes keep the run they are in while
// starting afresh with the same offsets costs no less. A copy found later that reaches back before
// the stretch takes back the steps it covers, which are weighed again.
class Matcher {
  public:
    Matcher(std::span<const std::uint8_t> source, std::span<const std::uint8_t> target,
            const SourceIndex& index, std::uint64_t begin, std::uint64_t end,
            std::span<const Offer> offers)
        : source_(source), target_(target), index_(index), targetIndex_(end - begin),
          targetChain_(end - begin), begin_(begin), end_(end), written_(begin), offers_(offers) {}

    std::vector<Step> run() {
        std::uint64_t region = begin_;
        std::uint64_t p = begin_;
        std::vector<Candidate> found;
        const bool chainsCopies = end_ - begin_ <= chainsCopiesUpTo;
        const bool weighsAll = end_ - begin_ <= weighsAllUpTo;
        while (p < end_) {
            if (p - region >= longestStretch || candidates_.size() >= mostCandidates) {
                parse(region, p);
                region = p;
            }
            found.clear();
            // Copies found here may reach back over steps already taken,
            // and no further than reachBack whatever they reach over.
            const std::uint64_t reachFrom =
                std::max(begin_, std::min(region, p > reachBack ? p - reachBack : 0));
            gather(found, p, reachFrom);
            if (const Candidate* longest = longestOf(found, p)) {
                // Before a long copy is taken, the blocks across its end and
                // the one that ends with it are looked up: a copy that goes
                // on past it, or that holds all of a pattern it holds only in
                // part, reaches back over it. The block at p may have been
                // one the indexes could not tell apart (a pattern, the
                // newest of which is the end of its last copy in the
                // original; a copied stretch indexed at a stride).
                const Candidate taken = *longest;
                const std::uint64_t after = taken.start + taken.length;
                for (std::uint64_t x = std::max(p, after - std::min(after, blockSize));
                     x <= after && x < end_; ++x) {
                    // The original's blocks are all indexed where it is
                    // small; two positions find a copy that goes on.
                    lookUp(found, x, reachFrom, &taken, x + blockSize <= after + 1);
                }
                // Those that start past p are found again when the walk
                // gets there.
                std::erase_if(found, [&](const Candidate& c) { return c.start > p; });
            }
            const Candidate* earliest = nullptr;
            for (const Candidate& c : found) {
                if (c.start < region && (earliest == nullptr || c.start < earliest->start)) {
                    earliest = &c;
                }
            }
            if (earliest != nullptr) {
                region = earliest->start;
                giveBack(region);
            }
            const Candidate* longest = longestOf(found, p);
            if (longest != nullptr) {
                const Candidate anchor = *longest;
                candidates_.insert(candidates_.end(), found.begin(), found.end());
                p = anchor.start + anchor.length;
                // In a small image every long copy is weighed by the parse
                // with what follows; in a larger one, where another copy
                // reaches as far and leaves other offsets (weighing them all
                // there made translation-shaped pairs larger).
                const bool weighed =
                    anchor.length <= weighedUpTo &&
                    (weighsAll || std::any_of(found.begin(), found.end(), [&](const Candidate& c) {
                         return (c.action != anchor.action || c.from != anchor.from) &&
                                c.start + c.length + 1 >= p;
                     }));
                if (weighed) {
                    hint(anchor.action, anchor.start, anchor.length, anchor.from);
                } else {
                    // Copies found before it end where it starts.
                    std::erase_if(candidates_,
                                  [&](const Candidate& c) { return c.start >= anchor.start; });
                    const Step step{anchor.action, anchor.length, anchor.from};
                    parse(region, anchor.start, &step);
                    push(step);
                    region = p;
                }
                // Copied bytes may repeat later (a block copied several
                // times is one TargetCopy from its first copy).
                for (std::uint64_t q = (anchor.start + copyStride - 1) / copyStride * copyStride;
                     q < p; q += copyStride) {
                    remember(q, !chainsCopies);
                }
                // In a small image a short repeat of copied bytes may tie with
                // a copy of the original, and leave the original's offset
                // where the next copy wants it.
                if (chainsCopies) {
                    for (std::uint64_t q = anchor.start; q < p && target_.size() - q >= 3; ++q) {
                        targetChain_.add(target_.data() + q, q);
                    }
                }
                continue;
            }
            candidates_.insert(candidates_.end(), found.begin(), found.end());
            remember(p);
            ++p;
        }
        parse(region, end_);
        return std::move(steps_);
    }

  private:
    // The copy in found that reaches furthest, if it is a long one.
    static const Candidate* longestOf(const std::vector<Candidate>& found, std::uint64_t p) {
        const Candidate* longest = nullptr;
        for (const Candidate& c : found) {
            if (c.start + c.length - p >= longCopy &&
                (longest == nullptr || c.start + c.length > longest->start + longest->length)) {
                longest = &c;
            }
        }
        return longest;
    }

    // A byte of the target may start a repeat later on.
    void remember(std::uint64_t p, bool chained = true) {
        if (chained && target_.size() - p >= 3) {
            targetChain_.add(target_.data() + p, p);
        }
        // Inside a run of one value, the index keeps where the run starts:
        // a copy from there is as long as the run.
        if (p > 0 && target_.size() - p >= blockSize && target_[p - 1] == target_[p] &&
            load(target_.data() + p) == target_[p] * 0x0101010101010101ull) {
            return;
        }
        if (target_.size() - p >= blockSize) {
            targetIndex_.add(SourceIndex::hashBlock(target_.data() + p), p);
        }
    }

    void add(std::vector<Candidate>& found, Action action, std::uint64_t start,
             std::uint64_t length, std::uint64_t from) const {
        if (length == 0) {
            return;
        }
        if (action == SourceCopy && from == start) {
            action = SourceRead;
        }
        found.push_back({action, start, length, from});
    }

    // A copy of the original at a known alignment (delta from target to
    // source position), starting at p.
    void alignedSource(std::vector<Candidate>& found, std::uint64_t p, std::int64_t delta) const {
        const std::uint64_t from = p + static_cast<std::uint64_t>(delta);
        if (from >= source_.size()) {
            return;
        }
        const std::uint64_t limit = std::min(source_.size() - from, end_ - p);
        add(found, SourceCopy, p, forwardMatch(source_.data() + from, target_.data() + p, limit),
            from);
    }

    // A copy found through a block hash: extended forward from p, and back
    // to the start of the stretch being parsed.
    void anchoredCopy(std::vector<Candidate>& found, Action action, std::uint64_t p,
                      std::uint64_t from, std::uint64_t region, const Candidate* known) const {
        const std::uint8_t* base = action == TargetCopy ? target_.data() : source_.data();
        const std::uint64_t size = action == TargetCopy ? p : source_.size();
        if (from >= size) {
            return;
        }
        const std::uint64_t limit =
            action == TargetCopy ? end_ - p : std::min(size - from, end_ - p);
        const std::uint64_t ahead = forwardMatch(base + from, target_.data() + p, limit);
        if (ahead < 4) {
            return;
        }
        // A copy already in hand at the same alignment gains nothing.
        if (known != nullptr && (known->action == TargetCopy) == (action == TargetCopy) &&
            known->from - known->start == from - p) {
            return;
        }
        const std::uint64_t back =
            backwardMatch(base + from, target_.data() + p, std::min(p - region, from));
        add(found, action, p - back, back + ahead, from - back);
    }

    // p, or where the run of one value at p turns into other bytes, less
    // the seven bytes of the run that the block there takes with it.
    std::uint64_t lookupAt(std::uint64_t p) const {
        if (target_.size() - p < blockSize) {
            return p;
        }
        const std::uint8_t value = target_[p];
        if (load(target_.data() + p) != value * 0x0101010101010101ull) {
            return p;
        }
        if (p >= runEnd_ || target_[runEnd_ - 1] != value || p < runStart_) {
            runStart_ = p;
            runEnd_ =
                p + 1 +
                forwardMatch(target_.data() + p, target_.data() + p + 1, target_.size() - p - 1);
        }
        // The stretch being matched ends at end_: a run that goes on past
        // it is looked up where it is.
        const std::uint64_t q = std::max(runEnd_, p + blockSize) - (blockSize - 1);
        return q >= end_ || target_.size() - q < blockSize ? p : q;
    }

    // Every copy on offer at p: in place, at the last alignments with the
    // original, a run, and through the indexes.
    void gather(std::vector<Candidate>& found, std::uint64_t p, std::uint64_t region) const {
        // Through new bytes the slots are looked up one position after the
        // other, each far from the last in memory: ask for one a few
        // positions ahead.
        if (target_.size() - p >= blockSize + prefetchAhead) {
            const std::uint64_t ahead = SourceIndex::hashBlock(target_.data() + p + prefetchAhead);
            index_.prefetch(ahead);
            targetIndex_.prefetch(ahead);
            index_.prefetchShort(target_.data() + p + prefetchAhead);
            index_.prefetchShortNext(target_.data() + p + prefetchAhead / 2);
            targetChain_.prefetch(target_.data() + p + prefetchAhead);
        }
        const std::uint64_t remaining = end_ - p;
        if (p < source_.size()) {
            const std::uint64_t limit = std::min(source_.size() - p, remaining);
            add(found, SourceRead, p, forwardMatch(source_.data() + p, target_.data() + p, limit),
                p);
        }
        for (const std::int64_t delta : recentDeltas_) {
            if (delta != 0) {
                alignedSource(found, p, delta);
            }
        }
        // Where the last copy of the original ended: the cheapest offset.
        if (hintSource_ < source_.size()) {
            const std::uint64_t limit = std::min(source_.size() - hintSource_, remaining);
            add(found, SourceCopy, p,
                forwardMatch(source_.data() + hintSource_, target_.data() + p, limit), hintSource_);
        }
        if (p > 0 && target_[p] == target_[p - 1]) {
            add(found, TargetCopy, p,
                forwardMatch(target_.data() + p - 1, target_.data() + p, remaining), p - 1);
        }
        // A block of one value is everywhere alike: look up the block where
        // the value ends, and extend back over it.
        const std::uint64_t q = lookupAt(p);
        lookUp(found, q, region);
        if (q != p) {
            // The run itself: the first run of its value in the original.
            lookUp(found, p, region);
        }
        // Short copies only where nothing longer is on offer.
        if (std::none_of(found.begin(), found.end(), [&](const Candidate& c) {
                return c.start + c.length - p >= shortEnough;
            })) {
            shortCopy(found, p);
            shortTargetCopy(found, p);
            nearCopy(found, p);
        }
        while (nextOffer_ < offers_.size() && offers_[nextOffer_].start < p) {
            ++nextOffer_;
        }
        for (; nextOffer_ < offers_.size() && offers_[nextOffer_].start == p; ++nextOffer_) {
            const Offer& o = offers_[nextOffer_];
            add(found, o.action, p, std::min(o.length, remaining), o.from);
        }
    }

    // The longest copy of the original whose offset takes one byte: even
    // three bytes from there cost less than new ones. The bytes around the
    // last copy's end are indexed by their first three while it stays.
    void nearCopy(std::vector<Candidate>& found, std::uint64_t p) const {
        if (end_ - p < 3 || source_.size() < 3) {
            return;
        }
        const auto key = [](const std::uint8_t* b) {
            const std::uint32_t three =
                std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16;
            return static_cast<std::size_t>((three * 0x9E3779B1u) >> 20);
        };
        const std::uint64_t low = hintSource_ > nearBy ? hintSource_ - nearBy : 0;
        if (nearAt_ != hintSource_ || !nearBuilt_) {
            nearAt_ = hintSource_;
            nearBuilt_ = true;
            nearHeads_.fill(0);
            const std::uint64_t high = std::min(hintSource_ + nearBy, source_.size() - 2);
            for (std::uint64_t from = low; from < high; ++from) {
                const std::size_t k = key(source_.data() + from);
                nearNext_[from - low] = nearHeads_[k];
                nearHeads_[k] = static_cast<std::uint8_t>(from - low + 1);
            }
        }
        const std::uint64_t limit = std::min<std::uint64_t>(end_ - p, shortEnough);
        const std::uint8_t* t = target_.data() + p;
        std::uint64_t bestLength = 0;
        std::uint64_t bestFrom = 0;
        for (std::uint8_t at = nearHeads_[key(t)]; at != 0; at = nearNext_[at - 1]) {
            const std::uint64_t from = low + at - 1;
            const std::uint64_t length =
                forwardMatch(source_.data() + from, t, std::min(limit, source_.size() - from));
            if (length > bestLength) {
                bestLength = length;
                bestFrom = from;
            }
        }
        if (bestLength >= 3) {
            add(found, SourceCopy, p, bestLength, bestFrom);
        }
    }

    // The longest of the short repeats of the target the chain offers at
    // p, the nearest to the last repeat's end among equals.
    void shortTargetCopy(std::vector<Candidate>& found, std::uint64_t p) const {
        if (end_ - p < 3) {
            return;
        }
        const std::uint64_t limit = std::min<std::uint64_t>(end_ - p, shortEnough);
        const auto distance = [&](std::uint64_t f) {
            return f > hintTarget_ ? f - hintTarget_ : hintTarget_ - f;
        };
        std::uint64_t bestLength = 0;
        std::uint64_t bestFrom = 0;
        unsigned looked = 0;
        for (std::int64_t at = targetChain_.first(target_.data() + p, p);
             at >= 0 && looked < shortChain;
             at = targetChain_.next(static_cast<std::uint64_t>(at), target_.data() + p, p),
                          ++looked) {
            const auto from = static_cast<std::uint64_t>(at);
            const std::uint64_t length =
                forwardMatch(target_.data() + from, target_.data() + p, limit);
            if (length > bestLength ||
                (length == bestLength && distance(from) < distance(bestFrom))) {
                bestLength = length;
                bestFrom = from;
                if (length == limit) {
                    break;
                }
            }
        }
        if (bestLength >= 3) {
            add(found, TargetCopy, p, bestLength, bestFrom);
        }
    }

    // The longest of the short copies of the original the chain offers at
    // p, the nearest to the last copy's end among equals.
    void shortCopy(std::vector<Candidate>& found, std::uint64_t p) const {
        if (end_ - p < 4) {
            return;
        }
        const std::uint64_t limit = std::min<std::uint64_t>(end_ - p, shortEnough);
        const auto distance = [&](std::uint64_t f) {
            return f > hintSource_ ? f - hintSource_ : hintSource_ - f;
        };
        std::uint64_t bestLength = 0;
        std::uint64_t bestFrom = 0;
        unsigned looked = 0;
        for (std::int64_t at = index_.firstShort(target_.data() + p);
             at >= 0 && looked < shortChain;
             at = index_.nextShort(static_cast<std::uint64_t>(at), target_.data() + p), ++looked) {
            const auto from = static_cast<std::uint64_t>(at);
            const std::uint64_t length = forwardMatch(source_.data() + from, target_.data() + p,
                                                      std::min(limit, source_.size() - from));
            if (length > bestLength ||
                (length == bestLength && distance(from) < distance(bestFrom))) {
                bestLength = length;
                bestFrom = from;
                if (length == limit) {
                    break;
                }
            }
        }
        if (bestLength >= 4) {
            add(found, SourceCopy, p, bestLength, bestFrom);
        }
    }

    // The copies the indexes offer for the block at q; of the original's
    // only when `original`.
    void lookUp(std::vector<Candidate>& found, std::uint64_t q, std::uint64_t region,
                const Candidate* known = nullptr, bool original = true) const {
        if (target_.size() - q >= blockSize) {
            const std::uint64_t hash = SourceIndex::hashBlock(target_.data() + q);
            for (unsigned part = 0; original && part < index_.parts(); ++part) {
                for (unsigned way = 0; way < SourceIndex::ways; ++way) {
                    const std::int64_t inSource = index_.candidate(hash, part, way);
                    if (inSource >= 0 &&
                        (way == 0 || inSource != index_.candidate(hash, part, 0))) {
                        anchoredCopy(found, SourceCopy, q, static_cast<std::uint64_t>(inSource),
                                     region, known);
                    }
                }
            }
            const std::int64_t inTarget = targetIndex_.candidate(hash);
            if (inTarget >= 0) {
                anchoredCopy(found, TargetCopy, q, static_cast<std::uint64_t>(inTarget), region,
                             known);
            }
        }
    }

    // A way to reach a boundary: its cost from the start of the stretch, the
    // offsets it leaves, and whether it ends with new bytes (which a
    // TargetRead goes on rather than starting afresh).
    struct Way {
        std::uint64_t cost;
        Relative relative;
        bool afterNew;
    };
    // How a way was reached, for the walk back: its last step from `start`,
    // taken after way `way` there. (Positions fit in 32 bits: the creator
    // refuses larger images.)
    struct Back {
        std::uint32_t start; // in the stretch
        std::uint32_t from;
        Action action;
        std::uint8_t way;
    };
    // A copy open across the boundary being decided: the cheapest way found
    // so far to be inside a copy of this alignment.
    struct Open {
        Action action;
        std::uint64_t start; // boundary where the copy starts, in the stretch
        std::uint64_t end;   // boundary where it must end at the latest
        std::uint64_t from;
        std::uint64_t base; // cost up to its start, with its relative offset
        Relative relative;  // the offsets before it
        std::uint8_t way;   // the way at its start it follows
    };
    // New bytes open across the boundary, after one way at their start.
    struct Run {
        std::uint64_t start;
        std::uint64_t base;
        Relative relative;
        std::uint8_t way;
    };

    // What new bytes from the run's start to boundary i cost in all.
    static std::uint64_t runCost(const Run& r, std::uint64_t i) {
        return r.base + (i - r.start) + commandCost(TargetRead, i - r.start);
    }

    // Chooses the steps for target[first, last) with the candidates gathered
    // there, and appends them; `next` is the step that follows, whose
    // relative offset the last way pays.
    void parse(std::uint64_t first, std::uint64_t last, const Step* next = nullptr) {
        if (first == last) {
            candidates_.clear();
            return;
        }
        const std::uint64_t count = last - first;
        // A copy is found again from each block it holds: of those that
        // start alike, the longest is kept.
        std::sort(candidates_.begin(), candidates_.end(),
                  [](const Candidate& a, const Candidate& b) {
                      if (a.start != b.start || a.action != b.action || a.from != b.from) {
                          return a.start != b.start     ? a.start < b.start
                                 : a.action != b.action ? a.action < b.action
                                                        : a.from < b.from;
                      }
                      return a.length > b.length;
                  });
        candidates_.erase(std::unique(candidates_.begin(), candidates_.end(),
                                      [](const Candidate& a, const Candidate& b) {
                                          return a.start == b.start && a.action == b.action &&
                                                 a.from == b.from;
                                      }),
                          candidates_.end());
        // Where many copies start at one byte (text of few letters), the
        // longest are weighed.
        std::size_t kept = 0;
        for (std::size_t g = 0; g < candidates_.size();) {
            std::size_t e = g;
            while (e < candidates_.size() && candidates_[e].start == candidates_[g].start) {
                ++e;
            }
            if (e - g > mostPerStart) {
                std::stable_sort(
                    candidates_.begin() + static_cast<std::ptrdiff_t>(g),
                    candidates_.begin() + static_cast<std::ptrdiff_t>(e),
                    [](const Candidate& a, const Candidate& b) { return a.length > b.length; });
            }
            for (std::size_t k = g; k < std::min(e, g + mostPerStart); ++k) {
                candidates_[kept++] = candidates_[k];
            }
            g = e;
        }
        candidates_.resize(kept);
        // Boundary i is first + i; it keeps up to `ways` ways, the cheapest
        // for each pair of offsets, while they cost little more than the
        // cheapest: which offsets a path leaves decides what the next copies
        // cost.
        std::vector<Back> back((count + 1) * ways);
        std::vector<Way> here{{0, {sourceRelative_, targetRelative_}, false}};
        std::vector<Way> reached;
        std::vector<std::uint8_t> order;
        std::vector<Back> backs;
        std::vector<Open> open;
        std::vector<Run> runs;
        std::size_t nextCandidate = 0;
        // The ways to boundary j, by every copy open across it and every
        // run of new bytes; the few kept.
        const auto settle = [&](std::uint64_t j) {
            reached.clear();
            backs.clear();
            for (const Open& o : open) {
                reached.push_back({o.base + commandCost(o.action, j - o.start),
                                   o.relative.after(o.action, o.from, j - o.start), false});
                backs.push_back({static_cast<std::uint32_t>(o.start),
                                 static_cast<std::uint32_t>(o.from), o.action, o.way});
            }
            for (const Run& r : runs) {
                reached.push_back({runCost(r, j), r.relative, true});
                backs.push_back({static_cast<std::uint32_t>(r.start), 0, TargetRead, r.way});
            }
            order.resize(reached.size());
            for (std::uint8_t k = 0; k < order.size(); ++k) {
                order[k] = k;
            }
            std::stable_sort(order.begin(), order.end(), [&](std::uint8_t a, std::uint8_t b) {
                return reached[a].cost < reached[b].cost;
            });
            here.clear();
            for (const std::uint8_t k : order) {
                const Way& w = reached[k];
                if (here.size() == ways || w.cost > reached[order[0]].cost + slack) {
                    break;
                }
                if (std::none_of(here.begin(), here.end(), [&](const Way& h) {
                        return h.afterNew == w.afterNew && h.relative.source == w.relative.source &&
                               h.relative.target == w.relative.target;
                    })) {
                    back[j * ways + here.size()] = backs[k];
                    here.push_back(w);
                }
            }
        };
        // A copy of c's alignment opens at boundary i after a way: it is
        // kept beside those open after ways that leave other offsets, or
        // takes the place of one that leaves the same where it is cheaper.
        const auto openCopy = [&](const Candidate& c, std::uint64_t i, std::uint64_t count,
                                  std::uint64_t base, const Relative& before, std::uint8_t way) {
            const Open candidate{c.action, i,  std::min(i + c.length, count), c.from, base,
                                 before,   way};
            const Relative carried = before.carried(c.action);
            const auto same = std::find_if(open.begin(), open.end(), [&](const Open& o) {
                return o.action == c.action && o.from - o.start == c.from - i &&
                       o.relative.carried(c.action) == carried;
            });
            if (same == open.end()) {
                open.push_back(candidate);
                if (open.size() > mostOpen) {
                    // Too many at once: forget the dearest of those whose
                    // alignment stays open after another way (looked for
                    // among the few dearest), else the dearest.
                    const auto dearer = [&](const Open& a, const Open& b) {
                        return a.base + commandCost(a.action, i + 1 - a.start) <
                               b.base + commandCost(b.action, i + 1 - b.start);
                    };
                    const auto alignedTwice = [&](std::vector<Open>::iterator a) {
                        return std::any_of(open.begin(), open.end(), [&](const Open& b) {
                            return &b != &*a && b.action == a->action &&
                                   b.from - b.start == a->from - a->start;
                        });
                    };
                    auto dearest = std::max_element(open.begin(), open.end(), dearer);
                    auto chosen = dearest;
                    std::array<std::size_t, looksForTwice> passedOver{};
                    for (std::size_t look = 0; look < looksForTwice && !alignedTwice(chosen);
                         ++look) {
                        passedOver[look] = static_cast<std::size_t>(chosen - open.begin());
                        chosen = open.end();
                        for (auto o = open.begin(); o != open.end(); ++o) {
                            const auto at = static_cast<std::size_t>(o - open.begin());
                            if (std::find(passedOver.begin(), passedOver.begin() + look + 1, at) ==
                                    passedOver.begin() + look + 1 &&
                                (chosen == open.end() || dearer(*chosen, *o))) {
                                chosen = o;
                            }
                        }
                    }
                    if (chosen != open.end() && alignedTwice(chosen)) {
                        dearest = chosen;
                    }
                    open.erase(dearest);
                }
            } else if (candidate.base + commandCost(c.action, 1) <
                       same->base + commandCost(c.action, i + 1 - same->start)) {
                const std::uint64_t reach = std::max(same->end, candidate.end);
                *same = candidate;
                same->end = reach;
            } else {
                same->end = std::max(same->end, candidate.end);
            }
        };
        for (std::uint64_t i = 0; i < count; ++i) {
            // Copies that start here, after each way that leaves other
            // offsets for the copy to carry on (the cheapest of those that
            // leave the same).
            for (; nextCandidate < candidates_.size() &&
                   candidates_[nextCandidate].start == first + i;
                 ++nextCandidate) {
                const Candidate& c = candidates_[nextCandidate];
                for (std::uint8_t w = 0; w < here.size(); ++w) {
                    const Relative carried = here[w].relative.carried(c.action);
                    const std::uint64_t base =
                        here[w].cost + here[w].relative.offsetCost(c.action, c.from);
                    if (std::any_of(here.begin(), here.begin() + w, [&](const Way& h) {
                            return h.relative.carried(c.action) == carried &&
                                   h.cost + h.relative.offsetCost(c.action, c.from) <= base;
                        })) {
                        continue;
                    }
                    openCopy(c, i, count, base, here[w].relative, w);
                }
            }
            // New bytes start after a copy, or go on where starting afresh
            // with the same offsets costs no less.
            for (std::uint8_t w = 0; w < here.size(); ++w) {
                if (here[w].afterNew) {
                    continue;
                }
                const std::uint64_t afresh = here[w].cost + 1 + commandCost(TargetRead, 1);
                const auto same = std::find_if(runs.begin(), runs.end(), [&](const Run& r) {
                    return r.relative.source == here[w].relative.source &&
                           r.relative.target == here[w].relative.target;
                });
                if (same == runs.end()) {
                    runs.push_back({i, here[w].cost, here[w].relative, w});
                } else if (afresh < runCost(*same, i + 1)) {
                    *same = {i, here[w].cost, here[w].relative, w};
                }
            }
            settle(i + 1);
            std::erase_if(open, [&](const Open& o) { return o.end <= i + 1; });
            // New bytes after a way no longer kept go on only while they are
            // the cheapest of their offsets.
            if (runs.size() > ways) {
                std::sort(runs.begin(), runs.end(), [&](const Run& a, const Run& b) {
                    return runCost(a, i + 1) < runCost(b, i + 1);
                });
                runs.resize(ways);
            }
            // Through new bytes where no copy starts or goes on, only the
            // runs grow: the next boundary that matters is where one starts.
            if (open.empty() &&
                std::all_of(here.begin(), here.end(), [](const Way& w) { return w.afterNew; })) {
                const std::uint64_t to =
                    nextCandidate < candidates_.size()
                        ? std::min(count, candidates_[nextCandidate].start - first)
                        : count;
                if (to > i + 1) {
                    settle(to);
                    i = to - 1;
                }
            }
        }
        candidates_.clear();

        // The cheapest way to the end, with what the next step's offset costs
        // after it; then the walk back.
        std::uint8_t way = 0;
        std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
        for (std::uint8_t w = 0; w < here.size(); ++w) {
            const std::uint64_t cost =
                here[w].cost +
                (next != nullptr ? here[w].relative.offsetCost(next->action, next->from) : 0);
            if (cost < best) {
                best = cost;
                way = w;
            }
        }
        std::vector<Step> chosen;
        for (std::uint64_t i = count; i > 0;) {
            const Back& b = back[i * ways + way];
            chosen.push_back(
                {b.action, i - b.start, b.action == TargetRead ? first + b.start : b.from});
            i = b.start;
            way = b.way;
        }
        for (auto s = chosen.rbegin(); s != chosen.rend(); ++s) {
            push(*s);
        }
    }

    // Takes back the steps from `from` on, for a copy found later that
    // reaches back there: the step holding `from` is shortened, and a copy's
    // rest is offered again with the copies found after it.
    void giveBack(std::uint64_t from) {
        while (!steps_.empty() && taken_.back().at >= from) {
            const Taken& t = taken_.back();
            written_ = t.at;
            sourceRelative_ = t.sourceRelative;
            targetRelative_ = t.targetRelative;
            recentDeltas_ = t.recentDeltas;
            steps_.pop_back();
            taken_.pop_back();
        }
        if (written_ > from) {
            Step& s = steps_.back();
            const std::uint64_t kept = from - taken_.back().at;
            if (s.action != TargetRead) {
                candidates_.push_back({s.action, from, s.length - kept, s.from + kept});
            }
            s.length = kept;
            written_ = from;
            if (s.action == SourceCopy) {
                sourceRelative_ = s.from + s.length;
            } else if (s.action == TargetCopy) {
                targetRelative_ = s.from + s.length;
            }
        }
        hintSource_ = sourceRelative_;
        hintTarget_ = targetRelative_;
    }

    // A copy taken, or weighed by the parse later: the next copies are
    // looked for where it leaves the offsets.
    void hint(Action action, std::uint64_t start, std::uint64_t length, std::uint64_t from) {
        if (action == SourceCopy) {
            const auto delta = static_cast<std::int64_t>(from - start);
            if (delta != recentDeltas_[0]) {
                recentDeltas_[1] = recentDeltas_[0];
                recentDeltas_[0] = delta;
            }
            hintSource_ = from + length;
        } else if (action == TargetCopy) {
            hintTarget_ = from + length;
        }
    }

    void push(const Step& s) {
        taken_.push_back({written_, sourceRelative_, targetRelative_, recentDeltas_});
        hint(s.action, written_, s.length, s.from);
        written_ += s.length;
        steps_.push_back(s);
        if (s.action == SourceCopy) {
            sourceRelative_ = s.from + s.length;
        } else if (s.action == TargetCopy) {
            targetRelative_ = s.from + s.length;
        }
    }

    std::span<const std::uint8_t> source_;
    std::span<const std::uint8_t> target_;
    const SourceIndex& index_;
    TargetIndex targetIndex_;
    TargetChain targetChain_;
    std::uint64_t begin_;
    std::uint64_t end_;
    std::uint64_t written_ = 0; // where the next step starts
    std::uint64_t sourceRelative_ = 0;
    std::uint64_t targetRelative_ = 0;
    std::array<std::int64_t, 2> recentDeltas_{0, 0};
    // Where the last copy taken or weighed left the offsets.
    std::uint64_t hintSource_ = 0;
    std::uint64_t hintTarget_ = 0;
    std::vector<Candidate> candidates_; // those of the stretch being gathered
    // The copies offered, and the first not yet passed.
    std::span<const Offer> offers_;
    mutable std::size_t nextOffer_ = 0;
    // Where each step starts and the offsets before it.
    struct Taken {
        std::uint64_t at;
        std::uint64_t sourceRelative;
        std::uint64_t targetRelative;
        std::array<std::int64_t, 2> recentDeltas;
    };
    std::vector<Taken> taken_;
    // The bytes within nearBy of where the last copy of the original ended
    // (nearAt_), by their first three: position - (nearAt_ - nearBy) + 1.
    static constexpr std::uint64_t nearBy = 64;
    mutable std::array<std::uint8_t, 4096> nearHeads_{};
    mutable std::array<std::uint8_t, 2 * nearBy> nearNext_{};
    mutable std::uint64_t nearAt_ = 0;
    mutable bool nearBuilt_ = false;
    // The last run of one value looked past.
    mutable std::uint64_t runStart_ = 0;
    mutable std::uint64_t runEnd_ = 0;
    std::vector<Step> steps_;
};

} // namespace

std::vector<Step> matchRange(std::span<const std::uint8_t> source,
                             std::span<const std::uint8_t> target, const SourceIndex& index,
                             std::uint64_t begin, std::uint64_t end,
                             std::span<const Offer> offers) {
    return Matcher(source, target, index, begin, end, offers).run();
}

} // namespace bps
