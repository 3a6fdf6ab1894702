#pragma once

#include <string>

#include "base/bytes.h"

// Each conversion is a pure function over the image, changing it in place and
// returning false to reject it (nothing is then written), plus the command's
// file wrapper: read the input, convert, write the output.

// Recomputes and stores the header check values of Game Boy, Game Boy
// Advance, Super Nintendo (with a credible header), Genesis and Nintendo 64
// (of a known boot code, holding the checksummed megabyte) images; other
// images are rejected.
bool fixChecksumImage(Bytes& image);
bool fixChecksum(const std::string& inputPath, const std::string& outputPath);

// Cuts the 512-byte copier header off an image that is a whole number of
// kilobytes plus 512 bytes long; other images are rejected.
bool stripCopierHeaderImage(Bytes& image);
bool stripCopierHeader(const std::string& inputPath, const std::string& outputPath);

// Puts a .v64 or .n64 Nintendo 64 image into the big-endian .z64 order.
bool convertN64ImageToBigEndian(Bytes& image);
bool convertN64ToBigEndian(const std::string& inputPath, const std::string& outputPath);

// Exchanges the two bytes of every 16-bit word (a final odd byte stays).
bool swapSaveRam16Image(Bytes& image);
bool swapSaveRam16(const std::string& inputPath, const std::string& outputPath);

// Cuts trailing 0x00 or 0xFF fill back to the smallest power of two that holds
// the last other byte, never below 4096 bytes.
bool trimOverdumpImage(Bytes& image);
bool trimOverdump(const std::string& inputPath, const std::string& outputPath);
