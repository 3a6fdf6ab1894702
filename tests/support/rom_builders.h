#pragma once

// Small builders for test images: each makes a valid header of its platform,
// which a test then mutates. No cartridge data, only the header fields.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "base/bytes.h"

namespace testing_support {

using ByteList = std::vector<std::uint8_t>;

inline Bytes imageOf(std::initializer_list<std::uint8_t> bytes) {
    return Bytes(bytes);
}
inline Bytes filled(std::size_t size, std::uint8_t value = 0) {
    return Bytes(size, value);
}
inline ByteList toBytes(std::span<const std::uint8_t> image) {
    return ByteList(image.begin(), image.end());
}

// The bytes of a text, as DAT files and other text inputs are written.
inline Bytes textImage(std::string_view text) {
    Bytes image;
    for (const char c : text) {
        image.push_back(static_cast<std::uint8_t>(c));
    }
    return image;
}

// The cartridge behind a 512-byte copier header of fill bytes.
inline Bytes withCopierHeader(std::span<const std::uint8_t> cartridge, std::uint8_t fill) {
    Bytes image = filled(512, fill);
    image.insert(image.end(), cartridge.begin(), cartridge.end());
    return image;
}

// Bytes without long repeats, like packed game data, the same for the same seed.
inline Bytes noise(std::size_t size, std::uint32_t seed) {
    Bytes image(size);
    std::uint64_t state = seed;
    for (auto& byte : image) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        byte = static_cast<std::uint8_t>(state >> 56);
    }
    return image;
}

inline void put(Bytes& image, std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        image.at(offset + i) = bytes[i];
    }
}
inline void put(Bytes& image, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    put(image, offset, std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
}
inline void putText(Bytes& image, std::size_t offset, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        image.at(offset + i) = static_cast<std::uint8_t>(text[i]);
    }
}

// Game Boy: logo start at 0x104, title at 0x134, cartridge type at 0x147 and a
// correct header checksum at 0x14D.
inline Bytes makeGameBoy(std::size_t size = 0x8000, std::string_view title = "QUILLON",
                         std::uint8_t cartridgeType = 0x00) {
    Bytes image = filled(size);
    put(image, 0x104, {0xCE, 0xED, 0x66, 0x66});
    putText(image, 0x134, title);
    image.at(0x147) = cartridgeType;
    std::uint8_t x = 0;
    for (std::size_t i = 0x134; i <= 0x14C; ++i) {
        x = static_cast<std::uint8_t>(x - image[i] - 1);
    }
    image.at(0x14D) = x;
    return image;
}

// The Game Boy global checksum: the sum of every byte but its own two.
inline std::uint16_t gameBoyGlobalChecksum(std::span<const std::uint8_t> image) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        sum += (i == 0x14E || i == 0x14F) ? 0 : image[i];
    }
    return static_cast<std::uint16_t>(sum);
}

// The same image with its Game Boy global checksum stored big-endian at 0x14E.
inline Bytes withGameBoyGlobalChecksum(Bytes image) {
    const std::uint16_t sum = gameBoyGlobalChecksum(image);
    image.at(0x14E) = static_cast<std::uint8_t>(sum >> 8);
    image.at(0x14F) = static_cast<std::uint8_t>(sum);
    return image;
}

// Game Boy Advance: logo start at 0x04, title at 0xA0, game code at 0xAC and
// a correct complement at 0xBD.
inline Bytes makeGameBoyAdvance(std::size_t size = 0x400, std::string_view title = "QUILLON",
                                std::string_view gameCode = "AQLE") {
    Bytes image = filled(size);
    put(image, 0x04, {0x24, 0xFF, 0xAE, 0x51});
    putText(image, 0xA0, title);
    putText(image, 0xAC, gameCode);
    image.at(0xB2) = 0x96; // the fixed value of the format
    std::uint8_t sum = 0;
    for (std::size_t i = 0xA0; i <= 0xBC; ++i) {
        sum = static_cast<std::uint8_t>(sum + image[i]);
    }
    image.at(0xBD) = static_cast<std::uint8_t>(0xE7 - sum);
    return image;
}

inline void putLittleEndian16(Bytes& image, std::size_t offset, std::uint16_t value) {
    image.at(offset) = static_cast<std::uint8_t>(value & 0xFF);
    image.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

// The Super Nintendo checksum by its definition, one read at a time: the
// cartridge data after base, its pair at fields read as FF FF 00 00, and a
// size that is no power of two read as its largest power of two P plus the
// part beyond P repeated over a second block of P bytes.
inline std::uint16_t snesChecksumOf(const Bytes& image, std::size_t base, std::size_t fields) {
    const std::size_t size = image.size() - base;
    const auto read = [&](std::size_t i) -> std::uint32_t {
        if (base + i >= fields && base + i < fields + 4) {
            return base + i < fields + 2 ? 0xFF : 0x00;
        }
        return image.at(base + i);
    };
    std::size_t block = 1;
    while (block * 2 <= size) {
        block *= 2;
    }
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < block; ++i) {
        sum += read(i);
    }
    if (block != size) {
        for (std::size_t k = 0; k < block; ++k) {
            sum += read(block + k % (size - block));
        }
    }
    return static_cast<std::uint16_t>(sum);
}

