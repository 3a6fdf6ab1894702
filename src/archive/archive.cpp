#include "archive/archive.h"

#include "base/bytes.h"
#include "base/code_page_437.h"
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
    return forEachArchiveMember(archive, visit, {});
}

bool forEachArchiveMember(std::span<const std::uint8_t> archive,
                          const std::function<void(ArchiveMember&)>& visit,
                          const std::function<bool(const std::string&)>& wanted) {
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
        if (wanted && !wanted(member.name)) {
            continue;
        }
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
