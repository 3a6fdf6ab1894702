#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "inspect/image_head.h"
#include "inspect/rom_info.h"
#include "io/input_file.h"

// Recognises the platform of an image from fixed byte signatures and size
// thresholds (first match wins) and lets that platform's inspector fill the
// record. Never fails: an unrecognised image gives the Unknown record.
RomInfo inspectImage(std::span<const std::uint8_t> image);

// What a catalogue lists of an inspected file: an archive (its members are
// listed after it), or data in which the Super Nintendo inspector found no
// credible header, as a file of no known platform, of its size.
RomInfo catalogueInfo(RomInfo info, bool archive);

// Inspects an image from its head, which holds what inspectionReads asks for
// the image whose first inspectionWindow bytes (or all, if fewer) it is given.
RomInfo inspectImageHead(ImageHead image);
InspectionReads inspectionReads(ImageHead window);

// Inspects a file, reading only the regions the report needs: the first
// inspectionWindow bytes, then what inspectionReads asks for beyond them. An
// unreadable or empty file gives the Unknown record of size 0.
RomInfo inspectRom(const std::string& path);
// The same of a file already open.
RomInfo inspectFile(const InputFile& file);