// Super Nintendo: a title and an agreeing complement/checksum pair at the
// LoROM (0x7FC0) or HiROM (0xFFC0) header, behind an optional copier header.
// The stored checksum is the image's true checksum, so a repair leaves it unchanged.
inline Bytes makeSnes(std::size_t size = 0x20000, bool hiRom = false, bool copierHeader = false,
                      std::string_view title = "QUILLON SNES") {
    const std::size_t base = copierHeader ? 512 : 0;
    Bytes image = filled(size + base);
    const std::size_t header = base + (hiRom ? 0xFFC0 : 0x7FC0);
    putText(image, header, title);
    for (std::size_t i = title.size(); i < 21; ++i) {
        image.at(header + i) = ' ';
    }
    image.at(header + 0x15) = hiRom ? 0x21 : 0x20;
    const std::uint16_t checksum = snesChecksumOf(image, base, header + 0x1C);
    putLittleEndian16(image, header + 0x1C, static_cast<std::uint16_t>(~checksum));
    putLittleEndian16(image, header + 0x1E, checksum);
    return image;
}

// A Super Nintendo image as an assembler leaves it before the checksum is
// set: filler program bytes, a header at headerStart with a space-padded
// title, the map mode and the reset vector, and the pair still 00 00 00 00.
inline Bytes makeAssembledSnes(std::size_t size, std::size_t headerStart, std::uint8_t mapMode,
                               std::string_view title = "QUILLON ASSEMBLED",
                               std::uint16_t resetVector = 0x8000) {
    Bytes image = filled(size);
    std::uint32_t state = 7;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        image[i] = static_cast<std::uint8_t>(state >> 16);
    }
    putText(image, headerStart, title);
    for (std::size_t i = title.size(); i < 21; ++i) {
        image.at(headerStart + i) = ' ';
    }
    image.at(headerStart + 0x15) = mapMode;
    put(image, headerStart + 0x1C, {0x00, 0x00, 0x00, 0x00});
    putLittleEndian16(image, headerStart + 0x3C, resetVector);
    return image;
}

// The image with its Super Nintendo pair at fields set to the true checksum.
inline Bytes withSnesChecksum(Bytes image, std::size_t base, std::size_t fields) {
    const std::uint16_t checksum = snesChecksumOf(image, base, fields);
    putLittleEndian16(image, fields, static_cast<std::uint16_t>(~checksum));
    putLittleEndian16(image, fields + 2, checksum);
    return image;
}

// Genesis: "SEGA" at 0x100, a domestic title at 0x120 and the correct checksum
// of the words from 0x200 on at 0x18E.
inline Bytes makeGenesis(std::size_t size = 0x1000, std::string_view title = "QUILLON GENESIS") {
    Bytes image = filled(size);
    putText(image, 0x100, "SEGA MEGA DRIVE");
    putText(image, 0x120, title);
    for (std::size_t i = title.size(); i < 48; ++i) {
        image.at(0x120 + i) = ' ';
    }
    for (std::size_t i = 0x200; i < size; ++i) {
        image.at(i) = static_cast<std::uint8_t>(i * 7);
    }
    std::uint32_t sum = 0;
    for (std::size_t i = 0x200; i + 1 < size; i += 2) {
        sum += static_cast<std::uint32_t>(image[i] << 8 | image[i + 1]);
    }
    image.at(0x18E) = static_cast<std::uint8_t>(sum >> 8);
    image.at(0x18F) = static_cast<std::uint8_t>(sum);
    return image;
}

enum class N64Order { Z64, V64, N64 };

// A canonical (.z64) Nintendo 64 image stored in the requested byte order.
inline Bytes inN64Order(Bytes image, N64Order order) {
    const std::size_t size = image.size();
    if (order == N64Order::V64) {
        for (std::size_t k = 0; k + 1 < size; k += 2) {
            std::swap(image[k], image[k + 1]);
        }
    } else if (order == N64Order::N64) {
        for (std::size_t k = 0; k + 3 < size; k += 4) {
            std::swap(image[k], image[k + 3]);
            std::swap(image[k + 1], image[k + 2]);
        }
    }
    return image;
}

// Nintendo 64: a canonical (.z64) image with a title at 0x20 and counting
// bytes after the header, then stored in the requested byte order.
inline Bytes makeNintendo64(std::size_t size = 0x1000, N64Order order = N64Order::Z64,
                            std::string_view title = "QUILLON SIXTY-FOUR") {
    Bytes image = filled(size);
    put(image, 0, {0x80, 0x37, 0x12, 0x40});
    putText(image, 0x20, title);
    for (std::size_t i = 0x40; i < size; ++i) {
        image.at(i) = static_cast<std::uint8_t>(i);
    }
    return inN64Order(std::move(image), order);
}

