#pragma once

#include <cstdint>
#include <span>

// Exchanges the two bytes of every complete 16-bit pair; a final odd byte stays.
void swapPairs(std::span<std::uint8_t> bytes);

// Reverses the four bytes of every complete 32-bit group; the last size % 4 bytes stay.
void reverseQuads(std::span<std::uint8_t> bytes);
