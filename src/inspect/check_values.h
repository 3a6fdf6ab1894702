#pragma once

#include <cstdint>
#include <span>

// Check values shared by the inspectors and the checksum repair. Each is
// given an image that holds the bytes it covers.

// Game Boy header checksum over 0x134..0x14C, stored at 0x14D.
constexpr std::uint64_t gameBoyTitle = 0x134;
constexpr std::uint64_t gameBoyCartridgeType = 0x147;
constexpr std::uint64_t gameBoyHeaderChecksum = 0x14D;
constexpr std::uint64_t gameBoyGlobalChecksum = 0x14E;
std::uint8_t computeGameBoyHeaderChecksum(std::span<const std::uint8_t> image);

// Game Boy Advance complement over 0xA0..0xBC, stored at 0xBD.
constexpr std::uint64_t gbaTitle = 0xA0;
constexpr std::uint64_t gbaGameCode = 0xAC;
constexpr std::uint64_t gbaComplement = 0xBD;
std::uint8_t computeGbaComplement(std::span<const std::uint8_t> image);

// Genesis checksum: the 16-bit sum of the big-endian words from 0x200 to the
// last complete word; stored big-endian at 0x18E.
constexpr std::uint64_t genesisTitle = 0x120;
constexpr std::uint64_t genesisChecksum = 0x18E;
constexpr std::uint64_t genesisSummedStart = 0x200;
std::uint16_t computeGenesisChecksum(std::span<const std::uint8_t> image);

// The sum of every byte, in 64 bits (callers keep the low bits they need).
std::uint64_t sumBytes(std::span<const std::uint8_t> bytes);
