#include "io/wide_path.h"

#ifdef _WIN32
#include <windows.h>

std::wstring toWide(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int bytes = static_cast<int>(utf8.length());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), bytes, wide.data(), length);
    return wide;
}

std::string toUtf8(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int units = static_cast<int>(wide.length());
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring toWindowsPath(const std::string& utf8) {
    std::wstring path = toWide(utf8);
    if (path.empty() || path.starts_with(LR"(\\?\)") || path.starts_with(LR"(\\.\)")) {
        return path; // already in a device or extended form
    }
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.length()),
                                                full.data(), nullptr);
        if (length == 0) {
            return path; // let the file function report the fault
        }
        if (length < full.length()) {
            full.resize(length);
            break;
        }
        full.resize(length); // the size needed, terminator included
    }
    // Below the limit the path works as typed, and stays exactly as typed
    // (names such as NUL or CON keep their usual meaning).
    if (path.length() < MAX_PATH && full.length() < MAX_PATH) {
        return path;
    }
    if (full.starts_with(LR"(\\?\)") || full.starts_with(LR"(\\.\)")) {
        return full;
    }
    if (full.starts_with(LR"(\\)")) {
        return LR"(\\?\UNC\)" + full.substr(2); // \\server\share\...
    }
    return LR"(\\?\)" + full;
}
#endif
