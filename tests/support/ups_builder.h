#pragma once

// UPS test patches written hunk by hunk, in the format's own terms: "UPS1",
// the two sizes, hunks (a skip, XOR bytes, 0x00), then the CRC footer.

#include <cstdint>
#include <initializer_list>
#include <span>

#include "hash/digests.h"
#include "patch/bps_number.h"
#include "patch/crc_footer.h"
#include "patch_builders.h"

namespace testing_support {

class UpsPatch {
  public:
    UpsPatch(std::uint64_t sourceSize, std::uint64_t targetSize) : bytes_{'U', 'P', 'S', '1'} {
        bps::appendNumber(bytes_, sourceSize);
        bps::appendNumber(bytes_, targetSize);
    }

    // Skip bytes from the current position, XOR the bytes on, then the
    // terminator (which the builder adds).
    UpsPatch& hunk(std::uint64_t skip, std::initializer_list<std::uint8_t> xorBytes) {
        bps::appendNumber(bytes_, skip);
        bytes_.insert(bytes_.end(), xorBytes.begin(), xorBytes.end());
        bytes_.push_back(0);
        return *this;
    }
    UpsPatch& raw(std::initializer_list<std::uint8_t> data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }

    // The hunks without a footer.
    const ByteList& body() const { return bytes_; }

    // With the footer for these CRCs, the patch's own true unless spoilt.
    ByteList bytes(std::uint32_t sourceCrc, std::uint32_t targetCrc,
                   bool spoilPatchCrc = false) const {
        ByteList out = bytes_;
        appendCrcFooter(out, sourceCrc, targetCrc);
        if (spoilPatchCrc) {
            out.back() ^= 1;
        }
        return out;
    }
    ByteList bytes(std::span<const std::uint8_t> source, std::span<const std::uint8_t> target,
                   bool spoilPatchCrc = false) const {
        return bytes(crc32(source), crc32(target), spoilPatchCrc);
    }

  private:
    ByteList bytes_;
};

} // namespace testing_support
