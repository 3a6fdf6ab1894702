#pragma once

// Builds VCDIFF deltas section by section, for what xdelta3 cannot make
// (custom code tables, target segments, chosen address modes) and for
// malformed patches. It encodes what it is told, inconsistencies included.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace testing_support {

using VcdiffBytes = std::vector<std::uint8_t>;

// The format's integer: 7 bits a byte, most significant first.
inline void appendVcdiffInteger(VcdiffBytes& out, std::uint64_t value) {
    std::uint8_t groups[10];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7Fu);
        value >>= 7;
    } while (value != 0);
    while (n > 1) {
        out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80u));
    }
    out.push_back(groups[0]);
}

// Adler-32, byte by byte, as a model of the decoder's.
inline std::uint32_t modelAdler32(std::span<const std::uint8_t> bytes) {
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const std::uint8_t x : bytes) {
        a = (a + x) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// Opcodes of the default code table.
namespace vcdiff_op {
constexpr std::uint8_t run = 0;          // RUN, size follows
inline std::uint8_t add(unsigned size) { // ADD of 1..17 bytes; 0: size follows
    return static_cast<std::uint8_t>(1 + size);
}
inline std::uint8_t copy(unsigned mode, unsigned size) { // size 0 (follows) or 4..18
    return static_cast<std::uint8_t>(19 + 16 * mode + (size == 0 ? 0 : size - 3));
}
} // namespace vcdiff_op

struct VcdiffWindow {
    std::uint8_t indicator = 0; // 1 source segment, 2 target segment, 4 Adler-32
    std::uint64_t segmentLength = 0;
    std::uint64_t segmentOffset = 0;
    std::uint64_t targetLength = 0;
    std::uint8_t deltaIndicator = 0;
    VcdiffBytes data;
    VcdiffBytes inst;
    VcdiffBytes addr;
    std::uint32_t adler32 = 0;
    // Added to the true length of the delta encoding, to make it lie.
    std::int64_t encodingLengthError = 0;
};

class VcdiffPatch {
  public:
    explicit VcdiffPatch(std::uint8_t headerIndicator = 0, std::uint8_t version = 0)
        : bytes_{0xD6, 0xC3, 0xC4, version, headerIndicator} {}

    VcdiffPatch& byte(std::uint8_t value) {
        bytes_.push_back(value);
        return *this;
    }
    VcdiffPatch& integer(std::uint64_t value) {
        appendVcdiffInteger(bytes_, value);
        return *this;
    }
    VcdiffPatch& raw(std::span<const std::uint8_t> data) {
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        return *this;
    }
    // A custom code table: its length, the cache sizes, then the delta that
    // makes the table's string from the default one.
    VcdiffPatch& codeTable(std::uint8_t nearSize, std::uint8_t sameSize,
                           std::span<const std::uint8_t> delta) {
        integer(delta.size() + 2).byte(nearSize).byte(sameSize);
        return raw(delta);
    }

    VcdiffPatch& window(const VcdiffWindow& w) {
        bytes_.push_back(w.indicator);
        if ((w.indicator & 3) != 0) {
            integer(w.segmentLength).integer(w.segmentOffset);
        }
        VcdiffBytes body;
        appendVcdiffInteger(body, w.targetLength);
        body.push_back(w.deltaIndicator);
        appendVcdiffInteger(body, w.data.size());
        appendVcdiffInteger(body, w.inst.size());
        appendVcdiffInteger(body, w.addr.size());
        if ((w.indicator & 4) != 0) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                body.push_back(static_cast<std::uint8_t>(w.adler32 >> shift));
            }
        }
        body.insert(body.end(), w.data.begin(), w.data.end());
        body.insert(body.end(), w.inst.begin(), w.inst.end());
        body.insert(body.end(), w.addr.begin(), w.addr.end());
        integer(static_cast<std::uint64_t>(static_cast<std::int64_t>(body.size()) +
                                           w.encodingLengthError));
        return raw(body);
    }

    const VcdiffBytes& bytes() const { return bytes_; }

  private:
    VcdiffBytes bytes_;
};

} // namespace testing_support
