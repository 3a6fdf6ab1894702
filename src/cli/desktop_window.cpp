#include "cli/console.h"

#ifdef _WIN32
#include <windows.h>

#include "io/wide_path.h"
#endif

bool showDesktopWindow(int argc, char** argv) {
    (void)argc;
    (void)argv;
#ifdef _WIN32
    ::MessageBoxA(nullptr,
                  "Quillon Studio v2.0 Desktop Workstation\n"
                  "\n"
                  "Drag and drop any cartridge ROM (.gb, .gba, .nes, .smc, .z64, .md) to inspect "
                  "and repair.\n"
                  "Run from command prompt with --help for all batch operations.",
                  "Quillon Studio", 0x40);
    return true;
#else
    // No native window here: the caller prints the usage text instead.
    return false;
#endif
}

bool showReportWindow(const std::vector<std::string>& lines) {
#ifdef _WIN32
    // One line break between lines, as in the information window's text.
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += (i > 0 ? "\n" : "") + lines[i];
    }
    ::MessageBoxW(nullptr, toWide(text).c_str(), L"Quillon Studio", MB_ICONINFORMATION);
    return true;
#else
    (void)lines;
    return false;
#endif
}
