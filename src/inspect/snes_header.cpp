#include "inspect/snes_header.h"

#include <algorithm>
#include <array>
#include <bit>

#include "base/byte_order.h"
#include "inspect/check_values.h"

bool hasCopierHeaderSize(std::uint64_t size) {
    return size % 1024 == copierHeaderSize;
}

namespace {

struct SnesCandidate {
    SnesMapping mapping;
    std::uint64_t headerOffset;
    std::array<std::uint8_t, 3> mapModes; // with the fast-ROM bit cleared; 0 ends the list
    // Where the reset vector's bank-0 address lands in the cartridge data
    // under this mapping: data offset = vector - resetBank0 + resetData.
    std::uint64_t resetData;
};

// In the order a tie is decided: LoROM, HiROM, ExHiROM.
constexpr std::array<SnesCandidate, 3> snesCandidates{{
    {SnesMapping::LoRom, snesLoRomHeader, {0x20, 0x22, 0x23}, 0},
    {SnesMapping::HiRom, snesHiRomHeader, {0x21, 0x2A, 0}, 0x8000},
    {SnesMapping::ExHiRom, snesExHiRomHeader, {0x25, 0, 0}, 0x408000},
}};
constexpr std::uint64_t resetBank0 = 0x8000; // below it the vector points at RAM or I/O

constexpr std::uint8_t fastRomBit = 0x10;
constexpr std::size_t titleLength = 21;
constexpr int credibleScore = 3;

// ASCII, or the half-width katakana of Japanese titles.
bool titleByte(std::uint8_t byte) {
    return (byte >= 0x20 && byte <= 0x7E) || (byte >= 0xA1 && byte <= 0xDF);
}

// How much the first instruction at the reset vector says the mapping is
// right, as emulators weigh it: a program starts by masking interrupts,
// clearing carry or jumping, seldom by returning, comparing or halting.
int firstInstructionScore(std::uint8_t opcode) {
    switch (opcode) {
    case 0x78: // sei
    case 0x18: // clc
    case 0x38: // sec
    case 0x9C: // stz abs
    case 0x4C: // jmp abs
    case 0x5C: // jml
        return 2;
    case 0xC2: // rep
    case 0xE2: // sep
    case 0xAD: // lda abs
    case 0xAE: // ldx abs
    case 0xAC: // ldy abs
    case 0xAF: // lda long
    case 0xA9: // lda #
    case 0xA2: // ldx #
    case 0xA0: // ldy #
    case 0x20: // jsr
    case 0x22: // jsl
        return 1;
    case 0x40: // rti
    case 0x60: // rts
    case 0x6B: // rtl
    case 0xCD: // cmp abs
    case 0xEC: // cpx abs
    case 0xCC: // cpy abs
        return -1;
    case 0x00: // brk
    case 0x02: // cop
    case 0xDB: // stp
    case 0x42: // wdm
    case 0xFF: // sbc long,x: filler
        return -2;
    default:
        return 0;
    }
}

int scoreHeader(ImageHead image, std::uint64_t base, std::span<const std::uint8_t> block,
                const SnesCandidate& candidate) {
    int score = 0;
    const std::uint16_t complement = readLE16(block, snesComplementOffset);
    const std::uint16_t checksum = readLE16(block, snesChecksumOffset);
    if ((complement ^ checksum) == 0xFFFF) {
        score += 4;
    }
    const auto mapMode = static_cast<std::uint8_t>(block[snesMapModeOffset] & ~fastRomBit);
    for (const std::uint8_t mode : candidate.mapModes) {
        if (mode != 0 && mode == mapMode) {
            score += 2;
        }
    }
    const std::uint16_t reset = readLE16(block, snesResetVectorOffset);
    if (reset >= resetBank0) {
        score += 1;
        const std::span<const std::uint8_t> opcode =
            bytesAt(image, base + candidate.resetData + (reset - resetBank0), 1);
        if (!opcode.empty()) {
            score += firstInstructionScore(opcode[0]);
        }
    }
    const auto title = block.first(titleLength);
    if (std::all_of(title.begin(), title.end(), titleByte)) {
        score += 1;
    }
    return score;
}

// The location by the complement/checksum pair alone, for data that hold no
// credible header: reported as before, never repaired.
SnesHeaderLocation locateByLoRomPair(ImageHead image, std::uint64_t base) {
    const std::uint64_t loRom = base + snesLoRomHeader;
    if (image.size >= base + snesHiRomHeader + snesComplementOffset) {
        const std::span<const std::uint8_t> pair = bytesAt(image, loRom + snesComplementOffset, 4);
        if (pair.empty() || (readLE16(pair, 0) ^ readLE16(pair, 2)) != 0xFFFF) {
            return {base, base + snesHiRomHeader, SnesMapping::HiRom, false};
        }
    }
    return {base, loRom, SnesMapping::LoRom, false};
}

} // namespace

