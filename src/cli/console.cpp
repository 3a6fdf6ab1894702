#include <algorithm>
#include <iostream>

#include "cli/console.h"

#ifdef _WIN32
#include <windows.h>

#include "io/wide_path.h"
#endif

// Writes the text and flushes. A Windows console takes it as UTF-16, so that
// names outside the console's code page show as typed, with the CR LF line
// ends text mode gives; a redirected stream gets the UTF-8 bytes unchanged.
void printText(std::ostream& stream, std::string_view text) {
#ifdef _WIN32
    const HANDLE handle = &stream == &std::cout   ? ::GetStdHandle(STD_OUTPUT_HANDLE)
                          : &stream == &std::cerr ? ::GetStdHandle(STD_ERROR_HANDLE)
                                                  : INVALID_HANDLE_VALUE;
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
        ::GetConsoleMode(handle, &mode) != 0) {
        stream.flush();
        std::string crlf; // the line ends text mode writes
        for (const char c : text) {
            crlf += c == '\n' ? std::string_view("\r\n") : std::string_view(&c, 1);
        }
        const std::wstring wide = toWide(crlf);
        std::size_t done = 0;
        while (done < wide.size()) {
            std::size_t chunk = std::min<std::size_t>(wide.size() - done, 8192);
            if (done + chunk < wide.size() && IS_HIGH_SURROGATE(wide[done + chunk - 1])) {
                --chunk; // a character beyond the Basic Multilingual Plane stays in one piece
            }
            DWORD written = 0;
            if (::WriteConsoleW(handle, wide.data() + done, static_cast<DWORD>(chunk), &written,
                                nullptr) == 0 ||
                written == 0) {
                break;
            }
            done += written;
        }
        return;
    }
#endif
    stream << text;
    stream.flush();
}

void printLine(std::ostream& stream, std::string_view text) {
    printText(stream, std::string(text) + '\n');
}
