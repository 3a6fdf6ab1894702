#include "repair/byte_swap.h"

#include <utility>

void swapPairs(std::span<std::uint8_t> bytes) {
    const std::size_t pairs = bytes.size() / 2;
    std::uint8_t* p = bytes.data();
    for (std::size_t k = 0; k < pairs; ++k) {
        std::swap(p[2 * k], p[2 * k + 1]);
    }
}

void reverseQuads(std::span<std::uint8_t> bytes) {
    const std::size_t quads = bytes.size() / 4;
    std::uint8_t* p = bytes.data();
    for (std::size_t k = 0; k < quads; ++k) {
        std::swap(p[4 * k], p[4 * k + 3]);
        std::swap(p[4 * k + 1], p[4 * k + 2]);
    }
}