SnesHeaderLocation locateSnesHeader(ImageHead image, bool copierHeader) {
    const std::uint64_t base = copierHeader ? copierHeaderSize : 0;
    const SnesCandidate* best = nullptr;
    int bestScore = credibleScore - 1;
    for (const SnesCandidate& candidate : snesCandidates) {
        const std::uint64_t start = base + candidate.headerOffset;
        if (image.size < start + snesHeaderBlockLength) {
            continue;
        }
        const std::span<const std::uint8_t> block = bytesAt(image, start, snesHeaderBlockLength);
        if (block.empty()) {
            continue;
        }
        const int score = scoreHeader(image, base, block, candidate);
        if (score > bestScore) {
            best = &candidate;
            bestScore = score;
        }
    }
    if (best == nullptr) {
        return locateByLoRomPair(image, base);
    }
    return {base, base + best->headerOffset, best->mapping, true};
}

InspectionReads snesInspectionReads(std::uint64_t size) {
    const std::uint64_t base = hasCopierHeaderSize(size) ? copierHeaderSize : 0;
    const std::uint64_t end = base + snesExHiRomHeader + snesHeaderBlockLength;
    if (size < end) {
        return {inspectionWindow, 0, 0};
    }
    // From the ExHiROM candidate's first reset target through its header
    // block: the 32 KiB bank its vector points into.
    const std::uint64_t start = base + snesCandidates[2].resetData;
    return {inspectionWindow, start, end - start};
}

std::uint16_t computeSnesChecksum(std::span<const std::uint8_t> data, std::uint64_t fieldsAt) {
    const std::uint64_t size = data.size();
    // How often the byte at an offset is read: once in the first block; in the
    // mirrored part, once per whole repetition plus once more where the last,
    // partial repetition reaches it.
    std::uint64_t block = size;
    std::uint64_t repeats = 1;
    std::uint64_t partial = 0;
    if (!std::has_single_bit(size)) {
        block = std::bit_floor(size);
        const std::uint64_t mirrored = size - block;
        repeats = block / mirrored;
        partial = block % mirrored;
    }
    const auto reads = [&](std::uint64_t offset) -> std::uint64_t {
        if (offset < block) {
            return 1;
        }
        return repeats + (offset - block < partial ? 1 : 0);
    };

    const auto first = static_cast<std::size_t>(block);
    const std::span<const std::uint8_t> tail = data.subspan(first);
    std::uint64_t sum = sumBytes(data.first(first));
    if (!tail.empty()) {
        sum += repeats * sumBytes(tail) + sumBytes(tail.first(static_cast<std::size_t>(partial)));
    }
    // Every read of the pair counts its agreeing values instead of the stored ones.
    constexpr std::array<std::uint8_t, 4> agreeing{0xFF, 0xFF, 0x00, 0x00};
    for (std::size_t i = 0; i < agreeing.size(); ++i) {
        const std::uint64_t offset = fieldsAt + i;
        const std::uint8_t stored = data[static_cast<std::size_t>(offset)];
        sum += reads(offset) * agreeing[i];
        sum -= reads(offset) * stored;
    }
    return static_cast<std::uint16_t>(sum);
}
