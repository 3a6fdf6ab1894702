#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "dat/dat_builder.h"

// Logiqx XML DATs, read with expat. No DAT for anything malformed (a
// reference to an entity nobody declared included), or beyond the bounds a
// real database stays within, with the line expat stopped at.
DatParse parseLogiqxDat(std::span<const std::uint8_t> bytes);

// Fills the buffer with the DAT's bytes; false when they cannot be read.
using DatFill = std::function<bool(std::span<std::uint8_t> into)>;

// A Logiqx DAT of size bytes, read by fill straight into the parser's buffer.
DatParse parseLogiqx(std::uint64_t size, const DatFill& fill);
