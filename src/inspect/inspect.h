#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "inspect/rom_info.h"

// What an inspection sees of an image: its first bytes and its true size.
// bytes is the whole image, or at least its first inspectionWindow bytes;
// only the Genesis checksum needs more, and its inspector is handed the
// whole image. Inspectors read only inside bytes and take sizes from size.
struct ImageHead {
    std::span<const std::uint8_t> bytes;
    std::uint64_t size;
};

// Every header the detection and the inspectors read lies in the first 64 KiB
// plus a 512-byte copier header (the Super Nintendo HiROM header behind one
// ends exactly there).
constexpr std::size_t inspectionWindow = 0x10000 + 512;

// Recognises the platform of an image from fixed byte signatures and size
// thresholds (first match wins) and lets that platform's inspector fill the
// record. Never fails: an unrecognised image gives the Unknown record.
RomInfo inspectImage(std::span<const std::uint8_t> image);

// Inspects an image from its head; the head must be the whole image when
// needsWholeImage says so for it.
RomInfo inspectImageHead(ImageHead image);
bool needsWholeImage(ImageHead image);

// Inspects a file, reading only the regions the report needs: the first
// inspectionWindow bytes, and the whole file only for a Genesis image. An
// unreadable or empty file gives the Unknown record of size 0.
RomInfo inspectRom(const std::string& path);

// The platform inspectors. Each is handed only an image that passed its row
// of the detection table, and each reads no byte outside the head it is given.
RomInfo inspectGameBoy(ImageHead image);
RomInfo inspectGameBoyAdvance(ImageHead image);
RomInfo inspectSnes(ImageHead image);
RomInfo inspectGenesis(ImageHead image);
RomInfo inspectNintendo64(ImageHead image);
RomInfo inspectNes(ImageHead image);
