#include "archive/archive.h"

#include "base/bytes.h"
#include "base/utf8.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include <archive.h>
#include <archive_entry.h>

#ifndef _WIN32
#include <locale.h>
#endif

namespace {

// A member reaching this decompressed size is not expanded.
constexpr std::uint64_t kMemberLimit = std::uint64_t{1} << 32;
// The declared size is only a claim: memory is set aside for at most this
// much ahead of the bytes actually decompressed.
constexpr std::uint64_t kReserveLimit = std::uint64_t{64} << 20;
// After a member whose data breaks the reader, the archive is opened again
// to go on with the next member; a hostile archive of nothing but broken
// members would make that quadratic, so the listing stops after this many.
constexpr int kMaxReopenings = 32;

constexpr std::array<std::uint8_t, 6> kSevenZipMagic{'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};

struct ReaderFree {
    void operator()(struct archive* reader) const noexcept { archive_read_free(reader); }
};
using Reader = std::unique_ptr<struct archive, ReaderFree>;

#ifndef _WIN32
// libarchive converts names to the charset of the current locale and gives
// no UTF-8 name for a member it cannot convert. A UTF-8 locale for this
// thread alone, while the archive is read, keeps every name without touching
// the process's locale.
class Utf8ThreadLocale {
  public:
    Utf8ThreadLocale() : utf8_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {
        if (utf8_ != locale_t{}) {
            previous_ = ::uselocale(utf8_);
        }
    }
    ~Utf8ThreadLocale() {
        if (utf8_ != locale_t{}) {
            ::uselocale(previous_);
            ::freelocale(utf8_);
        }
    }
    Utf8ThreadLocale(const Utf8ThreadLocale&) = delete;
    Utf8ThreadLocale& operator=(const Utf8ThreadLocale&) = delete;

  private:
    locale_t utf8_;
    locale_t previous_{};
};
#endif

Reader openReader(std::span<const std::uint8_t> bytes) {
    Reader reader(archive_read_new());
    if (!reader) {
        return {};
    }
    // Only the two formats, no outer compression filter: a .zip or .7z is
    // read, nothing that merely decompresses to one.
    if (archive_read_support_format_zip(reader.get()) != ARCHIVE_OK ||
        archive_read_support_format_7zip(reader.get()) != ARCHIVE_OK) {
        return {};
    }
#ifdef _WIN32
    // Zip names without the UTF-8 flag are mostly UTF-8 in practice (zip
    // writes them so on Linux); Windows would take them in its OEM code page.
    if (archive_read_set_format_option(reader.get(), "zip", "hdrcharset", "UTF-8") != ARCHIVE_OK) {
        return {};
    }
#endif
    if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
        return {};
    }
    return reader;
}

#ifdef _WIN32
// Windows' libarchive keeps names as UTF-16 and gives no UTF-8 form of a
// non-ASCII one; a lone surrogate becomes U+FFFD.
std::string fromUtf16(const wchar_t* wide) {
    std::string out;
    for (; *wide != 0; ++wide) {
        std::uint32_t code = static_cast<std::uint16_t>(*wide);
        if (code >= 0xD800 && code <= 0xDBFF) {
            const auto low = static_cast<std::uint16_t>(wide[1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00u);
                ++wide;
            } else {
                code = 0xFFFD;
            }
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        appendUtf8(out, code);
    }
    return out;
}
#endif

// A zip name without the UTF-8 flag is in code page 437 by the format's
// definition; read that way when its bytes are not UTF-8 already.
std::string fromCodePage437(std::string_view text) {
    static constexpr std::array<std::uint16_t, 128> kHigh{
        0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
        0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
        0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
        0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
        0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
        0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
        0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
        0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
        0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
        0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
        0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
        0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
    };
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        appendUtf8(out, byte < 0x80 ? byte : kHigh[byte - 0x80u]);
    }
    return out;
}

std::string memberName(struct archive_entry* entry) {
#ifdef _WIN32
    if (const wchar_t* wide = archive_entry_pathname_w(entry)) {
        return fromUtf16(wide);
    }
#endif
    if (const char* utf8 = archive_entry_pathname_utf8(entry)) {
        if (isValidUtf8(utf8)) {
            return utf8;
        }
    }
    const char* stored = archive_entry_pathname(entry);
    if (stored == nullptr) {
        return {};
    }
    return isValidUtf8(stored) ? std::string(stored) : fromCodePage437(stored);
}

enum class DataResult {
    Read,       // the whole member is in the image
    Unreadable, // this member only; the reader goes on with the next
    Broken,     // the reader cannot go on
};

DataResult readMemberData(struct archive* reader, struct archive_entry* entry, Bytes& out) {
    if (archive_entry_is_encrypted(entry) != 0) {
        return DataResult::Unreadable;
    }
    if (archive_entry_size_is_set(entry) != 0) {
        const la_int64_t declared = archive_entry_size(entry);
        if (declared < 0 || static_cast<std::uint64_t>(declared) >= kMemberLimit) {
            return DataResult::Unreadable;
        }
        out.reserve(static_cast<std::size_t>(
            std::min(static_cast<std::uint64_t>(declared), kReserveLimit)));
    }
    for (;;) {
        const void* block = nullptr;
        std::size_t length = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &length, &offset);
        if (status == ARCHIVE_EOF) {
            return DataResult::Read;
        }
        if (status == ARCHIVE_FATAL) {
            return DataResult::Broken;
        }
        // A warning here is a failed check (the member's CRC): as corrupt as
        // a failure.
        if (status != ARCHIVE_OK || offset < 0 || static_cast<std::uint64_t>(offset) < out.size()) {
            return DataResult::Unreadable;
        }
        const auto start = static_cast<std::uint64_t>(offset);
        if (start >= kMemberLimit || length >= kMemberLimit - start) {
            return DataResult::Unreadable;
        }
        // A gap before the block is a hole of zeros.
        out.resize(static_cast<std::size_t>(start), 0);
        if (length > 0) {
            const std::size_t at = out.size();
            if (out.capacity() - at < length) {
                out.reserve(std::max(at + length, std::min<std::size_t>(at * 2, kMemberLimit)));
            }
            out.resize(at + length);
            std::memcpy(out.data() + at, block, length);
        }
    }
}

} // namespace

