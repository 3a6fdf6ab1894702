#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "dat/dat_builder.h"

// clrmamepro text DATs: nested "key ( ... )" blocks of words and quoted
// strings. No DAT for anything malformed, or beyond the bounds a real
// database stays within, with the line of the token it failed at.
DatParse parseClrMameProDat(std::span<const std::uint8_t> bytes);
