#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "patch/bps.h"
#include "patch/match_index.h"

// The matching half of the BPS creator: finds, for a stretch of the modified
// image, the actions that rebuild it, chosen by their encoded size. The
// actions carry absolute positions; the encoder turns them into relative
// offsets in order.

namespace bps {

// length bytes of the target from `from`: the original's position for the
// source actions, the modified image's for TargetRead (its own bytes) and
// TargetCopy.
struct Step {
    Action action;
    std::uint64_t length;
    std::uint64_t from;
};

// A copy on offer at a position of the target: length bytes of the target
// from start, read from `from` (the original's position for the source
// actions, the target's for TargetCopy).
struct Offer {
    Action action;
    std::uint64_t start;
    std::uint64_t length;
    std::uint64_t from;
};

// The steps that rebuild target[begin, end) from the original and from the
// bytes of the target before them, weighing with the copies its indexes
// find the offers given (sorted by start). Deterministic for the same
// arguments.
std::vector<Step> matchRange(std::span<const std::uint8_t> source,
                             std::span<const std::uint8_t> target, const match::SourceIndex& index,
                             std::uint64_t begin, std::uint64_t end,
                             std::span<const Offer> offers = {});

// The plain greedy walk over the whole target, as the public creator makes
// it: at each byte the longest copy of the original or of the target before
// it (the nearest to the last copy's end among the longest), taken where it
// is long enough for what its offset and command cost. It finds every
// longest copy where the indexes find only some: the parse is offered the
// longest copies of each kind at every byte the walk passed (at every byte,
// with others as long, in a small target), and the creator keeps whichever
// of the two encodes shorter. It holds about 20 bytes a byte of both images
// at once.
struct Walk {
    std::vector<Step> steps;
    std::vector<Offer> longest;
    // The public creator's own walk over the same order, step for step, where
    // it can be followed: the creator keeps it too where it encodes shorter,
    // so that no patch comes out larger than that creator's.
    std::optional<std::vector<Step>> publicSteps;
};
Walk greedyWalk(std::span<const std::uint8_t> source, std::span<const std::uint8_t> target);

} // namespace bps
