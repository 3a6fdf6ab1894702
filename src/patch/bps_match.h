#pragma once

#include <cstddef>
#include <cstdint>
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

// The steps that rebuild target[begin, end) from the original and from the
// bytes of the target before them. Deterministic for the same arguments.
std::vector<Step> matchRange(std::span<const std::uint8_t> source,
                             std::span<const std::uint8_t> target, const match::SourceIndex& index,
                             std::uint64_t begin, std::uint64_t end);

} // namespace bps
