#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Hexadecimal as the reports write it: upper case without leading zeros
// (behind "0x"), or lower case of a fixed width (CRC-32 values, digests).
std::string hexUpper(std::uint64_t value);
std::string hexLower(std::uint64_t value, std::size_t digits);
std::string hexLower(std::span<const std::uint8_t> bytes);

template <std::size_t N> std::string hexLower(const std::array<std::uint8_t, N>& bytes) {
    return hexLower(std::span<const std::uint8_t>(bytes));
}

// The value of one hexadecimal digit of either case, or nullopt.
std::optional<std::uint8_t> hexDigitValue(char c);
