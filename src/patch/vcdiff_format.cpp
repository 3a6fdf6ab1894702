#include "patch/vcdiff_format.h"

namespace vcdiff {

namespace {

constexpr CodeTable makeDefaultCodeTable() {
    CodeTable table;
    std::size_t i = 0;
    const auto single = [&](std::uint8_t type, std::uint8_t size, std::uint8_t mode) {
        table.entries[i++] = {{type, size, mode}, {}};
    };
    single(Run, 0, 0);
    for (std::uint8_t size = 0; size <= 17; ++size) {
        single(Add, size, 0);
    }
    for (std::uint8_t mode = 0; mode <= 8; ++mode) {
        single(Copy, 0, mode);
        for (std::uint8_t size = 4; size <= 18; ++size) {
            single(Copy, size, mode);
        }
    }
    for (std::uint8_t mode = 0; mode <= 5; ++mode) {
        for (std::uint8_t add = 1; add <= 4; ++add) {
            for (std::uint8_t copy = 4; copy <= 6; ++copy) {
                table.entries[i++] = {{Add, add, 0}, {Copy, copy, mode}};
            }
        }
    }
    for (std::uint8_t mode = 6; mode <= 8; ++mode) {
        for (std::uint8_t add = 1; add <= 4; ++add) {
            table.entries[i++] = {{Add, add, 0}, {Copy, 4, mode}};
        }
    }
    for (std::uint8_t mode = 0; mode <= 8; ++mode) {
        table.entries[i++] = {{Copy, 4, mode}, {Add, 1, 0}};
    }
    return table;
}

} // namespace

const CodeTable& defaultCodeTable() {
    static constexpr CodeTable table = makeDefaultCodeTable();
    return table;
}

std::array<std::uint8_t, codeTableStringSize> codeTableString(const CodeTable& table) {
    std::array<std::uint8_t, codeTableStringSize> s{};
    for (std::size_t i = 0; i < 256; ++i) {
        const CodeEntry& e = table.entries[i];
        s[i] = e.first.type;
        s[256 + i] = e.second.type;
        s[512 + i] = e.first.size;
        s[768 + i] = e.second.size;
        s[1024 + i] = e.first.mode;
        s[1280 + i] = e.second.mode;
    }
    return s;
}

std::uint32_t adler32(std::span<const std::uint8_t> bytes, std::uint32_t initial) {
    constexpr std::uint32_t modulus = 65521;
    constexpr std::size_t run = 5552;
    std::uint32_t a = initial & 0xFFFF;
    std::uint32_t b = initial >> 16;
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        std::size_t n = std::min(left, run);
        left -= n;
        while (n >= 8) {
            a += p[0];
            b += a;
            a += p[1];
            b += a;
            a += p[2];
            b += a;
            a += p[3];
            b += a;
            a += p[4];
            b += a;
            a += p[5];
            b += a;
            a += p[6];
            b += a;
            a += p[7];
            b += a;
            p += 8;
            n -= 8;
        }
        while (n-- > 0) {
            a += *p++;
            b += a;
        }
        a %= modulus;
        b %= modulus;
    }
    return (b << 16) | a;
}

} // namespace vcdiff
