#pragma once

#include "inspect/image_head.h"
#include "inspect/rom_info.h"

// The platform inspectors. Each is handed only an image that passed its row
// of the detection table, and each reads no byte outside the head it is given.
RomInfo inspectGameBoy(ImageHead image);
RomInfo inspectGameBoyAdvance(ImageHead image);
RomInfo inspectSnes(ImageHead image);
RomInfo inspectGenesis(ImageHead image);
RomInfo inspectNintendo64(ImageHead image);
RomInfo inspectNes(ImageHead image);
