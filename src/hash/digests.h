#pragma once

#include <cstdint>
#include <span>

// The only place that calls the hashing library. Every function here starts
// the library on first use (once, safely from any thread), so callers need no
// start-up step of their own.

// Starts the hashing library; main calls it before any thread hashes.
void initialiseHashing();

// CRC-32 as zip and the BPS footer use it (reflected 0xEDB88320, initial and
// final value 0xFFFFFFFF): "123456789" gives 0xCBF43926.
std::uint32_t crc32(std::span<const std::uint8_t> bytes);
