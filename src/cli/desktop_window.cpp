#include "cli/console.h"

#ifdef _WIN32
#include <windows.h>
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