// CRC-32 as zip computes it, one bit at a time.
inline std::uint32_t zipCrc32Step(std::uint32_t reg) {
    for (int bit = 0; bit < 8; ++bit) {
        reg = (reg & 1) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return reg;
}
inline std::uint32_t zipCrc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t reg = 0xFFFFFFFFu;
    for (const std::uint8_t byte : bytes) {
        reg = (reg >> 8) ^ zipCrc32Step((reg ^ byte) & 0xFF);
    }
    return ~reg;
}

// The four bytes that, appended to data, give the whole a CRC-32 of target.
// Four zero bytes fed to the register x lead to the final register; each step
// back is unique because the top bytes of the 256 table entries differ, and
// feeding four bytes b to a register r is feeding zeros to r ^ b.
inline std::array<std::uint8_t, 4> crc32Steering(std::span<const std::uint8_t> data,
                                                 std::uint32_t target) {
    const std::uint32_t before = ~zipCrc32(data);
    std::uint32_t x = ~target;
    for (int step = 0; step < 4; ++step) {
        std::uint32_t j = 0;
        while ((zipCrc32Step(j) >> 24) != (x >> 24)) {
            ++j;
        }
        x = ((x ^ zipCrc32Step(j)) << 8) | j;
    }
    const std::uint32_t bytes = x ^ before;
    return {static_cast<std::uint8_t>(bytes), static_cast<std::uint8_t>(bytes >> 8),
            static_cast<std::uint8_t>(bytes >> 16), static_cast<std::uint8_t>(bytes >> 24)};
}

// The retail boot codes by the CRC-32 of bytes 0x40..0xFFF, with the header
// checksums of makeNintendo64WithBootCode's image (filler seed 1) for each,
// as an implementation written apart from this one computed them.
struct N64BootCodeVariant {
    const char* name;
    std::uint32_t crc32;
    std::uint32_t crc1;
    std::uint32_t crc2;
};
inline constexpr N64BootCodeVariant n64Variants[] = {
    {"6101", 0x6170A4A1, 0xCDC16679, 0x6A87C85F}, {"6102", 0x90BB6CB5, 0xCDC16679, 0x6A87C85F},
    {"7102", 0x009E9EA3, 0xCDC16679, 0x6A87C85F}, {"6103", 0x0B050EE0, 0xBED74E05, 0x5DBF04FB},
    {"6105", 0x98BC2C86, 0xF36DCAD3, 0x434F160E}, {"6106", 0xACC8580A, 0x98D5A336, 0x0F070A39},
};

// A canonical Nintendo 64 image whose boot code area is filler with its last
// four bytes steered to the given CRC-32 (no real boot code), filler data
// after it and zero header checksums, then stored in the requested order.
inline Bytes makeNintendo64WithBootCode(std::uint32_t bootCodeCrc, std::size_t size = 0x101000,
                                        N64Order order = N64Order::Z64,
                                        std::uint32_t fillerSeed = 1) {
    Bytes image = filled(size);
    std::uint32_t state = fillerSeed;
    for (std::size_t i = 0x40; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        image[i] = static_cast<std::uint8_t>(state >> 16);
    }
    put(image, 0, {0x80, 0x37, 0x12, 0x40});
    putText(image, 0x20, "QUILLON SIXTY-FOUR  ");
    if (size >= 0x1000) {
        const auto bootCode = std::span<const std::uint8_t>(image).subspan(0x40, 0xFC0 - 4);
        const std::array<std::uint8_t, 4> steer = crc32Steering(bootCode, bootCodeCrc);
        put(image, 0xFFC, steer);
    }
    return inN64Order(std::move(image), order);
}

// Stores checksums big-endian at 0x10 of a canonical image.
inline void putN64Checksums(Bytes& canonical, std::uint32_t crc1, std::uint32_t crc2) {
    for (std::size_t k = 0; k < 4; ++k) {
        canonical.at(0x10 + k) = static_cast<std::uint8_t>(crc1 >> (24 - 8 * k));
        canonical.at(0x14 + k) = static_cast<std::uint8_t>(crc2 >> (24 - 8 * k));
    }
}

// A Nintendo 64 image of one boot code variant (n64Variants) in one byte
// order, with zero or with its correct header checksums.
inline Bytes makeNintendo64OfVariant(std::size_t variant, N64Order order, bool correctChecksums) {
    const N64BootCodeVariant& v = n64Variants[variant];
    Bytes image = makeNintendo64WithBootCode(v.crc32);
    if (correctChecksums) {
        putN64Checksums(image, v.crc1, v.crc2);
    }
    return inN64Order(std::move(image), order);
}

// NES: the iNES magic and header bytes 4..7, followed by the PRG and CHR data
// they announce (unless told otherwise).
inline Bytes makeNes(std::uint8_t prgUnits = 2, std::uint8_t chrUnits = 1,
                     std::uint8_t flags6 = 0x10, std::uint8_t flags7 = 0x00, bool withData = true) {
    const std::size_t data = withData ? prgUnits * 16384u + chrUnits * 8192u : 0;
    Bytes image = filled(16 + data);
    put(image, 0, {0x4E, 0x45, 0x53, 0x1A, prgUnits, chrUnits, flags6, flags7});
    return image;
}

} // namespace testing_support
