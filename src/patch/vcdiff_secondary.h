#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "base/bytes.h"

// xdelta3's secondary compressors, which may compress a window's data,
// instruction and address sections after the VCDIFF encoding. Each decoder
// fills exactly out.size() bytes from exactly all of in, or fails; a failure
// leaves the state unusable for later sections.

// LZMA: xdelta3 keeps one xz stream per kind of section for the whole delta,
// each section ending at a sync flush, so a section continues the stream the
// previous section of its kind left off.
struct LzmaSectionStream {
    LzmaSectionStream();
    ~LzmaSectionStream();
    LzmaSectionStream(const LzmaSectionStream&) = delete;
    LzmaSectionStream& operator=(const LzmaSectionStream&) = delete;

    struct State;
    std::unique_ptr<State> state; // started by the first section of its kind
};

bool decodeLzmaSection(LzmaSectionStream& stream, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out);

// The encoding side of such a stream: LZMA2 at the strongest preset but
// without position bits, no integrity check (the window's Adler-32 covers
// the result), its dictionary no larger than the bytes the stream will see.
// Each section appends its bytes up to a sync flush; false when the library
// fails.
struct LzmaSectionEncoder {
    explicit LzmaSectionEncoder(std::uint64_t expectedBytes);
    ~LzmaSectionEncoder();
    LzmaSectionEncoder(const LzmaSectionEncoder&) = delete;
    LzmaSectionEncoder& operator=(const LzmaSectionEncoder&) = delete;

    struct State;
    std::unique_ptr<State> state; // null when the library could not start
};

bool encodeLzmaSection(LzmaSectionEncoder& stream, std::span<const std::uint8_t> in, Bytes& out);

// DJW: static Huffman coding with up to 8 tables chosen per sector; every
// section carries its own tables, so there is no state between sections.
bool decodeDjwSection(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

// FGK: adaptive Huffman coding over bytes; the code tree goes on adapting
// across all sections of one kind, in every window.
struct FgkState {
    FgkState();

    static constexpr std::size_t alphabetSize = 256;
    static constexpr std::size_t nodeCount = 2 * alphabetSize - 1;
    static constexpr std::size_t blockCount = 2 * nodeCount;
    static constexpr std::int32_t none = -1;

    struct Node {
        std::uint64_t weight = 0;
        std::int32_t parent = none;
        std::int32_t leftChild = none;  // for a zero-weight leaf: the previous unseen symbol
        std::int32_t rightChild = none; // for a zero-weight leaf: the next unseen symbol
        std::int32_t left = none;       // neighbours in the order of weights
        std::int32_t right = none;
        std::int32_t block = none;
    };

    std::array<Node, nodeCount> nodes{};
    std::array<std::int32_t, blockCount> blockLeader{}; // or, for a free block, the next free one
    std::int32_t freeBlock = 0;
    std::int32_t freeNode = static_cast<std::int32_t>(alphabetSize);
    std::int32_t root = 0;
    std::int32_t remainingZeros = 0; // head of the list of unseen symbols
    std::uint32_t zeroCount = 0;     // unseen symbols
    std::uint32_t zeroExponent = 0;  // zeroCount = 2^zeroExponent + zeroRemainder
    std::uint32_t zeroRemainder = 0;
    bool broken = false;
    // Stand in for a node or block the tree lacks: the state is then broken
    // and every later section fails, instead of reaching outside the arrays.
    Node spareNode{};
    std::int32_t spareBlock = none;
};

bool decodeFgkSection(FgkState& state, std::span<const std::uint8_t> in,
                      std::span<std::uint8_t> out);
