#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The length of the valid multi-byte UTF-8 sequence starting at bytes[at],
// or 0; a plain ASCII byte also gives 0, so call it for bytes of 0x80 and up.
// Overlong forms, surrogates and code points above U+10FFFF are not valid.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at);

// Whether every byte belongs to a valid sequence.
bool isValidUtf8(std::string_view text);

// Appends the code point (at most U+10FFFF) in UTF-8.
void appendUtf8(std::string& out, std::uint32_t code);
