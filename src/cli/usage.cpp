#include <algorithm>
#include <iostream>
#include <sstream>

#include "cli/console.h"

#ifdef _WIN32
#include <windows.h>

#include "io/wide_path.h"
#endif

namespace {

// Writes the text and flushes. A Windows console takes it as UTF-16, so that
// names outside the console's code page show as typed, with the CR LF line
// ends text mode gives; a redirected stream gets the UTF-8 bytes unchanged.
void writeText(std::ostream& stream, std::string_view text) {
#ifdef _WIN32
    const HANDLE handle = &stream == &std::cout   ? ::GetStdHandle(STD_OUTPUT_HANDLE)
                          : &stream == &std::cerr ? ::GetStdHandle(STD_ERROR_HANDLE)
                                                  : INVALID_HANDLE_VALUE;
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0) {
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

} // namespace

void printLine(std::ostream& stream, std::string_view text) {
    writeText(stream, std::string(text) + '\n');
}

void printUsage(const std::string& program) {
    const std::string rule(63, '=');
    std::ostringstream usageText;
    usageText << rule << '\n'
              << "  Quillon Studio v2.0 - Universal Vintage Console ROM Workstation\n"
              << rule << '\n'
              << '\n'
              << "Usage: " << program << " [command] [options...]\n"
              << '\n'
              << "Interactive GUI:\n"
              << "  " << program << " --gui                              Launch native desktop GUI window\n"
              << '\n'
              << "Console & Batch Commands:\n"
              << "  --inspect <ROM>                       Inspect ROM platform, header & checksums\n"
              << "  --fix-checksum <IN_ROM> <OUT_ROM>     Repair cartridge header & global checksums\n"
              << "  --strip-header <IN_ROM> <OUT_ROM>     Strip 512-byte copier headers (SNES/SMC)\n"
              << "  --n64-endian <IN_ROM> <OUT_ROM>       Convert N64 ROM to standard Big-Endian (.z64)\n"
              << "  --patch <IN_ROM> <PATCH.ips> <OUT>    Apply standard IPS binary patch\n"
              << "  --bps-patch <IN_ROM> <PATCH.bps> <OUT> Apply Beat BPS binary patch\n"
              << "  --srm-swap <IN.srm> <OUT.srm>         Swap 16-bit save RAM endianness (EverDrive/PC)\n"
              << "  --trim <IN_ROM> <OUT_ROM>             Trim overdumped padding bytes\n"
              << "  --create-ips <ORIG> <MOD> <PATCH.ips> Create IPS patch from original & modified ROM\n"
              << "  --create-bps <ORIG> <MOD> <PATCH.bps> Create BPS patch from original & modified ROM\n"
              << "  --create-ups <ORIG> <MOD> <PATCH.ups> Create UPS patch from original & modified ROM\n"
              << "  --catalog <PATH>...                   Inspect & hash ROMs and folders as JSON Lines\n"
              << "  --patch-info <PATCH> [<ROM>]          Describe IPS/BPS/UPS/xdelta patch; check it fits a ROM\n"
              << "  --apply <ROM> <PATCH> <OUT>           Apply IPS/BPS/UPS/xdelta patch, checked first\n"
              << "  --verify <DAT> <PATH>...              Match ROMs and archives against a DAT file\n"
              << '\n'
              << rule << '\n';
    writeText(std::cout, usageText.str());
}
