#pragma once

// Zip archives built byte by byte, for the members Debian's zip and 7z cannot
// write (zstd) or that no test should have to decompress (a declared 4 GiB).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hash/digests.h"

namespace testing_support {

struct ZipMember {
    std::string name;
    std::uint16_t method = 0;             // 0 stored, 8 deflate, 93 zstd
    std::vector<std::uint8_t> data;       // as stored (compressed)
    std::vector<std::uint8_t> content;    // decompressed: its CRC-32 and size
    std::optional<std::uint64_t> bigSize; // a declared size written as zip64
    bool utf8Name = true;                 // the flag that says the name is UTF-8
};

inline void putZipLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

// One zip with the members in order: local headers, then the central
// directory, then its end record.
inline std::vector<std::uint8_t> makeZip(const std::vector<ZipMember>& members) {
    std::vector<std::uint8_t> zip;
    std::vector<std::uint8_t> central;
    for (const ZipMember& member : members) {
        const std::uint64_t offset = zip.size();
        const std::uint32_t crc = crc32(member.content);
        const bool big = member.bigSize.has_value();
        std::vector<std::uint8_t> extra;
        if (big) {
            putZipLittleEndian(extra, 0x0001, 2);
            putZipLittleEndian(extra, 16, 2);
            putZipLittleEndian(extra, *member.bigSize, 8);
            putZipLittleEndian(extra, member.data.size(), 8);
        }
        const auto header = [&](std::vector<std::uint8_t>& out, bool local) {
            putZipLittleEndian(out, local ? 0x04034B50 : 0x02014B50, 4);
            if (!local) {
                putZipLittleEndian(out, 0x031E, 2); // made on Unix
            }
            putZipLittleEndian(out, big ? 45 : 20, 2);
            putZipLittleEndian(out, member.utf8Name ? 0x0800 : 0, 2);
            putZipLittleEndian(out, member.method, 2);
            putZipLittleEndian(out, 0, 2);      // time
            putZipLittleEndian(out, 0x2821, 2); // 2000-01-01
            putZipLittleEndian(out, crc, 4);
            putZipLittleEndian(out, big ? 0xFFFFFFFF : member.data.size(), 4);
            putZipLittleEndian(out, big ? 0xFFFFFFFF : member.content.size(), 4);
            putZipLittleEndian(out, member.name.size(), 2);
            putZipLittleEndian(out, extra.size(), 2);
            if (!local) {
                putZipLittleEndian(out, 0, 2);              // comment
                putZipLittleEndian(out, 0, 2);              // disk
                putZipLittleEndian(out, 0, 2);              // internal attributes
                putZipLittleEndian(out, 0100644u << 16, 4); // a regular file
                putZipLittleEndian(out, offset, 4);
            }
            out.insert(out.end(), member.name.begin(), member.name.end());
            out.insert(out.end(), extra.begin(), extra.end());
        };
        header(zip, true);
        zip.insert(zip.end(), member.data.begin(), member.data.end());
        header(central, false);
    }
    const std::uint64_t centralOffset = zip.size();
    zip.insert(zip.end(), central.begin(), central.end());
    putZipLittleEndian(zip, 0x06054B50, 4);
    putZipLittleEndian(zip, 0, 4);
    putZipLittleEndian(zip, members.size(), 2);
    putZipLittleEndian(zip, members.size(), 2);
    putZipLittleEndian(zip, central.size(), 4);
    putZipLittleEndian(zip, centralOffset, 4);
    putZipLittleEndian(zip, 0, 2);
    return zip;
}

// A zstd frame of one raw block (the bytes of text) and one RLE block (count
// times fill), with the content size in the header: what a zstd decoder must
// give back is text followed by the run.
inline std::vector<std::uint8_t> makeZstdFrame(const std::string& text, std::uint8_t fill,
                                               std::uint32_t count) {
    std::vector<std::uint8_t> frame{0x28, 0xB5, 0x2F, 0xFD};
    frame.push_back(0x20); // single segment, no checksum, 1-byte content size
    frame.push_back(static_cast<std::uint8_t>(text.size() + count));
    putZipLittleEndian(frame, std::uint32_t(text.size()) << 3, 3); // raw block
    frame.insert(frame.end(), text.begin(), text.end());
    putZipLittleEndian(frame, 1u | (1u << 1) | (count << 3), 3); // last, RLE
    frame.push_back(fill);
    return frame;
}

} // namespace testing_support
