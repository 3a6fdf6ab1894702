#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "catalog/catalog.h"

// The JSON string literal for a byte string, quotes included: '"', '\' and
// bytes below 0x20 escaped, valid UTF-8 kept as it is, and every byte that is
// not part of valid UTF-8 written as the escape of its value, so that any
// header text gives valid JSON on a single line.
std::string jsonString(std::string_view bytes);

// One catalogue line (without its newline): the JSON object of the record.
std::string catalogLine(const CatalogRecord& record);

// A CRC-32 as eight lower-case hexadecimal digits.
std::string crcText(std::uint32_t value);

// The name of a platform enumerator, as the catalogue writes it.
std::string_view platformKey(RomPlatform platform);
