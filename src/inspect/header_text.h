#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Copies a fixed-length header field as text. With sanitise, every byte
// outside printable ASCII (0x20..0x7E) becomes a space. The text ends at the
// first zero byte or at the end of the image; it is never trimmed.
std::string readHeaderText(std::span<const std::uint8_t> image, std::uint64_t offset,
                           std::size_t length, bool sanitise);
