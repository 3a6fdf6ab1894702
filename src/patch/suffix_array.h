#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace match {

// The suffixes of text in lexicographic order (a suffix that is a prefix of
// another sorts first), as their start positions: every longest repeat of a
// stretch lies beside it in this order. Linear time (induced sorting);
// about 15 bytes a byte of text at the peak. The text must be shorter than
// 2^31 bytes.
std::vector<std::int32_t> suffixArray(std::span<const std::uint8_t> text);

} // namespace match
