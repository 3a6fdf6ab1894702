#include "base/hex.h"

namespace {

constexpr std::string_view lowerDigits = "0123456789abcdef";
constexpr std::string_view upperDigits = "0123456789ABCDEF";

} // namespace

std::string hexUpper(std::uint64_t value) {
    std::string text;
    do {
        text.insert(text.begin(), upperDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return text;
}

std::string hexLower(std::uint64_t value, std::size_t digits) {
    std::string out(digits, '0');
    for (std::size_t i = 0; i < digits && i < 16; ++i) {
        out[digits - 1 - i] = lowerDigits[(value >> (4 * i)) & 0xF];
    }
    return out;
}

std::string hexLower(std::span<const std::uint8_t> bytes) {
    std::string out;
    out.reserve(2 * bytes.size());
    for (const std::uint8_t byte : bytes) {
        out.push_back(lowerDigits[byte >> 4]);
        out.push_back(lowerDigits[byte & 0xF]);
    }
    return out;
}

std::optional<std::uint8_t> hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    return std::nullopt;
}
