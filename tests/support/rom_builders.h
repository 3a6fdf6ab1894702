#pragma once

// Small builders for test images: each makes a valid header of its platform,
// which a test then mutates. No cartridge data, only the header fields.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "io/rom_file.h"

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

inline RomImage imageOf(std::initializer_list<std::uint8_t> bytes) { return RomImage(bytes); }
inline RomImage filled(std::size_t size, std::uint8_t value = 0) { return RomImage(size, value); }
inline Bytes toBytes(std::span<const std::uint8_t> image) { return Bytes(image.begin(), image.end()); }

// The cartridge behind a 512-byte copier header of fill bytes.
inline RomImage withCopierHeader(std::span<const std::uint8_t> cartridge, std::uint8_t fill) {
    RomImage image = filled(512, fill);
    image.insert(image.end(), cartridge.begin(), cartridge.end());
    return image;
}

inline void put(RomImage& image, std::size_t offset, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        image.at(offset + i) = bytes[i];
    }
}
inline void put(RomImage& image, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    put(image, offset, std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
}
inline void putText(RomImage& image, std::size_t offset, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        image.at(offset + i) = static_cast<std::uint8_t>(text[i]);
    }
}

// Game Boy: logo start at 0x104, title at 0x134, cartridge type at 0x147 and a
// correct header checksum at 0x14D.
inline RomImage makeGameBoy(std::size_t size = 0x8000, std::string_view title = "QUILLON",
                            std::uint8_t cartridgeType = 0x00) {
    RomImage image = filled(size);
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

// The same image with its Game Boy global checksum stored: the sum of every
// byte but its own two, big-endian at 0x14E.
inline RomImage withGameBoyGlobalChecksum(RomImage image) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < image.size(); ++i) {
        sum += (i == 0x14E || i == 0x14F) ? 0 : image[i];
    }
    image.at(0x14E) = static_cast<std::uint8_t>(sum >> 8);
    image.at(0x14F) = static_cast<std::uint8_t>(sum);
    return image;
}

// Game Boy Advance: logo start at 0x04, title at 0xA0, game code at 0xAC and
// a correct complement at 0xBD.
inline RomImage makeGameBoyAdvance(std::size_t size = 0x400, std::string_view title = "QUILLON",
                                   std::string_view gameCode = "AQLE") {
    RomImage image = filled(size);
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

inline void putLittleEndian16(RomImage& image, std::size_t offset, std::uint16_t value) {
    image.at(offset) = static_cast<std::uint8_t>(value & 0xFF);
    image.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

// The Super Nintendo checksum by its definition, one read at a time: the
// cartridge data after base, its pair at fields read as FF FF 00 00, and a
// size that is no power of two read as its largest power of two P plus the
// part beyond P repeated over a second block of P bytes.
inline std::uint16_t snesChecksumOf(const RomImage& image, std::size_t base, std::size_t fields) {
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
inline RomImage makeSnes(std::size_t size = 0x20000, bool hiRom = false, bool copierHeader = false,
                         std::string_view title = "QUILLON SNES") {
    const std::size_t base = copierHeader ? 512 : 0;
    RomImage image = filled(size + base);
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

// Genesis: "SEGA" at 0x100, a domestic title at 0x120 and the correct checksum
// of the words from 0x200 on at 0x18E.
inline RomImage makeGenesis(std::size_t size = 0x1000, std::string_view title = "QUILLON GENESIS") {
    RomImage image = filled(size);
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

// Nintendo 64: a canonical (.z64) image with a title at 0x20 and counting
// bytes after the header, then stored in the requested byte order.
inline RomImage makeNintendo64(std::size_t size = 0x1000, N64Order order = N64Order::Z64,
                               std::string_view title = "QUILLON SIXTY-FOUR") {
    RomImage image = filled(size);
    put(image, 0, {0x80, 0x37, 0x12, 0x40});
    putText(image, 0x20, title);
    for (std::size_t i = 0x40; i < size; ++i) {
        image.at(i) = static_cast<std::uint8_t>(i);
    }
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

// NES: the iNES magic and header bytes 4..7, followed by the PRG and CHR data
// they announce (unless told otherwise).
inline RomImage makeNes(std::uint8_t prgUnits = 2, std::uint8_t chrUnits = 1,
                        std::uint8_t flags6 = 0x10, std::uint8_t flags7 = 0x00,
                        bool withData = true) {
    const std::size_t data = withData ? prgUnits * 16384u + chrUnits * 8192u : 0;
    RomImage image = filled(16 + data);
    put(image, 0, {0x4E, 0x45, 0x53, 0x1A, prgUnits, chrUnits, flags6, flags7});
    return image;
}

} // namespace testing_support
