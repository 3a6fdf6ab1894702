#pragma once

#ifdef _WIN32
#include <string>
#include <string_view>

// Inside the program every text and path is a UTF-8 byte string; Windows
// takes and gives UTF-16. These convert at that edge, and only there. Bytes
// that are not valid UTF-8 (or unpaired surrogates) become U+FFFD.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);

// The form of a path as typed that the wide file functions take: UTF-16, and
// for a path whose full form reaches the 260-character limit the extended
// "\\?\" form of that full path (backslashes, no "." or ".." left), which
// the file system takes at any length. Shorter paths are handed on as typed.
std::wstring toWindowsPath(const std::string& utf8);
#endif
