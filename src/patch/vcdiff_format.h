#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "patch/vcdiff.h"

// The VCDIFF format (RFC 3284) as xdelta3 writes it, apart from any decoder
// or encoder: the magic and indicator bits, the instruction code tables, the
// variable-length integer, the address caches and xdelta3's Adler-32 (the
// magic is in patch/vcdiff.h).
namespace vcdiff {

// The version byte of open-vcdiff's own variant (its SDCH format); RFC 3284's is 0.
constexpr std::uint8_t openVcdiffVersion = 'S';

// Header indicator bits; VCD_APPHEADER is xdelta3's.
constexpr std::uint8_t hasSecondary = 0x01;
constexpr std::uint8_t hasCodeTable = 0x02;
constexpr std::uint8_t hasAppHeader = 0x04;

// Window indicator bits; VCD_ADLER32 is xdelta3's, and open-vcdiff's
// VCD_CHECKSUM in its variant.
constexpr std::uint8_t sourceSegment = 0x01;
constexpr std::uint8_t targetSegment = 0x02;
constexpr std::uint8_t hasAdler32 = 0x04;

// Delta indicator bits: which sections went through the secondary compressor.
constexpr std::uint8_t dataCompressed = 0x01;
constexpr std::uint8_t instCompressed = 0x02;
constexpr std::uint8_t addrCompressed = 0x04;

// Secondary compressor ids as xdelta3 writes them.
constexpr std::uint8_t djwId = 1;
constexpr std::uint8_t lzmaId = 2;
constexpr std::uint8_t fgkId = 16;

enum InstructionType : std::uint8_t { Noop = 0, Add = 1, Run = 2, Copy = 3 };

struct Instruction {
    std::uint8_t type = Noop;
    std::uint8_t size = 0; // 0: the size follows in the instruction section
    std::uint8_t mode = 0;
};

struct CodeEntry {
    Instruction first;
    Instruction second;
};

struct CodeTable {
    std::array<CodeEntry, 256> entries{};
    std::uint8_t nearSize = 4;
    std::uint8_t sameSize = 3;
};

// The default code table of the format: RUN; ADD of 0 to 17 bytes; COPY of 0
// and 4 to 18 bytes in each of the 9 modes; ADD+COPY pairs; COPY+ADD pairs.
const CodeTable& defaultCodeTable();

// A code table as a 1536-byte string: every entry's first type, second type,
// first size, second size, first mode, second mode, 256 of each in turn. A
// custom table travels as a VCDIFF delta against the default table's string.
constexpr std::size_t codeTableStringSize = 6 * 256;

std::array<std::uint8_t, codeTableStringSize> codeTableString(const CodeTable& table);

// Reads one part of the patch; every read checks what is left.
class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t position() const { return position_; }
    std::size_t remaining() const { return bytes_.size() - position_; }
    bool atEnd() const { return position_ >= bytes_.size(); }

    bool byte(std::uint8_t& value) {
        if (atEnd()) {
            return false;
        }
        value = bytes_[position_++];
        return true;
    }

    // The format's integer: 7 bits a byte, most significant first, bit 7 set
    // on every byte but the last. Values beyond 64 bits are refused.
    bool integer(std::uint64_t& value) {
        std::uint64_t result = 0;
        for (;;) {
            std::uint8_t b = 0;
            if (!byte(b)) {
                return false;
            }
            if (result > (std::numeric_limits<std::uint64_t>::max() >> 7)) {
                return false;
            }
            result = (result << 7) | (b & 0x7Fu);
            if ((b & 0x80u) == 0) {
                value = result;
                return true;
            }
        }
    }

