#include "organise/torrentzip.h"

#include <algorithm>
#include <limits>

#include <zlib.h>

#include "base/byte_order.h"
#include "base/code_page_437.h"
#include "base/hex.h"
#include "base/utf8.h"
#include "hash/digests.h"

namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndRecord = 0x06054b50;
constexpr std::uint32_t kZip64EndRecord = 0x06064b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64EndRecordSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kCentralHeaderSize = 46;

// The fields every TorrentZip member has alike: version 2.0 (4.5 for a
// zip64 member), deflate, and 1996-12-24 23:32 as its DOS time and date.
constexpr std::uint16_t kVersion = 20;
constexpr std::uint16_t kVersionZip64 = 45;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kDosTime = 0xBC00;
constexpr std::uint16_t kDosDate = 0x2198;
// Flag 2 records the deflate level ("maximum"); 0x800 marks a UTF-8 name.
constexpr std::uint16_t kFlagMaximum = 0x0002;
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint64_t kNoValue32 = 0xFFFFFFFF;
constexpr std::uint64_t kNoValue16 = 0xFFFF;
constexpr std::string_view kCommentMark = "TORRENTZIPPED-";
// A central directory beyond this is no set's: it is not read.
constexpr std::uint64_t kDirectoryLimit = 256u << 20;

// The comment names the CRC-32 in eight upper-case digits.
std::string hexUpper8(std::uint32_t value) {
    std::string digits = hexLower(value, 8);
    std::transform(digits.begin(), digits.end(), digits.begin(), [](char c) {
        return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return digits;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::optional<Bytes> deflateRaw(std::span<const std::uint8_t> bytes) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    Bytes out;
    constexpr std::size_t piece = 1u << 20;
    std::size_t taken = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (stream.avail_in == 0 && taken < bytes.size()) {
            const std::size_t length = std::min(piece, bytes.size() - taken);
            // zlib's pointer is not const, though it only reads through it.
            stream.next_in = const_cast<Bytef*>(bytes.data() + taken);
            stream.avail_in = static_cast<uInt>(length);
            taken += length;
        }
        const std::size_t at = out.size();
        out.resize(at + piece);
        stream.next_out = out.data() + at;
        stream.avail_out = static_cast<uInt>(piece);
        status = deflate(&stream, taken == bytes.size() ? Z_FINISH : Z_NO_FLUSH);
        out.resize(at + piece - stream.avail_out);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            deflateEnd(&stream);
            return std::nullopt;
        }
    }
    deflateEnd(&stream);
    return out;
}