bool isArchive(std::span<const std::uint8_t> head) {
    // A zip begins with a local file header, or with the end record when it
    // holds no member at all.
    if (head.size() >= 4 && head[0] == 'P' && head[1] == 'K' &&
        ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6))) {
        return true;
    }
    return hasBytesAt(head, 0, kSevenZipMagic);
}

bool forEachArchiveMember(std::span<const std::uint8_t> archive,
                          const std::function<void(ArchiveMember&)>& visit) {
#ifndef _WIN32
    const Utf8ThreadLocale utf8Names;
#endif
    Reader reader = openReader(archive);
    if (!reader) {
        return false;
    }
    std::uint64_t index = 0; // of the next header, members and folders alike
    int reopenings = 0;
    for (;;) {
        struct archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            return true;
        }
        if (status == ARCHIVE_FATAL || entry == nullptr) {
            return false;
        }
        ++index;
        if (archive_entry_filetype(entry) != AE_IFREG) {
            continue;
        }
        ArchiveMember member;
        member.name = memberName(entry);
        DataResult result = DataResult::Unreadable;
        if (status != ARCHIVE_FAILED) {
            try {
                result = readMemberData(reader.get(), entry, member.bytes);
            } catch (const std::bad_alloc&) {
                // Too large for this machine's memory: as unreadable as a
                // member beyond the size limit.
                result = DataResult::Unreadable;
            }
        }
        member.readable = result == DataResult::Read;
        if (!member.readable) {
            member.bytes = Bytes();
        }
        visit(member);
        if (result == DataResult::Broken) {
            // The reader is done for; a fresh one skips to where this one was.
            if (++reopenings > kMaxReopenings) {
                return false;
            }
            reader = openReader(archive);
            if (!reader) {
                return false;
            }
            for (std::uint64_t skipped = 0; skipped < index; ++skipped) {
                const int skip = archive_read_next_header(reader.get(), &entry);
                if (skip == ARCHIVE_FATAL || skip == ARCHIVE_EOF) {
                    return false;
                }
            }
        }
    }
}
