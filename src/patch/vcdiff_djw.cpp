// xdelta3's DJW secondary compressor: bzip2-style multi-table Huffman coding.
// A section holds, bit by bit (each byte's bits from the lowest, each field's
// bits from its highest):
//   3 bits     number of tables - 1 (1 to 8)
//   5 bits     with more than one table: sector size / 5 - 1
//   4 bits     how many code-length code lengths beyond the first 7
//   4 bits     each of those lengths (the rest are 0)
//   ...        every table's 256 code lengths, move-to-front and run-length
//              coded with the code-length code; a length that is 0 in the
//              previous table is 0 again and not coded
//   3 bits     with more than one table: each of tables + 1 selector code lengths
//   ...        one table selector per sector, coded the same way
//   ...        each sector's bytes in its table's code
// Codes are canonical: shorter codes first, equal lengths by symbol order.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "patch/vcdiff_secondary.h"

namespace {

constexpr unsigned maximumCodeLength = 20;
constexpr unsigned codeLengthSymbols = maximumCodeLength + 2; // two run codes, then lengths
constexpr unsigned runZero = 0;
constexpr unsigned runOne = 1;
constexpr unsigned alwaysCodedLengths = 7;
constexpr unsigned maximumCodeLengthLength = 15;
constexpr unsigned maximumSelectorLength = 7;
constexpr unsigned sectorSizeUnit = 5;
constexpr std::size_t alphabetSize = 256;

// The starting move-to-front order of code lengths: the likeliest first.
constexpr std::array<std::uint8_t, codeLengthSymbols - 1> codeLengthOrder{
    0, 4, 5, 6, 7, 8, 9, 10, 3, 11, 2, 12, 13, 1, 14, 15, 16, 17, 18, 19, 20};

class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> in) : in_(in) {}

    bool bit(unsigned& value) {
        if (mask_ == 0x100) {
            if (position_ == in_.size()) {
                return false;
            }
            byte_ = in_[position_++];
            mask_ = 1;
        }
        value = (byte_ & mask_) != 0 ? 1u : 0u;
        mask_ <<= 1;
        return true;
    }

    bool bits(unsigned count, unsigned& value) {
        value = 0;
        for (unsigned i = 0; i < count; ++i) {
            unsigned b = 0;
            if (!bit(b)) {
                return false;
            }
            value = (value << 1) | b;
        }
        return true;
    }

    bool usedUp() const { return position_ == in_.size(); }

  private:
    std::span<const std::uint8_t> in_;
    std::size_t position_ = 0;
    unsigned byte_ = 0;
    unsigned mask_ = 0x100;
};

// A canonical prefix code ready for decoding: for each length, the first code
// of that length and the index of its first symbol in code order.
struct PrefixCode {
    std::array<std::uint16_t, alphabetSize> symbols{}; // in code order
    std::array<std::uint64_t, maximumCodeLength + 1> firstCode{};
    std::array<std::uint64_t, maximumCodeLength + 1> firstIndex{};
    std::array<std::uint64_t, maximumCodeLength + 1> lastCode{};
    std::size_t count = 0;
    unsigned shortest = 0;
    unsigned longest = 0; // 0: no symbol has a code
};

// Lengths must be at most maximumCodeLength and lengths.size() at most
// alphabetSize (the callers guarantee both).
PrefixCode buildCode(std::span<const std::uint8_t> lengths) {
    PrefixCode code;
    std::array<std::uint64_t, maximumCodeLength + 1> perLength{};
    for (const std::uint8_t l : lengths) {
        ++perLength[l];
    }
    unsigned shortest = 1;
    while (shortest <= maximumCodeLength && perLength[shortest] == 0) {
        ++shortest;
    }
    unsigned longest = maximumCodeLength;
    while (longest > 0 && perLength[longest] == 0) {
        --longest;
    }
    if (longest == 0) {
        return code;
    }
    code.shortest = shortest;
    code.longest = longest;
    code.firstCode[shortest] = 0;
    code.firstIndex[shortest] = 0;
    code.lastCode[shortest] = perLength[shortest] - 1;
    for (unsigned l = shortest + 1; l <= longest; ++l) {
        code.firstCode[l] = (code.lastCode[l - 1] + 1) << 1;
        code.firstIndex[l] = code.firstIndex[l - 1] + perLength[l - 1];
        code.lastCode[l] = code.firstCode[l] + perLength[l] - 1;
    }
    std::array<std::uint64_t, maximumCodeLength + 1> next = code.firstIndex;
    for (std::size_t s = 0; s < lengths.size(); ++s) {
        if (lengths[s] != 0) {
            code.symbols[static_cast<std::size_t>(next[lengths[s]]++)] =
                static_cast<std::uint16_t>(s);
            ++code.count;
        }
    }
    return code;
}

// A length whose count is zero makes lastCode one below firstCode, so no
// code ends there.
bool decodeSymbol(BitReader& in, const PrefixCode& code, unsigned& symbol) {
    std::uint64_t value = 0;
    for (unsigned length = 1; length <= code.longest; ++length) {
        unsigned b = 0;
        if (!in.bit(b)) {
            return false;
        }
        value = (value << 1) | b;
        if (length >= code.shortest && value <= code.lastCode[length]) {
            if (value < code.firstCode[length]) {
                return false;
            }
            const std::uint64_t index = code.firstIndex[length] + (value - code.firstCode[length]);
            if (index >= code.count) {
                return false;
            }
            symbol = code.symbols[static_cast<std::size_t>(index)];
            return true;
        }
    }
    return false;
}

