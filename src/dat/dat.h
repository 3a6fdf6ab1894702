#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "dat/dat_builder.h"

// Checksum databases ("DAT files") in the two formats the ROM managers read:
// Logiqx XML (dat/logiqx.h) and the clrmamepro text format (dat/clrmamepro.h).

// A DAT in either format, told apart by content: the first byte that is not
// blank (after a UTF-8 byte order mark) being '<' makes it XML. No DAT for
// anything malformed, or beyond the bounds a real database stays within.
DatParse parseDat(std::span<const std::uint8_t> bytes);

// The DAT file at path; no DAT when it cannot be read (failedLine 0: missing,
// empty, larger than any database) or parsed.
DatParse readDat(const std::string& path);
