#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "patch/bps_match.h"
#include "patch/bps_number.h"
#include "patch/match_index.h"
#include "patch/suffix_array.h"

namespace bps {

namespace {

// How many stretches of the target not yet written (which no copy may come
// from) are passed over beside a position, and how many copies are weighed
// for their length and offset, on each side of it in the suffix order.
constexpr unsigned mostPassed = 16;
constexpr unsigned mostWeighed = 16;
// Up to this size of the target every byte's longest copies are offered.
constexpr std::size_t offersEveryByteUpTo = std::size_t{1} << 18;
// The longest copy inside which copies are offered so, and the longest
// offered there.
constexpr std::size_t offeredWithinUpTo = 4096;
constexpr std::size_t offeredWithinLength = 256;

// The longest copy of one kind found at a position: its joined position and
// what its offset costs, and others as long (up to `tiesKept`, the cheapest).
constexpr std::size_t tiesKept = 4;
struct Longest {
    std::size_t length = 0;
    std::size_t at = 0;
    std::uint64_t cost = 0;
    std::array<std::size_t, tiesKept - 1> others{};
    std::size_t otherCount = 0;
};

// The commands a walk writes, and the offsets they leave: new bytes gather
// until a copy ends them.
struct Commands {
    explicit Commands(std::size_t joinedTarget) : targetSize(joinedTarget) {}

    std::size_t targetSize; // joined positions from here on are the original's
    std::vector<Step> steps;
    std::uint64_t sourceRelative = 0;
    std::uint64_t targetRelative = 0;
    std::uint64_t newFrom = 0;
    std::uint64_t newCount = 0;

