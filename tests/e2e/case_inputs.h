#pragma once

// The named inputs the case files ask for: each name stands for the bytes one
// of the builders in tests/support makes, or for a file below tests/data
// ("data:vcdiff/small_source.bin"), so that a case says what it feeds the
// program without holding binary files of its own.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace e2e {

// The bytes of a named input, or nullopt for a name nobody registered.
std::optional<std::vector<std::uint8_t>> namedInput(std::string_view name);

// Every registered name (the data: names aside), for a message about a name
// that is not among them.
std::vector<std::string_view> namedInputNames();

} // namespace e2e
