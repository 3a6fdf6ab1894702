#pragma once

#include <optional>
#include <string>
#include <string_view>

// Code page 437, the character set of zip names stored without the UTF-8
// flag (the original IBM PC's).

// The UTF-8 text of a CP437 string.
std::string fromCodePage437(std::string_view text);

// The CP437 bytes of a UTF-8 text; nullopt when the text is not valid UTF-8 or
// holds a character the code page cannot spell (only its printable ASCII half
// and its upper half are taken: the glyphs it shows for control bytes are not
// characters a name may hold).
std::optional<std::string> toCodePage437(std::string_view utf8);
