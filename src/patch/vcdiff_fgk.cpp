// xdelta3's FGK secondary compressor: adaptive Huffman coding of bytes
// (Faller, Gallager, Knuth). Encoder and decoder grow the same code tree: a
// byte seen before is coded by its path from the root (0 left, 1 right, bits
// taken from each byte's lowest up); an unseen byte by the path to the leaf
// that stands for all unseen bytes, then its index in the list of unseen
// bytes, most significant bit first, in just enough bits for the list's
// length (none when one is left). After every byte the tree is updated: the
// byte's leaf and its ancestors gain weight, each first swapped with the
// highest-ordered node of its weight (its block leader), so that weights stay
// ordered. The decoder must repeat xdelta3's updates exactly, including the
// order of nodes inside blocks, or the codes drift apart.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "patch/vcdiff_secondary.h"

namespace {

using Node = FgkState::Node;
constexpr std::int32_t none = FgkState::none;

Node& node(FgkState& s, std::int32_t i) {
    if (i < 0 || static_cast<std::size_t>(i) >= FgkState::nodeCount) {
        s.broken = true;
        s.spareNode = {};
        return s.spareNode;
    }
    return s.nodes[static_cast<std::size_t>(i)];
}

std::int32_t& leader(FgkState& s, std::int32_t block) {
    if (block < 0 || static_cast<std::size_t>(block) >= FgkState::blockCount) {
        s.broken = true;
        s.spareBlock = none;
        return s.spareBlock;
    }
    return s.blockLeader[static_cast<std::size_t>(block)];
}

std::int32_t makeBlock(FgkState& s, std::int32_t lead) {
    const std::int32_t block = s.freeBlock;
    if (block == none) {
        s.broken = true;
        return none;
    }
    s.freeBlock = leader(s, block);
    leader(s, block) = lead;
    return block;
}

void freeBlock(FgkState& s, std::int32_t block) {
    leader(s, block) = s.freeBlock;
    s.freeBlock = block;
}

// One unseen byte fewer: zeroCount = 2^zeroExponent + zeroRemainder.
void countDownZeros(FgkState& s) {
    std::uint32_t i = --s.zeroCount;
    s.zeroExponent = 0;
    while (i > 1) {
        ++s.zeroExponent;
        i >>= 1;
    }
    s.zeroRemainder = s.zeroCount - (std::uint32_t{1} << s.zeroExponent);
}

// The slot of the parent that holds the child.
std::int32_t& parentSlot(FgkState& s, std::int32_t child) {
    Node& parent = node(s, node(s, child).parent);
    return parent.rightChild == child ? parent.rightChild : parent.leftChild;
}

// Swaps a node with the leader of its block, in the order and in the tree.
void moveToLeader(FgkState& s, std::int32_t fwd) {
    const std::int32_t back = leader(s, node(s, fwd).block);
    if (fwd == back || node(s, fwd).parent == back || node(s, fwd).weight == 0) {
        return;
    }
    node(s, node(s, back).right).left = fwd;
    if (node(s, fwd).left != none) {
        node(s, node(s, fwd).left).right = back;
    }
    std::int32_t tmp = node(s, fwd).right;
    node(s, fwd).right = node(s, back).right;
    if (tmp == back) {
        node(s, back).right = fwd;
    } else {
        node(s, tmp).left = back;
        node(s, back).right = tmp;
    }
    tmp = node(s, back).left;
    node(s, back).left = node(s, fwd).left;
    if (tmp == fwd) {
        node(s, fwd).left = back;
    } else {
        node(s, tmp).right = fwd;
        node(s, fwd).left = tmp;
    }
    std::int32_t& fwdSlot = parentSlot(s, fwd);
    std::int32_t& backSlot = parentSlot(s, back);
    std::swap(node(s, fwd).parent, node(s, back).parent);
    std::swap(fwdSlot, backSlot);
    leader(s, node(s, fwd).block) = fwd;
}

// Moves a block leader, about to gain weight, into the block of the next
// weight (or a new block of its own).
void promote(FgkState& s, std::int32_t n) {
    const std::int32_t right = node(s, n).right;
    const std::int32_t left = node(s, n).left;
    const std::int32_t current = node(s, n).block;
    const std::uint64_t weight = node(s, n).weight;
    if (weight == 0) {
        return;
    }
    // The parent of the unseen-bytes leaf, next to its other child.
    if (left == node(s, n).rightChild && node(s, n).leftChild != none &&
        node(s, node(s, n).leftChild).weight == 0) {
        if (right != s.root && weight + 1 == node(s, right).weight) {
            freeBlock(s, current);
            node(s, n).block = node(s, right).block;
            node(s, left).block = node(s, right).block;
        }
        return;
    }
    if (left == s.remainingZeros) {
        return;
    }
    if (node(s, left).block == current) {
        leader(s, current) = left;
    } else {
        freeBlock(s, current);
    }
    if (right != s.root && weight + 1 == node(s, right).weight) {
        node(s, n).block = node(s, right).block;
    } else {
        node(s, n).block = makeBlock(s, n);
    }
}

// Takes a byte out of the list of unseen bytes.
void removeZero(FgkState& s, std::int32_t n) {
    if (s.zeroCount == 1) {
        return;
    }
    countDownZeros(s);
    if (node(s, n).leftChild == none) {
        s.remainingZeros = node(s, s.remainingZeros).rightChild;
        node(s, s.remainingZeros).leftChild = none;
    } else if (node(s, n).rightChild == none) {
        node(s, node(s, n).leftChild).rightChild = none;
    } else {
        node(s, node(s, n).rightChild).leftChild = node(s, n).leftChild;
        node(s, node(s, n).leftChild).rightChild = node(s, n).rightChild;
    }
}

// A byte seen for the first time gets its own leaf: the unseen-bytes leaf
// is replaced by a new internal node over it and the new leaf.
std::int32_t addLeaf(FgkState& s, std::int32_t n) {
    if (s.zeroCount == 1) {
        node(s, n).rightChild = none;
        const std::int32_t right = node(s, n).right;
        node(s, n).block = node(s, right).weight == 1 ? node(s, right).block : makeBlock(s, n);
        s.remainingZeros = none;
        return n;
    }
    const std::int32_t zeros = s.remainingZeros;
    if (static_cast<std::size_t>(s.freeNode) >= FgkState::nodeCount) {
        s.broken = true;
        return n;
    }
    const std::int32_t internal = s.freeNode++;
    node(s, internal).parent = node(s, zeros).parent;
    node(s, internal).right = node(s, zeros).right;
    node(s, internal).weight = 0;
    node(s, internal).rightChild = n;
    node(s, internal).left = n;
    if (zeros == s.root) {
        s.root = internal;
        node(s, n).block = makeBlock(s, n);
        node(s, internal).block = makeBlock(s, internal);
    } else {
        node(s, node(s, internal).right).left = internal;
        parentSlot(s, zeros) = internal;
        const std::int32_t right = node(s, internal).right;
        node(s, internal).block =
            node(s, right).weight == 1 ? node(s, right).block : makeBlock(s, internal);
        node(s, n).block = node(s, internal).block;
    }
    removeZero(s, n);
    node(s, internal).leftChild = s.remainingZeros;
    node(s, n).right = internal;
    node(s, n).left = s.remainingZeros;
    node(s, n).parent = internal;
    node(s, n).leftChild = none;
    node(s, n).rightChild = none;
    node(s, s.remainingZeros).parent = internal;
    node(s, s.remainingZeros).right = n;
    return n;
}

void update(FgkState& s, std::int32_t symbol) {
    std::int32_t n = node(s, symbol).weight == 0 ? addLeaf(s, symbol) : symbol;
    // Each step climbs one level of a tree of at most 511 nodes.
    for (std::size_t guard = 0; n != s.root && !s.broken; ++guard) {
        if (guard > FgkState::nodeCount) {
            s.broken = true;
            return;
        }
        moveToLeader(s, n);
        promote(s, n);
        node(s, n).weight += 1;
        n = node(s, n).parent;
    }
    node(s, s.root).weight += 1;
}

std::int32_t nthZero(FgkState& s, std::uint32_t index) {
    std::int32_t n = s.remainingZeros;
    for (; index != 0 && node(s, n).rightChild != none; --index) {
        n = node(s, n).rightChild;
    }
    return n;
}

} // namespace

