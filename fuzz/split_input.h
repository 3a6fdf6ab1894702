#pragma once

// How the patch targets cut one fuzz input into a ROM image and a patch, and
// how the seed generator joins them back:
//
//   bytes 0..2   the ROM length, big-endian (0 to 16 MiB - 1)
//   next         that many ROM bytes (fewer if the input ends first)
//   the rest     the patch
//
// A length beyond the end of the input takes every byte that is left, so the
// patch is then empty. An input of fewer than three bytes gives an empty ROM
// and an empty patch.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzzing {

constexpr std::size_t romLengthBytes = 3;

struct SplitInput {
    std::span<const std::uint8_t> rom;
    std::span<const std::uint8_t> patch;
};

inline SplitInput splitInput(std::span<const std::uint8_t> input) {
    if (input.size() < romLengthBytes) {
        return {};
    }
    const std::size_t declared =
        std::size_t{input[0]} << 16 | std::size_t{input[1]} << 8 | input[2];
    const auto rest = input.subspan(romLengthBytes);
    const std::size_t romSize = std::min(declared, rest.size());
    return {rest.first(romSize), rest.subspan(romSize)};
}

// The inverse of splitInput, for ROMs of less than 16 MiB.
inline std::vector<std::uint8_t> joinInput(std::span<const std::uint8_t> rom,
                                           std::span<const std::uint8_t> patch) {
    std::vector<std::uint8_t> out{static_cast<std::uint8_t>(rom.size() >> 16),
                                  static_cast<std::uint8_t>(rom.size() >> 8),
                                  static_cast<std::uint8_t>(rom.size())};
    out.insert(out.end(), rom.begin(), rom.end());
    out.insert(out.end(), patch.begin(), patch.end());
    return out;
}

} // namespace fuzzing
