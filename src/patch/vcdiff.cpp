#include "patch/vcdiff.h"

// Placeholder until the decoder lands: every patch reads as damaged.
VcdiffSummary describeVcdiff(std::span<const std::uint8_t>) { return {}; }

VcdiffResult applyVcdiff(std::span<const std::uint8_t>, std::span<const std::uint8_t>) {
    return {};
}