    bool take(std::uint64_t count, std::span<const std::uint8_t>& part) {
        if (count > remaining()) {
            return false;
        }
        part = bytes_.subspan(position_, static_cast<std::size_t>(count));
        position_ += static_cast<std::size_t>(count);
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// The length of the format's integer.
constexpr std::size_t integerLength(std::uint64_t value) {
    std::size_t length = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++length;
    }
    return length;
}

// Appends the format's integer.
inline void appendInteger(Bytes& out, std::uint64_t value) {
    std::array<std::uint8_t, 10> bytes{};
    std::size_t n = 0;
    do {
        bytes[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) {
        out.push_back(static_cast<std::uint8_t>(bytes[--n] | 0x80));
    }
    out.push_back(bytes[0]);
}

// The address caches: the last few addresses (near) and addresses hashed by
// their value (same), both emptied at the start of every window.
class AddressCache {
  public:
    AddressCache(std::uint8_t nearSize, std::uint8_t sameSize)
        : near_(nearSize, 0), same_(std::size_t{sameSize} * 256, 0) {}

    void reset() {
        std::fill(near_.begin(), near_.end(), 0);
        std::fill(same_.begin(), same_.end(), 0);
        nextNear_ = 0;
    }

    // Decodes the address of a COPY in the given mode at position here of
    // the window's string (segment then target); it must lie before here.
    bool decode(std::uint8_t mode, std::uint64_t here, Reader& in, std::uint64_t& address) {
        const std::size_t sameStart = 2 + near_.size();
        if (mode < sameStart) {
            std::uint64_t value = 0;
            if (!in.integer(value)) {
                return false;
            }
            if (mode == 0) {
                address = value;
            } else if (mode == 1) {
                if (value > here) {
                    return false;
                }
                address = here - value;
            } else {
                const std::uint64_t base = near_[mode - 2];
                if (value > std::numeric_limits<std::uint64_t>::max() - base) {
                    return false;
                }
                address = base + value;
            }
        } else {
            const std::size_t set = mode - sameStart;
            std::uint8_t low = 0;
            if (set * 256 >= same_.size() || !in.byte(low)) {
                return false;
            }
            address = same_[set * 256 + low];
        }
        update(address);
        return address < here;
    }

    // The cheapest way to write an address at position here: in the same
    // cache (one byte), or as the smallest integer of the self, here and
    // near modes. update(address) must follow, as in the decoder.
    struct Choice {
        std::uint8_t mode = 0;
        std::uint64_t value = 0; // the integer, or the byte of a same-cache hit
    };
    Choice choose(std::uint64_t address, std::uint64_t here) const {
        const std::size_t sameStart = 2 + near_.size();
        if (!same_.empty()) {
            const auto slot = static_cast<std::size_t>(address % same_.size());
            if (same_[slot] == address) {
                return {static_cast<std::uint8_t>(sameStart + slot / 256), slot % 256};
            }
        }
        Choice best{0, address};
        const auto consider = [&](std::size_t mode, std::uint64_t value) {
            if (integerLength(value) < integerLength(best.value)) {
                best = {static_cast<std::uint8_t>(mode), value};
            }
        };
        consider(1, here - address);
        for (std::size_t i = 0; i < near_.size(); ++i) {
            if (address >= near_[i]) {
                consider(2 + i, address - near_[i]);
            }
        }
        return best;
    }

    // Takes an address into both caches, as every COPY does after its
    // address is known (decoded here, or chosen by an encoder).
    void update(std::uint64_t address) {
        if (!near_.empty()) {
            near_[nextNear_] = address;
            nextNear_ = (nextNear_ + 1) % near_.size();
        }
        if (!same_.empty()) {
            same_[static_cast<std::size_t>(address % same_.size())] = address;
        }
    }

  private:
    std::vector<std::uint64_t> near_;
    std::vector<std::uint64_t> same_;
    std::size_t nextNear_ = 0;
};

// Adler-32 of the window's target as xdelta3 computes it (initial value 1),
// summed in runs short enough that the sums cannot overflow before reduction.
// open-vcdiff starts its sums from 0 (zlib's adler32 called with 0).
std::uint32_t adler32(std::span<const std::uint8_t> bytes, std::uint32_t initial = 1);

} // namespace vcdiff
