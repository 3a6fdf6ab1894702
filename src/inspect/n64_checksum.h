#pragma once

#include <cstdint>
#include <optional>
#include <span>

// The Nintendo 64 header checksums, shared by the inspector and the repair.
// The boot code (bytes 0x40..0xFFF) checks two words of the header, CRC1 at
// 0x10 and CRC2 at 0x14, against the first megabyte of the program
// (0x1000..0x100FFF) before it starts the game; how it folds that megabyte
// depends on the variant of the boot chip (CIC) the cartridge carries.

enum class N64ByteOrder { Z64, V64, N64 };

// The order named by the image's first four bytes; nullopt for none.
std::optional<N64ByteOrder> n64ByteOrder(std::span<const std::uint8_t> image);

// Where the byte at a canonical (.z64) offset lies in a file of that order:
// .v64 exchanges the bytes of each 16-bit pair, .n64 reverses each 32-bit word.
constexpr std::uint64_t n64FileOffset(std::uint64_t canonical, N64ByteOrder order) {
    switch (order) {
    case N64ByteOrder::V64:
        return canonical ^ 1;
    case N64ByteOrder::N64:
        return canonical ^ 3;
    case N64ByteOrder::Z64:
        break;
    }
    return canonical;
}

constexpr std::uint64_t n64Crc1Offset = 0x10;
constexpr std::uint64_t n64Crc2Offset = 0x14;
constexpr std::uint64_t n64BootCodeStart = 0x40;
constexpr std::uint64_t n64ChecksummedStart = 0x1000;
constexpr std::uint64_t n64ChecksummedEnd = 0x101000;

// The boot chip variants, told apart by the CRC-32 of their boot code.
enum class N64BootCode { Cic6101, Cic6102, Cic7102, Cic6103, Cic6105, Cic6106 };

// The variant whose boot code (bytes 0x40..0xFFF in canonical order) has
// this CRC-32; nullopt for a boot code none of them has.
std::optional<N64BootCode> identifyN64BootCode(std::uint32_t bootCodeCrc32);

struct N64Checksums {
    std::uint32_t crc1;
    std::uint32_t crc2;
    bool operator==(const N64Checksums&) const = default;
};

// The checksums the image's boot code expects, the image being in the given
// file order; nullopt when it is shorter than 0x101000 bytes or its boot code
// is unknown, so that nothing can be checked.
std::optional<N64Checksums> computeN64Checksums(std::span<const std::uint8_t> image,
                                                N64ByteOrder order);

// The checksums the header holds; the image holds 0x18 bytes.
N64Checksums storedN64Checksums(std::span<const std::uint8_t> image, N64ByteOrder order);
