#pragma once

// Small encoders for test patches, in the formats' own terms, so that a test
// reads as the patch it makes. They encode what they are told, malformed
// sizes included; raw() appends arbitrary bytes for cut-off patches.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "patch/bps_number.h"
#include "patch/ips.h"

namespace testing_support {

using ByteList = std::vector<std::uint8_t>;

// IPS: "PATCH", then records with big-endian 3-byte offsets and 2-byte
// lengths, usually closed by "EOF".
class IpsPatch {
  public:
    IpsPatch() : bytes_{'P', 'A', 'T', 'C', 'H'} {}

    IpsPatch& record(std::uint32_t offset, std::span<const std::uint8_t> data) {
        ips::appendRecordHeader(bytes_, offset, static_cast<std::uint16_t>(data.size()));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    IpsPatch& record(std::uint32_t offset, std::initializer_list<std::uint8_t> data) {
        return record(offset, std::span<const std::uint8_t>(data.begin(), data.size()));
    }
    // Run-length record: length field 0, then the run length and the fill value.
    IpsPatch& run(std::uint32_t offset, std::uint16_t length, std::uint8_t value) {
        ips::appendRun(bytes_, offset, length, value);
        return *this;
    }
    IpsPatch& eof() { return raw({'E', 'O', 'F'}); }
    IpsPatch& raw(std::initializer_list<std::uint8_t> data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    const ByteList& bytes() const { return bytes_; }

  private:
    ByteList bytes_;
};

// The encoder the creator writes with (patch/bps_number.h).
using bps::appendNumber;

inline ByteList bpsNumber(std::uint64_t value) {
    ByteList out;
    bps::appendNumber(out, value);
    return out;
}

// "BPS1", the source and target sizes, metadata, the commands, then a 12-byte
// footer. The footer stands where the three CRC-32 values go; its bytes are
// distinct and all have bit 7 set, so a patcher that reads them as commands
// or as data shows it.
class BpsPatch {
  public:
    static constexpr std::uint8_t footerFirstByte = 0xC0;

    BpsPatch(std::uint64_t sourceSize, std::uint64_t targetSize, std::string_view metadata = {})
        : bytes_{'B', 'P', 'S', '1'} {
        bps::appendNumber(bytes_, sourceSize);
        bps::appendNumber(bytes_, targetSize);
        bps::appendNumber(bytes_, metadata.size());
        bytes_.insert(bytes_.end(), metadata.begin(), metadata.end());
    }

    BpsPatch& sourceRead(std::uint64_t length) { return command(0, length); }
    BpsPatch& targetRead(std::span<const std::uint8_t> data) {
        command(1, data.size());
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    BpsPatch& targetRead(std::initializer_list<std::uint8_t> data) {
        return targetRead(std::span<const std::uint8_t>(data.begin(), data.size()));
    }
    // Only the command word of a TargetRead, for literal bytes cut short.
    BpsPatch& targetReadCommand(std::uint64_t length) { return command(1, length); }
    // Relative delta: added to (positive) or taken from (negative) the source
    // or target relative offset before the copy.
    BpsPatch& sourceCopy(std::uint64_t length, std::int64_t delta) {
        command(2, length);
        return signedNumber(delta);
    }
    BpsPatch& targetCopy(std::uint64_t length, std::int64_t delta) {
        command(3, length);
        return signedNumber(delta);
    }
    BpsPatch& raw(std::initializer_list<std::uint8_t> data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }

    ByteList bytes() const {
        ByteList out = bytes_;
        for (std::uint8_t i = 0; i < 12; ++i) {
            out.push_back(static_cast<std::uint8_t>(footerFirstByte + i));
        }
        return out;
    }

  private:
    BpsPatch& command(std::uint64_t action, std::uint64_t length) {
        bps::appendNumber(bytes_, bps::commandWord(action, length));
        return *this;
    }
    BpsPatch& signedNumber(std::int64_t delta) {
        bps::appendNumber(bytes_, bps::signedWord(delta));
        return *this;
    }
    ByteList bytes_;
};

} // namespace testing_support
