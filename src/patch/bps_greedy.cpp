#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
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

// The longest copy of one kind found at a position: its joined position and
// what its offset costs.
struct Longest {
    std::size_t length = 0;
    std::size_t at = 0;
    std::uint64_t cost = 0;
};

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
    std::vector<Step>& steps = walk.steps;
    std::uint64_t sourceRelative = 0;
    std::uint64_t targetRelative = 0;
    std::uint64_t newFrom = 0;
    std::uint64_t newCount = 0;
    // What the offset of a copy from joined position q costs, 0 for the
    // original's bytes in place: the number length of the distance, as the
    // public creator reckons it (its sign bit left out).
    const auto offsetCost = [&](std::size_t q, std::size_t p) -> std::uint64_t {
        const std::uint64_t at = q >= targetSize ? q - targetSize : q;
        const std::uint64_t relative = q >= targetSize ? sourceRelative : targetRelative;
        if (q >= targetSize && at == p) {
            return 0;
        }
        return numberLength(at > relative ? at - relative : relative - at);
    };
    for (std::size_t p = 0; p < targetSize;) {
        const std::size_t bound = targetSize - p;
        // The longest copy of each kind, the original's and the target's,
        // the cheapest among the longest: where both are long, the parse
        // weighs the offsets each leaves.
        std::array<Longest, 2> kinds{};
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
                const auto q = static_cast<std::size_t>(order[i]);
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
                if (length > k.length || (length == k.length && cost < k.cost)) {
                    k = {length, q, cost};
                }
            }
        }
        const Longest& chosen =
            kinds[1].length > kinds[0].length ||
                    (kinds[1].length == kinds[0].length && kinds[1].cost < kinds[0].cost)
                ? kinds[1]
                : kinds[0];
        const std::size_t bestLength = chosen.length;
        const std::size_t best = chosen.at;
        const std::uint64_t bestCost = chosen.cost;
        for (const Longest& k : kinds) {
            if (k.length >= 3 || &k == &chosen) {
                if (k.length > 0) {
                    const std::uint64_t from = k.at >= targetSize ? k.at - targetSize : k.at;
                    const Action action =
                        k.at < targetSize ? TargetCopy : (from == p ? SourceRead : SourceCopy);
                    walk.longest.push_back({action, p, k.length, from});
                }
            }
        }
        // A copy ends the new bytes before it, which then take a command of
        // their own if more follow.
        if (bestLength > 0 &&
            bestLength >= 2 + bestCost + (newCount > 0 ? 1 : 0) + (bestLength == 1 ? 1 : 0)) {
            if (newCount > 0) {
                steps.push_back({TargetRead, newCount, newFrom});
                newCount = 0;
            }
            if (best >= targetSize) {
                const std::uint64_t from = best - targetSize;
                steps.push_back({from == p ? SourceRead : SourceCopy, bestLength, from});
                if (from != p) {
                    sourceRelative = from + bestLength;
                }
            } else {
                steps.push_back({TargetCopy, bestLength, best});
                targetRelative = best + bestLength;
            }
            p += bestLength;
            continue;
        }
        if (newCount == 0) {
            newFrom = p;
        }
        ++newCount;
        ++p;
    }
    if (newCount > 0) {
        steps.push_back({TargetRead, newCount, newFrom});
    }
    return walk;
}

} // namespace bps