void appendText(Bytes& out, std::string_view text) {
    for (const char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
}

struct StoredMember {
    std::string name; // as stored: CP437 where the code page can spell it
    std::uint16_t flags = kFlagMaximum;
    std::uint32_t crc32 = 0;
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t offset = 0;
};

void appendLocalHeader(Bytes& out, const StoredMember& member) {
    const bool zip64 = member.size >= kNoValue32 || member.compressedSize >= kNoValue32;
    appendLE(out, kLocalHeader, 4);
    appendLE(out, zip64 ? kVersionZip64 : kVersion, 2);
    appendLE(out, member.flags, 2);
    appendLE(out, kDeflated, 2);
    appendLE(out, kDosTime, 2);
    appendLE(out, kDosDate, 2);
    appendLE(out, member.crc32, 4);
    appendLE(out, zip64 ? kNoValue32 : member.compressedSize, 4);
    appendLE(out, zip64 ? kNoValue32 : member.size, 4);
    appendLE(out, member.name.size(), 2);
    appendLE(out, zip64 ? 20 : 0, 2);
    appendText(out, member.name);
    if (zip64) {
        appendLE(out, 1, 2);
        appendLE(out, 16, 2);
        appendLE(out, member.size, 8);
        appendLE(out, member.compressedSize, 8);
    }
}

void appendCentralHeader(Bytes& out, const StoredMember& member) {
    // Only the fields that do not fit go to the zip64 field, in its order.
    Bytes extra;
    const auto field = [&](std::uint64_t value) {
        if (value >= kNoValue32) {
            appendLE(extra, value, 8);
            return kNoValue32;
        }
        return value;
    };
    const std::uint64_t size = field(member.size);
    const std::uint64_t compressedSize = field(member.compressedSize);
    const std::uint64_t offset = field(member.offset);
    const bool zip64 = !extra.empty();
    appendLE(out, kCentralHeader, 4);
    appendLE(out, 0, 2); // made by MS-DOS, version 0
    appendLE(out, zip64 ? kVersionZip64 : kVersion, 2);
    appendLE(out, member.flags, 2);
    appendLE(out, kDeflated, 2);
    appendLE(out, kDosTime, 2);
    appendLE(out, kDosDate, 2);
    appendLE(out, member.crc32, 4);
    appendLE(out, compressedSize, 4);
    appendLE(out, size, 4);
    appendLE(out, member.name.size(), 2);
    appendLE(out, zip64 ? extra.size() + 4 : 0, 2);
    appendLE(out, 0, 2); // comment
    appendLE(out, 0, 2); // disk
    appendLE(out, 0, 2); // internal attributes
    appendLE(out, 0, 4); // external attributes
    appendLE(out, offset, 4);
    appendText(out, member.name);
    if (zip64) {
        appendLE(out, 1, 2);
        appendLE(out, extra.size(), 2);
        out.insert(out.end(), extra.begin(), extra.end());
    }
}

void appendEndRecords(Bytes& out, std::uint64_t count, std::uint64_t directoryOffset,
                      std::uint64_t directorySize, std::uint32_t directoryCrc) {
    if (count >= kNoValue16 || directoryOffset >= kNoValue32 || directorySize >= kNoValue32) {
        const std::uint64_t recordOffset = out.size();
        appendLE(out, kZip64EndRecord, 4);
        appendLE(out, kZip64EndRecordSize - 12, 8);
        appendLE(out, kVersionZip64, 2); // made by
        appendLE(out, kVersionZip64, 2); // needed
        appendLE(out, 0, 4);
        appendLE(out, 0, 4);
        appendLE(out, count, 8);
        appendLE(out, count, 8);
        appendLE(out, directorySize, 8);
        appendLE(out, directoryOffset, 8);
        appendLE(out, kZip64Locator, 4);
        appendLE(out, 0, 4);
        appendLE(out, recordOffset, 8);
        appendLE(out, 1, 4);
    }
    const std::string comment = std::string(kCommentMark) + hexUpper8(directoryCrc);
    appendLE(out, kEndRecord, 4);
    appendLE(out, 0, 2);
    appendLE(out, 0, 2);
    appendLE(out, std::min(count, kNoValue16), 2);
    appendLE(out, std::min(count, kNoValue16), 2);
    appendLE(out, std::min(directorySize, kNoValue32), 4);
    appendLE(out, std::min(directoryOffset, kNoValue32), 4);
    appendLE(out, comment.size(), 2);
    appendText(out, comment);
}

std::string entryName(std::string_view stored, std::uint16_t flags) {
    if ((flags & kFlagUtf8) != 0 || isValidUtf8(stored)) {
        return isValidUtf8(stored) ? std::string(stored) : fromCodePage437(stored);
    }
    return fromCodePage437(stored);
}

// The uncompressed size from a zip64 extra field, when the entry's own field
// says it is there (it is the first value of that field).
std::optional<std::uint64_t> zip64Size(std::span<const std::uint8_t> extra) {
    for (std::size_t at = 0; extra.size() - at >= 4;) {
        const std::uint16_t tag = readLE16(extra, at);
        const std::uint16_t length = readLE16(extra, at + 2);
        if (extra.size() - at - 4 < length) {
            return std::nullopt;
        }
        if (tag == 1 && length >= 8) {
            return readLE(extra, at + 4, 8);
        }
        at += 4u + length;
    }
    return std::nullopt;
}

} // namespace

bool torrentZipBefore(const std::string& a, const std::string& b) {
    const auto lower = [](char c) { return static_cast<unsigned char>(lowerAscii(c)); };
    const bool less =
        std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                     [&](char x, char y) { return lower(x) < lower(y); });
    const bool greater =
        std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                     [&](char x, char y) { return lower(x) < lower(y); });
    if (less || greater) {
        return less;
    }
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

std::optional<Bytes> writeTorrentZip(std::vector<TorrentZipMember> members) {
    std::sort(members.begin(), members.end(),
              [](const TorrentZipMember& a, const TorrentZipMember& b) {
                  return torrentZipBefore(a.name, b.name);
              });
    Bytes out;
    std::vector<StoredMember> stored;
    stored.reserve(members.size());
    for (const TorrentZipMember& member : members) {
        StoredMember entry;
        if (std::optional<std::string> cp437 = toCodePage437(member.name)) {
            entry.name = std::move(*cp437);
        } else {
            entry.name = member.name;
            entry.flags |= kFlagUtf8;
        }
        std::optional<Bytes> deflated = deflateRaw(member.bytes);
        if (!deflated) {
            return std::nullopt;
        }
        entry.crc32 = crc32(member.bytes);
        entry.size = member.bytes.size();
        entry.compressedSize = deflated->size();
        entry.offset = out.size();
        appendLocalHeader(out, entry);
        out.insert(out.end(), deflated->begin(), deflated->end());
        stored.push_back(std::move(entry));
    }
    const std::uint64_t directoryOffset = out.size();
    for (const StoredMember& entry : stored) {
        appendCentralHeader(out, entry);
    }
    const std::uint64_t directorySize = out.size() - directoryOffset;
    const std::uint32_t directoryCrc =
        crc32(std::span<const std::uint8_t>(out).subspan(directoryOffset));
    appendEndRecords(out, stored.size(), directoryOffset, directorySize, directoryCrc);
    return out;
}

