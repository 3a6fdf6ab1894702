#include <iostream>

#include "cli/console.h"

void printLine(std::ostream& stream, std::string_view text) {
    stream << text << '\n';
    stream.flush();
}

void printUsage(const std::string& program) {
    const std::string rule(63, '=');
    std::cout << rule << '\n'
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
              << "  --catalog <PATH>...                   Inspect & hash ROMs and folders as JSON Lines\n"
              << "  --patch-info <PATCH> [<ROM>]          Describe IPS/BPS patch; check it fits a ROM\n"
              << '\n'
              << rule << '\n';
    std::cout.flush();
}
