#pragma once

#ifdef _WIN32
#include <string>
#include <string_view>

// Inside the program every text and path is a UTF-8 byte string; Windows
// takes and gives UTF-16. These convert at that edge, and only there. Bytes
// that are not valid UTF-8 (or unpaired surrogates) become U+FFFD.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);
#endif
