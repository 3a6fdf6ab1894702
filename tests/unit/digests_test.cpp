#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "hash/digests.h"

namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

template <std::size_t N> std::string hex(const std::array<std::uint8_t, N>& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t byte : digest) {
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

TEST(Crc32, StandardCheckValues) {
    EXPECT_EQ(crc32(bytesOf("")), 0x00000000u);
    EXPECT_EQ(crc32(bytesOf("123456789")), 0xCBF43926u);
    EXPECT_EQ(crc32(bytesOf("The quick brown fox jumps over the lazy dog")), 0x414FA339u);
}

struct DigestCase {
    std::string input;
    std::uint32_t crc32;
    const char* md5;
    const char* sha1;
    const char* sha256;
};

// The standard check strings, and a million "a" (the digest standards' long
// test message), which is large enough to be hashed on two threads.
TEST(Digests, StandardCheckValuesInlineAndSideBySide) {
    const DigestCase cases[] = {
        {"", 0x00000000u, "d41d8cd98f00b204e9800998ecf8427e",
         "da39a3ee5e6b4b0d3255bfef95601890afd80709",
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", 0x352441C2u, "900150983cd24fb0d6963f7d28e17f72",
         "a9993e364706816aba3e25717850c26c9cd0d89d",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"123456789", 0xCBF43926u, "25f9e794323b453885f5181f1b624d0b",
         "f7c3bc1d808e04732adf679965ccc34ca7ae3441",
         "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225"},
        {std::string(1000000, 'a'), 0xDC25BFBCu, "7707d6ae4e027c70eea2a935c2296f21",
         "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    DigestHasher hasher; // one hasher for every row, as a catalogue uses it
    // Every row is started before any is finished, as a catalogue reads
    // ahead; finishing from the last makes the caller take queued MD5 work
    // while the helper holds another row's.
    std::vector<DigestHasher::Ticket> tickets;
    for (const DigestCase& c : cases) {
        tickets.push_back(hasher.start(bytesOf(c.input)));
    }
    for (std::size_t i = std::size(cases); i-- > 0;) {
        const DigestCase& c = cases[i];
        const Digests d = hasher.finish(tickets[i]);
        EXPECT_EQ(d.crc32, c.crc32) << c.input.size();
        EXPECT_EQ(hex(d.md5), c.md5) << c.input.size();
        EXPECT_EQ(hex(d.sha1), c.sha1) << c.input.size();
        EXPECT_EQ(hex(d.sha256), c.sha256) << c.input.size();
        EXPECT_EQ(hex(computeDigests(bytesOf(c.input)).md5), c.md5);
    }
}

} // namespace
