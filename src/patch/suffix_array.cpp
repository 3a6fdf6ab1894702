#include "patch/suffix_array.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace match {

namespace {

constexpr std::int32_t none = -1;

// Sorts the suffixes of s (symbols below `symbols`) into sa by induced
// sorting: the suffixes that start a valley (an S-type symbol after an
// L-type one) are sorted first, by naming their stretches and sorting the
// names recursively, and the order of every other suffix follows from them.
template <class Symbol>
void induceSort(std::span<const Symbol> s, std::size_t symbols, std::span<std::int32_t> sa) {
    const std::size_t n = s.size();
    const auto at = [&](std::size_t i) { return static_cast<std::size_t>(s[i]); };
    if (n == 0) {
        return;
    }
    if (n == 1) {
        sa[0] = 0;
        return;
    }
    // smaller[i]: suffix i sorts before suffix i + 1 (S-type).
    std::vector<std::uint8_t> smaller(n, 0);
    for (std::size_t i = n - 1; i-- > 0;) {
        smaller[i] = s[i] == s[i + 1] ? smaller[i + 1] : static_cast<std::uint8_t>(s[i] < s[i + 1]);
    }
    // Each symbol's bucket: its L-type suffixes first, then its S-type ones.
    std::vector<std::int32_t> startL(symbols + 1, 0);
    std::vector<std::int32_t> startS(symbols + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (smaller[i]) {
            ++startL[at(i) + 1];
        } else {
            ++startS[at(i)];
        }
    }
    for (std::size_t c = 0; c <= symbols; ++c) {
        startS[c] += startL[c];
        if (c < symbols) {
            startL[c + 1] += startS[c];
        }
    }
    const auto isValley = [&](std::size_t i) { return i > 0 && smaller[i] && !smaller[i - 1]; };
    std::vector<std::int32_t> slot(symbols + 1);
    const auto induce = [&](std::span<const std::int32_t> valleys) {
        std::fill(sa.begin(), sa.end(), none);
        std::copy(startS.begin(), startS.end(), slot.begin());
        for (const std::int32_t v : valleys) {
            sa[static_cast<std::size_t>(slot[at(static_cast<std::size_t>(v))]++)] = v;
        }
        std::copy(startL.begin(), startL.end(), slot.begin());
        sa[static_cast<std::size_t>(slot[at(n - 1)]++)] = static_cast<std::int32_t>(n - 1);
        for (std::size_t i = 0; i < n; ++i) {
            const std::int32_t v = sa[i];
            if (v >= 1 && !smaller[static_cast<std::size_t>(v - 1)]) {
                const auto before = static_cast<std::size_t>(v - 1);
                sa[static_cast<std::size_t>(slot[at(before)]++)] = v - 1;
            }
        }
        std::copy(startL.begin(), startL.end(), slot.begin());
        for (std::size_t i = n; i-- > 0;) {
            const std::int32_t v = sa[i];
            if (v >= 1 && smaller[static_cast<std::size_t>(v - 1)]) {
                const auto before = static_cast<std::size_t>(v - 1);
                sa[static_cast<std::size_t>(--slot[at(before) + 1])] = v - 1;
            }
        }
    };

    std::vector<std::int32_t> valleys;
    // Where each valley stands among them, or none.
    std::vector<std::int32_t> valleyNumber(n, none);
    for (std::size_t i = 1; i < n; ++i) {
        if (isValley(i)) {
            valleyNumber[i] = static_cast<std::int32_t>(valleys.size());
            valleys.push_back(static_cast<std::int32_t>(i));
        }
    }
    induce(valleys);
    const std::size_t m = valleys.size();
    if (m == 0) {
        return;
    }
    // The valleys in the order their stretches (up to the next valley) sort
    // in; equal stretches share a name.
    std::vector<std::int32_t> sorted;
    sorted.reserve(m);
    for (const std::int32_t v : sa) {
        if (v >= 0 && valleyNumber[static_cast<std::size_t>(v)] != none) {
            sorted.push_back(v);
        }
    }
    const auto stretchEnd = [&](std::size_t v) {
        const auto k = static_cast<std::size_t>(valleyNumber[v]) + 1;
        return k < m ? static_cast<std::size_t>(valleys[k]) : n;
    };
    std::vector<std::int32_t> names(m);
    std::int32_t name = 0;
    names[static_cast<std::size_t>(valleyNumber[static_cast<std::size_t>(sorted[0])])] = 0;
    for (std::size_t k = 1; k < m; ++k) {
        auto a = static_cast<std::size_t>(sorted[k - 1]);
        auto b = static_cast<std::size_t>(sorted[k]);
        const std::size_t endA = stretchEnd(a);
        const std::size_t endB = stretchEnd(b);
        bool same = endA - a == endB - b;
        if (same) {
            while (a < endA && s[a] == s[b]) {
                ++a;
                ++b;
            }
            // A stretch that ends the text ends with nothing after it: no
            // other is the same.
            same = a == endA && a < n && b < n && s[a] == s[b];
        }
        if (!same) {
            ++name;
        }
        names[static_cast<std::size_t>(valleyNumber[static_cast<std::size_t>(sorted[k])])] = name;
    }
    valleyNumber = {};
    std::vector<std::int32_t> order(m);
    induceSort<std::int32_t>(names, static_cast<std::size_t>(name) + 1, order);
    for (std::size_t k = 0; k < m; ++k) {
        sorted[k] = valleys[static_cast<std::size_t>(order[k])];
    }
    induce(sorted);
}

} // namespace

std::vector<std::int32_t> suffixArray(std::span<const std::uint8_t> text) {
    std::vector<std::int32_t> sa(text.size());
    induceSort<std::uint8_t>(text, 256, sa);
    return sa;
}

} // namespace match