FgkState::FgkState() {
    zeroCount = static_cast<std::uint32_t>(alphabetSize) + 2;
    countDownZeros(*this);
    countDownZeros(*this);
    for (std::size_t b = 0; b + 1 < blockCount; ++b) {
        blockLeader[b] = static_cast<std::int32_t>(b + 1);
    }
    blockLeader[blockCount - 1] = none;
    for (std::size_t i = 0; i < alphabetSize; ++i) {
        Node& n = nodes[i];
        n.rightChild = i + 1 < alphabetSize ? static_cast<std::int32_t>(i + 1) : none;
        n.leftChild = i >= 1 ? static_cast<std::int32_t>(i - 1) : none;
    }
}

bool decodeFgkSection(FgkState& s, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    if (s.broken || out.empty()) {
        return false;
    }
    std::size_t written = 0;
    std::int32_t at = s.root;
    std::uint32_t index = 0; // bits of an unseen byte's index so far
    std::uint32_t indexBits = 0;
    for (std::size_t position = 0; position < in.size(); ++position) {
        const std::uint8_t byte = in[position];
        for (unsigned mask = 1; mask != 0x100; mask <<= 1) {
            const bool bit = (byte & mask) != 0;
            bool done = false;
            if (node(s, at).weight == 0) {
                index = (index << 1) | (bit ? 1u : 0u);
                ++indexBits;
                done = indexBits >= s.zeroExponent + (s.zeroRemainder == 0 ? 0u : 1u);
            } else {
                at = bit ? node(s, at).rightChild : node(s, at).leftChild;
                if (node(s, at).leftChild == none) {
                    done = node(s, at).weight != 0 || s.zeroCount == 1;
                }
            }
            if (s.broken) {
                return false;
            }
            if (!done) {
                continue;
            }
            std::int32_t symbol = at;
            if (node(s, at).weight == 0) {
                symbol = nthZero(s, index);
            }
            if (symbol < 0 || static_cast<std::size_t>(symbol) >= FgkState::alphabetSize) {
                s.broken = true;
                return false;
            }
            update(s, symbol);
            if (s.broken) {
                return false;
            }
            out[written++] = static_cast<std::uint8_t>(symbol);
            at = s.root;
            index = 0;
            indexBits = 0;
            if (written == out.size()) {
                // The rest of this byte is padding; the section must end here.
                return position + 1 == in.size();
            }
        }
    }
    return false;
}