    void newByte(std::size_t p) {
        if (newCount == 0) {
            newFrom = p;
        }
        ++newCount;
    }
    // A copy at p of length bytes from joined position q.
    void copy(std::size_t p, std::size_t q, std::size_t length) {
        finish();
        if (q < targetSize) {
            steps.push_back({TargetCopy, length, q});
            targetRelative = q + length;
            return;
        }
        const std::uint64_t from = q - targetSize;
        steps.push_back({from == p ? SourceRead : SourceCopy, length, from});
        if (from != p) {
            sourceRelative = from + length;
        }
    }
    // How far a copy at p from joined position q moves its kind's offset;
    // nullopt for the original's bytes in place, which take no offset.
    std::optional<std::uint64_t> distance(std::size_t p, std::size_t q) const {
        const std::uint64_t from = q >= targetSize ? q - targetSize : q;
        const std::uint64_t relative = q >= targetSize ? sourceRelative : targetRelative;
        if (q >= targetSize && from == p) {
            return std::nullopt;
        }
        return from > relative ? from - relative : relative - from;
    }
    // The public creator's rule: a copy whose offset takes offsetBytes must
    // cover its command, its offset and the new-bytes command it ends.
    bool pays(std::size_t length, std::uint64_t offsetBytes) const {
        return length > 0 &&
               length >= 2 + offsetBytes + (newCount > 0 ? 1 : 0) + (length == 1 ? 1 : 0);
    }
    void finish() {
        if (newCount > 0) {
            steps.push_back({TargetRead, newCount, newFrom});
            newCount = 0;
        }
    }
};

// The bytes the public creator reckons a number takes (a power of 128 a
// byte), which is not quite what BPS writes.
constexpr std::uint64_t reckonedLength(std::uint64_t value) {
    std::uint64_t length = 1;
    while (length < 5 && value >= std::uint64_t{1} << (7 * length)) {
        ++length;
    }
    return length;
}

// The public creator's own walk, step for step, where it sorts the whole
// target with the original (a target up to four times the original, or of
// up to 1 KiB): at each byte, of the nearest suffixes before and after it in
// the order that may be copied from, the one sharing more with it (the one
// after on a tie), taken where it pays by the creator's rule. nullopt when
// the stretches of the target not yet written that lie beside the bytes in
// the order would take too long to pass over.
std::optional<std::vector<Step>> publicWalk(std::span<const std::uint8_t> joined,
                                            std::span<const std::int32_t> order,
                                            std::span<const std::int32_t> rank,
                                            std::size_t targetSize) {
    const std::size_t n = joined.size();
    const std::size_t sourceSize = n - targetSize;
    if (targetSize / 4 > sourceSize && targetSize > 1024) {
        return std::nullopt;
    }
    std::size_t budget = 16 * n + 65536;
    Commands out(targetSize);
    for (std::size_t p = 0; p < targetSize;) {
        // The nearest on each side that starts before p or in the original.
        const auto nearest = [&](int direction) -> std::optional<std::size_t> {
            for (auto i = static_cast<std::size_t>(rank[p]);;) {
                if (direction < 0 ? i == 0 : i + 1 == n) {
                    return std::nullopt;
                }
                i = direction < 0 ? i - 1 : i + 1;
                const auto q = static_cast<std::size_t>(order[i]);
                if (q < p || q >= targetSize) {
                    return q;
                }
                if (--budget == 0) {
                    return std::nullopt;
                }
            }
        };
        const std::optional<std::size_t> before = nearest(-1);
        if (budget == 0) {
            return std::nullopt;
        }
        const std::optional<std::size_t> after = nearest(1);
        if (budget == 0) {
            return std::nullopt;
        }
        const std::size_t searched = targetSize - p;
        const auto lengthFrom = [&](std::size_t q, std::size_t known) {
            return known + match::forwardMatch(joined.data() + q + known, joined.data() + p + known,
                                               std::min(searched, n - q) - known);
        };
        std::size_t at = 0;
        std::size_t length = 0;
        if (before && after) {
            // Both share with p what they share with each other.
            const std::size_t common = match::forwardMatch(
                joined.data() + *before, joined.data() + *after, std::min(n - *before, n - *after));
            if (common >= searched) {
                at = *before;
                length = searched;
            } else if (*before + common < n && joined[p + common] == joined[*before + common]) {
                at = *before;
                length = lengthFrom(at, common);
            } else {
                at = *after;
                length = lengthFrom(at, common);
            }
        } else if (before || after) {
            at = before ? *before : *after;
            length = lengthFrom(at, 0);
        }
        const std::optional<std::uint64_t> moved = out.distance(p, at);
        if (out.pays(length, moved ? reckonedLength(*moved) : 0)) {
            out.copy(p, at, length);
            p += length;
            continue;
        }
        out.newByte(p);
        ++p;
    }
    out.finish();
    return std::move(out.steps);
}

} // namespace

Walk greedyWalk(std::span<const std::uint8_t> source, std::span<const std::uint8_t> target) {
    const std::size_t targetSize = target.size();
    // The target first: a copy from the target before a position is a
    // suffix that starts before it.
    std::vector<std::uint8_t> joined;
    joined.reserve(targetSize + source.size());
    joined.insert(joined.end(), target.begin(), target.end());
    joined.insert(joined.end(), source.begin(), source.end());
    const std::size_t n = joined.size();
    const std::vector<std::int32_t> order = match::suffixArray(joined);
    std::vector<std::int32_t> rank(n);
    for (std::size_t i = 0; i < n; ++i) {
        rank[static_cast<std::size_t>(order[i])] = static_cast<std::int32_t>(i);
    }

    Walk walk;
    Commands out(targetSize);
    // What the offset of a copy from joined position q costs, 0 for the
    // original's bytes in place: the number length of the distance (its sign
    // bit left out).
    const auto offsetCost = [&](std::size_t q, std::size_t p) -> std::uint64_t {
        const std::optional<std::uint64_t> moved = out.distance(p, q);
        return moved ? numberLength(*moved) : 0;
    };
    // In a small target the bytes a copy covers are offered too, and copies
    // as long from elsewhere: a copy that starts inside another, or comes
    // from elsewhere, may leave better offsets.
    const bool everyByte = targetSize <= offersEveryByteUpTo;
    // The longest copy of each kind, the original's and the target's, at p.
    const auto longestAt = [&](std::size_t p, std::size_t most) {
        // The cheapest among the longest: where both are long, the parse
        // weighs the offsets each leaves.
        std::array<Longest, 2> kinds{};
        const std::size_t bound = std::min(targetSize - p, most);
        const auto here = static_cast<std::size_t>(rank[p]);
        for (const int direction : {-1, 1}) {
            std::size_t sideLength = 0;
            std::array<bool, 2> seen{};
            unsigned passed = 0;
            for (std::size_t i = here, weighed = 0; weighed < mostWeighed; ++weighed) {
                if (direction < 0 ? i == 0 : i + 1 == n) {
                    break;
                }
                i = direction < 0 ? i - 1 : i + 1;
                auto q = static_cast<std::size_t>(order[i]);
                if (q >= p && q < targetSize) {
                    if (++passed == mostPassed) {
                        break;
                    }
                    --weighed;
                    continue;
                }
                const std::size_t length = match::forwardMatch(joined.data() + q, joined.data() + p,
                                                               std::min(bound, n - q));
                if (weighed == 0) {
                    sideLength = length;
                }
                // The order puts the longest beside p; past them, only the
                // first of a kind not yet seen is still worth a look.
                const std::size_t kind = q < targetSize ? 1 : 0;
                if (length < sideLength && (length < 3 || seen[kind] || (seen[0] && seen[1]))) {
                    break;
                }
                seen[kind] = true;
                const std::uint64_t cost = offsetCost(q, p);
                Longest& k = kinds[kind];
                if (length > k.length) {
                    k = {length, q, cost, {}, 0};
                } else if (length == k.length) {
                    if (cost < k.cost) {
                        std::swap(q, k.at);
                        k.cost = cost;
                    }
                    if (k.otherCount < k.others.size()) {
                        k.others[k.otherCount++] = q;
                    }
                }
            }
        }
        return kinds;
    };
    const auto offer = [&](std::size_t p, const std::array<Longest, 2>& kinds,
                           const Longest& chosen) {
        const auto add = [&](std::size_t at, std::size_t length) {
            const std::uint64_t from = at >= targetSize ? at - targetSize : at;
            const Action action =
                at < targetSize ? TargetCopy : (from == p ? SourceRead : SourceCopy);
            walk.longest.push_back({action, p, length, from});
        };
        for (const Longest& k : kinds) {
            if (k.length > 0 && (k.length >= 3 || &k == &chosen)) {
                add(k.at, k.length);
                // As long, from elsewhere: other offsets left.
                for (std::size_t o = 0; everyByte && k.length >= 3 && o < k.otherCount; ++o) {
                    add(k.others[o], k.length);
                }
            }
        }
    };
    const auto chosenOf = [](const std::array<Longest, 2>& kinds) -> const Longest& {
        return kinds[1].length > kinds[0].length ||
                       (kinds[1].length == kinds[0].length && kinds[1].cost < kinds[0].cost)
                   ? kinds[1]
                   : kinds[0];
    };
    for (std::size_t p = 0; p < targetSize;) {
        const std::array<Longest, 2> kinds = longestAt(p, targetSize);
        const Longest& chosen = chosenOf(kinds);
        const std::size_t bestLength = chosen.length;
        const std::size_t best = chosen.at;
        const std::uint64_t bestCost = chosen.cost;
        offer(p, kinds, chosen);
        // A copy ends the new bytes before it, which then take a command of
        // their own if more follow.
        if (out.pays(bestLength, bestCost)) {
            out.copy(p, best, bestLength);
            // Inside a long copy (a run, a block repeated) every byte would
            // be matched far ahead again: only short copies are offered
            // there, and only inside copies the parse weighs.
            for (std::size_t q = p + 1;
                 everyByte && bestLength <= offeredWithinUpTo && q < p + bestLength; ++q) {
                const std::array<Longest, 2> within = longestAt(q, offeredWithinLength);
                offer(q, within, chosenOf(within));
            }
            p += bestLength;
            continue;
        }
        out.newByte(p);
        ++p;
    }
    out.finish();
    walk.steps = std::move(out.steps);
    walk.publicSteps = publicWalk(joined, order, rank, targetSize);
    return walk;
}

} // namespace bps