std::optional<ZipListing> readZipListing(const InputFile& file) {
    const std::uint64_t fileSize = file.size();
    if (fileSize < kEndRecordSize) {
        return std::nullopt;
    }
    // The end record lies within the last 64 KiB (its comment's limit).
    const std::uint64_t tailLength = std::min<std::uint64_t>(fileSize, kEndRecordSize + 0xFFFF);
    const std::uint64_t tailStart = fileSize - tailLength;
    const std::optional<Bytes> tail = file.readRange(tailStart, tailLength);
    if (!tail) {
        return std::nullopt;
    }
    std::optional<std::size_t> end;
    for (std::size_t at = tail->size() - kEndRecordSize + 1; at-- > 0;) {
        if (readLE32(*tail, at) == kEndRecord &&
            readLE16(*tail, at + 20) == tail->size() - at - kEndRecordSize) {
            end = at;
            break;
        }
    }
    if (!end) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> record(tail->data() + *end, kEndRecordSize);
    std::uint64_t count = readLE16(record, 10);
    std::uint64_t directorySize = readLE32(record, 12);
    std::uint64_t directoryOffset = readLE32(record, 16);
    std::uint64_t directoryLimit = tailStart + *end; // where the directory must end
    if (*end >= kZip64LocatorSize && readLE32(*tail, *end - kZip64LocatorSize) == kZip64Locator) {
        const std::uint64_t recordOffset = readLE(*tail, *end - kZip64LocatorSize + 8, 8);
        if (recordOffset > fileSize || fileSize - recordOffset < kZip64EndRecordSize) {
            return std::nullopt;
        }
        const std::optional<Bytes> zip64 = file.readRange(recordOffset, kZip64EndRecordSize);
        if (!zip64 || readLE32(*zip64, 0) != kZip64EndRecord) {
            return std::nullopt;
        }
        count = readLE(*zip64, 32, 8);
        directorySize = readLE(*zip64, 40, 8);
        directoryOffset = readLE(*zip64, 48, 8);
        directoryLimit = recordOffset;
    } else if (readLE16(record, 4) != 0 || readLE16(record, 6) != 0) {
        return std::nullopt; // a span of several disks
    }
    if (directoryOffset > directoryLimit || directoryLimit - directoryOffset < directorySize ||
        directorySize > kDirectoryLimit || count > directorySize / kCentralHeaderSize) {
        return std::nullopt;
    }
    const std::optional<Bytes> directory = file.readRange(directoryOffset, directorySize);
    if (!directory) {
        return std::nullopt;
    }
    ZipListing listing;
    bool folders = false;
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (directory->size() - at < kCentralHeaderSize ||
            readLE32(*directory, at) != kCentralHeader) {
            return std::nullopt;
        }
        const std::uint16_t flags = readLE16(*directory, at + 8);
        const std::size_t nameLength = readLE16(*directory, at + 28);
        const std::size_t extraLength = readLE16(*directory, at + 30);
        const std::size_t commentLength = readLE16(*directory, at + 32);
        const std::size_t variable = nameLength + extraLength + commentLength;
        if (directory->size() - at - kCentralHeaderSize < variable) {
            return std::nullopt;
        }
        const std::string_view stored(
            reinterpret_cast<const char*>(directory->data() + at + kCentralHeaderSize), nameLength);
        ZipEntry entry;
        entry.name = entryName(stored, flags);
        entry.crc32 = readLE32(*directory, at + 16);
        entry.size = readLE32(*directory, at + 24);
        if (entry.size == kNoValue32) {
            const std::optional<std::uint64_t> size = zip64Size(std::span<const std::uint8_t>(
                directory->data() + at + kCentralHeaderSize + nameLength, extraLength));
            if (!size) {
                return std::nullopt;
            }
            entry.size = *size;
        }
        at += kCentralHeaderSize + variable;
        // A folder's entry holds nothing to keep.
        if (!entry.name.empty() && entry.name.back() == '/') {
            folders = true;
            continue;
        }
        listing.entries.push_back(std::move(entry));
    }
    const std::string_view comment(reinterpret_cast<const char*>(record.data()) + kEndRecordSize,
                                   tail->size() - *end - kEndRecordSize);
    listing.torrentZip = !folders && at == directory->size() &&
                         comment == std::string(kCommentMark) + hexUpper8(crc32(*directory));
    return listing;
}