std::uint8_t moveToFront(std::span<std::uint8_t> order, std::size_t index) {
    const std::uint8_t value = order[index];
    std::copy_backward(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(index),
                       order.begin() + static_cast<std::ptrdiff_t>(index) + 1);
    order[0] = value;
    return value;
}

// Values coded as move-to-front positions, with runs of the front value as
// bijective base-2 numbers of the two run codes (RUN_0 = 1, RUN_1 = 2 times
// the place value). With a skip distance, a value whose counterpart that far
// back is 0 is 0 as well and takes no code.
bool decodeMoveToFront(BitReader& in, const PrefixCode& code, std::span<std::uint8_t> order,
                       std::span<std::uint8_t> values, std::size_t skip) {
    std::size_t n = 0;
    std::uint64_t repeat = 0;
    std::size_t pending = 0;
    unsigned place = 0;
    while (n < values.size()) {
        if (skip != 0 && n >= skip && values[n - skip] == 0) {
            values[n++] = 0;
            continue;
        }
        if (repeat != 0) {
            values[n++] = order[0];
            --repeat;
            continue;
        }
        if (pending != 0) {
            values[n++] = moveToFront(order, pending);
            pending = 0;
            continue;
        }
        unsigned symbol = 0;
        if (!decodeSymbol(in, code, symbol)) {
            return false;
        }
        if (symbol == runZero || symbol == runOne) {
            if (place >= 40) {
                return false;
            }
            repeat = std::uint64_t{symbol + 1} << place;
            ++place;
        } else {
            pending = symbol - 1;
            if (pending >= order.size()) {
                return false;
            }
            place = 0;
        }
    }
    return repeat == 0;
}

} // namespace

bool decodeDjwSection(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    if (out.empty()) {
        return false;
    }
    BitReader bits(in);
    unsigned groups = 0;
    if (!bits.bits(3, groups)) {
        return false;
    }
    groups += 1;
    std::size_t sectorSize = out.size();
    if (groups > 1) {
        unsigned units = 0;
        if (!bits.bits(5, units)) {
            return false;
        }
        sectorSize = (std::size_t{units} + 1) * sectorSizeUnit;
    }
    const std::size_t sectors = 1 + (out.size() - 1) / sectorSize;

    // The code of the code lengths.
    unsigned extra = 0;
    if (!bits.bits(4, extra)) {
        return false;
    }
    std::array<std::uint8_t, codeLengthSymbols> lengthLengths{};
    for (unsigned i = 0; i < extra + alwaysCodedLengths; ++i) {
        unsigned value = 0;
        if (!bits.bits(4, value)) {
            return false;
        }
        static_assert(maximumCodeLengthLength == 15, "4 bits code every length");
        lengthLengths[i] = static_cast<std::uint8_t>(value);
    }
    const PrefixCode lengthCode = buildCode(lengthLengths);

    // Each table's code lengths.
    std::array<std::uint8_t, codeLengthSymbols - 1> lengthOrder = codeLengthOrder;
    std::vector<std::uint8_t> lengths(alphabetSize * groups);
    if (!decodeMoveToFront(bits, lengthCode, lengthOrder, lengths, alphabetSize)) {
        return false;
    }
    std::vector<PrefixCode> tables;
    tables.reserve(groups);
    for (unsigned g = 0; g < groups; ++g) {
        tables.push_back(buildCode(std::span(lengths).subspan(g * alphabetSize, alphabetSize)));
    }

    // Which table each sector uses.
    std::vector<std::uint8_t> selectors(sectors, 0);
    if (groups > 1) {
        std::array<std::uint8_t, 9> selectorLengths{};
        std::array<std::uint8_t, 9> selectorOrder{};
        for (unsigned g = 0; g <= groups; ++g) {
            unsigned value = 0;
            if (!bits.bits(3, value)) {
                return false;
            }
            static_assert(maximumSelectorLength == 7, "3 bits code every length");
            selectorLengths[g] = static_cast<std::uint8_t>(value);
            selectorOrder[g] = static_cast<std::uint8_t>(g);
        }
        const PrefixCode selectorCode = buildCode(std::span(selectorLengths).first(groups + 1));
        if (!decodeMoveToFront(bits, selectorCode, std::span(selectorOrder).first(groups + 1),
                               selectors, 0)) {
            return false;
        }
    }

    std::size_t position = 0;
    for (std::size_t sector = 0; sector < sectors; ++sector) {
        if (selectors[sector] >= groups) {
            return false;
        }
        const PrefixCode& table = tables[selectors[sector]];
        const std::size_t end = std::min(out.size(), position + sectorSize);
        for (; position < end; ++position) {
            unsigned symbol = 0;
            if (!decodeSymbol(bits, table, symbol)) {
                return false;
            }
            out[position] = static_cast<std::uint8_t>(symbol);
        }
    }
    return bits.usedUp();
}
