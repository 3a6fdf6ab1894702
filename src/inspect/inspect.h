#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "inspect/rom_info.h"

// Recognises the platform of an image from fixed byte signatures and size
// thresholds (first match wins) and lets that platform's inspector fill the
// record. Never fails: an unrecognised image gives the Unknown record.
RomInfo inspectImage(std::span<const std::uint8_t> image);

// Reads the file and inspects its bytes; an unreadable or empty file gives the
// Unknown record of size 0.
RomInfo inspectRom(const std::string& path);

// The platform inspectors. Each is handed only an image that passed its row
// of the detection table, and each reads no byte outside the span it is given.
RomInfo inspectGameBoy(std::span<const std::uint8_t> image);
RomInfo inspectGameBoyAdvance(std::span<const std::uint8_t> image);
RomInfo inspectSnes(std::span<const std::uint8_t> image);
RomInfo inspectGenesis(std::span<const std::uint8_t> image);
RomInfo inspectNintendo64(std::span<const std::uint8_t> image);
RomInfo inspectNes(std::span<const std::uint8_t> image);
