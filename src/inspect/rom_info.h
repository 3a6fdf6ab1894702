#pragma once

#include <cstdint>
#include <string>

// The numbers are fixed: the checksum repair selects its branch by them.
enum class RomPlatform : std::uint32_t {
    Unknown = 0,
    GameBoy = 1,
    GameBoyAdvance = 2,
    Nes = 3,
    Snes = 4,
    Nintendo64 = 5,
    Genesis = 6,
};

// What an inspection found. Each inspector sets only its own fields; the rest
// keep these fresh values.
struct RomInfo {
    RomPlatform platform = RomPlatform::Unknown;
    std::string platformName;
    std::string title;
    std::string gameCode;
    std::uint64_t fileSize = 0; // the whole size, also for images of 4 GiB and more
    std::uint32_t prgRomSize = 0;
    std::uint32_t chrRomSize = 0;
    std::uint32_t mapperNumber = 0;
    bool hasCopierHeader = false;
    // False for data the Super Nintendo inspector found no credible header
    // in: the last platform tried, so any large enough file reaches it.
    bool credibleHeader = true;
    bool checksumValid = false;
    std::uint32_t computedChecksum = 0;
    std::uint32_t storedChecksum = 0;
    std::string details;
};
