#include "patch/vcdiff.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "base/byte_order.h"
#include "patch/vcdiff_format.h"
#include "patch/vcdiff_secondary.h"

namespace vcdiff {

namespace {

// One window's target is at most 256 MiB: xdelta3 itself refuses more than
// 16 MiB, other encoders may put a whole cartridge image in one window, and
// no image is larger than 128 MiB. The whole target is at most 4 GiB, the cap
// of the other patch formats. A decoded secondary section may hold at most
// two bytes per target byte and 64 KiB more (an encoder spends at most one
// data byte, about one instruction byte and, for copies of at least 4 bytes,
// at most 1.25 address bytes per target byte), so that a short hostile
// section cannot claim a huge buffer.
constexpr std::uint64_t maximumWindowTarget = std::uint64_t{256} << 20;
constexpr std::uint64_t maximumTargetSize = largestPatchTarget;
constexpr std::uint64_t sectionSlack = 1 << 16;

struct Header {
    Compression compression = Compression::None;
    CodeTable table = defaultCodeTable();
    std::size_t windowsStart = 0;
    bool openVcdiff = false; // open-vcdiff's own variant (version 'S')
};

struct WindowFrame {
    std::uint8_t indicator = 0;
    std::uint64_t segmentLength = 0;
    std::uint64_t segmentOffset = 0;
    std::uint64_t targetLength = 0;
    std::uint8_t deltaIndicator = 0;
    std::uint32_t adler32 = 0;
    std::span<const std::uint8_t> data;
    std::span<const std::uint8_t> inst;
    std::span<const std::uint8_t> addr;
    // open-vcdiff's interleaved window: each instruction's data or address
    // follows it in the instruction section, the other two sections empty.
    bool interleaved = false;
};

Result decodeDelta(std::span<const std::uint8_t> source, std::span<const std::uint8_t> patch,
                   bool allowCodeTable);

// A custom table is checked once: every type known and every COPY mode
// within the address caches the header declares.
bool validTable(const CodeTable& table) {
    const unsigned modes = 2u + table.nearSize + table.sameSize;
    for (const CodeEntry& e : table.entries) {
        for (const Instruction& in : {e.first, e.second}) {
            if (in.type > Copy || (in.type == Copy && in.mode >= modes)) {
                return false;
            }
        }
    }
    return true;
}

std::optional<CodeTable> decodeCodeTable(std::uint8_t nearSize, std::uint8_t sameSize,
                                         std::span<const std::uint8_t> delta) {
    const auto base = codeTableString(defaultCodeTable());
    const Result decoded = decodeDelta(base, delta, false);
    if (decoded.outcome != Outcome::Applied || decoded.target.size() != codeTableStringSize) {
        return std::nullopt;
    }
    const Bytes& s = decoded.target;
    CodeTable table;
    table.nearSize = nearSize;
    table.sameSize = sameSize;
    for (std::size_t i = 0; i < 256; ++i) {
        table.entries[i] = {{s[i], s[512 + i], s[1024 + i]}, {s[256 + i], s[768 + i], s[1280 + i]}};
    }
    if (!validTable(table)) {
        return std::nullopt;
    }
    return table;
}

// The header: magic, version (0, or open-vcdiff's 'S'), indicator, the
// secondary compressor, a custom code table, xdelta3's application header
// (skipped).
std::optional<Header> readHeader(std::span<const std::uint8_t> patch, bool allowCodeTable) {
    Reader in(patch);
    std::span<const std::uint8_t> magic;
    std::uint8_t version = 0;
    std::uint8_t indicator = 0;
    if (!in.take(3, magic) || !std::equal(magic.begin(), magic.end(), vcdiff::magic.begin()) ||
        !in.byte(version) || (version != 0 && version != openVcdiffVersion) ||
        !in.byte(indicator) || (indicator & ~(hasSecondary | hasCodeTable | hasAppHeader)) != 0) {
        return std::nullopt;
    }
    Header header;
    header.openVcdiff = version == openVcdiffVersion;
    if ((indicator & hasSecondary) != 0) {
        std::uint8_t id = 0;
        if (!in.byte(id)) {
            return std::nullopt;
        }
        switch (id) {
        case djwId:
            header.compression = Compression::Djw;
            break;
        case lzmaId:
            header.compression = Compression::Lzma;
            break;
        case fgkId:
            header.compression = Compression::Fgk;
            break;
        default:
            return std::nullopt;
        }
    }
    if ((indicator & hasCodeTable) != 0) {
        // The length counts the two cache sizes and the delta that follows
        // them; a table inside a table is not allowed.
        std::uint64_t length = 0;
        std::uint8_t nearSize = 0;
        std::uint8_t sameSize = 0;
        std::span<const std::uint8_t> delta;
        if (!allowCodeTable || !in.integer(length) || length < 2 || !in.byte(nearSize) ||
            !in.byte(sameSize) || !in.take(length - 2, delta)) {
            return std::nullopt;
        }
        std::optional<CodeTable> table = decodeCodeTable(nearSize, sameSize, delta);
        if (!table) {
            return std::nullopt;
        }
        header.table = *table;
    }
    if ((indicator & hasAppHeader) != 0) {
        std::uint64_t length = 0;
        std::span<const std::uint8_t> skipped;
        if (!in.integer(length) || !in.take(length, skipped)) {
            return std::nullopt;
        }
    }
    header.windowsStart = in.position();
    return header;
}

// One window's framing: the copy segment, the lengths, the checksum and the
// three sections. targetSoFar is the length of the target before it, which a
// target segment must lie within.
bool readWindow(Reader& in, const Header& header, std::uint64_t targetSoFar, WindowFrame& w) {
    if (!in.byte(w.indicator) ||
        (w.indicator & ~(sourceSegment | targetSegment | hasAdler32)) != 0 ||
        (w.indicator & (sourceSegment | targetSegment)) == (sourceSegment | targetSegment)) {
        return false;
    }
    if ((w.indicator & (sourceSegment | targetSegment)) != 0) {
        if (!in.integer(w.segmentLength) || !in.integer(w.segmentOffset) ||
            w.segmentOffset > std::numeric_limits<std::uint64_t>::max() - w.segmentLength) {
            return false;
        }
        if ((w.indicator & targetSegment) != 0 && w.segmentOffset + w.segmentLength > targetSoFar) {
            return false;
        }
    }
    std::uint64_t encodingLength = 0;
    if (!in.integer(encodingLength) || encodingLength > in.remaining()) {
        return false;
    }
    const std::size_t encodingStart = in.position();
    std::uint64_t dataLength = 0;
    std::uint64_t instLength = 0;
    std::uint64_t addrLength = 0;
    if (!in.integer(w.targetLength) || w.targetLength > maximumWindowTarget ||
        !in.byte(w.deltaIndicator) ||
        (w.deltaIndicator & ~(dataCompressed | instCompressed | addrCompressed)) != 0 ||
        (w.deltaIndicator != 0 && header.compression == Compression::None) ||
        !in.integer(dataLength) || !in.integer(instLength) || !in.integer(addrLength)) {
        return false;
    }
    if ((w.indicator & hasAdler32) != 0) {
        // xdelta3 writes the sum as four bytes, open-vcdiff as an integer.
        std::span<const std::uint8_t> sum;
        std::uint64_t value = 0;
        if (header.openVcdiff) {
            if (!in.integer(value) || value > std::numeric_limits<std::uint32_t>::max()) {
                return false;
            }
        } else if (in.take(4, sum)) {
            value = readBE32(sum, 0);
        } else {
            return false;
        }
        w.adler32 = static_cast<std::uint32_t>(value);
    }
    w.interleaved = header.openVcdiff && dataLength == 0 && addrLength == 0;
    return in.take(dataLength, w.data) && in.take(instLength, w.inst) &&
           in.take(addrLength, w.addr) && in.position() - encodingStart == encodingLength;
}

struct Framing {
    bool wellFormed = false;
    bool openVcdiff = false;
    std::uint64_t windows = 0;
    std::uint64_t targetSize = 0;
    bool checksums = false;
};

Framing readFraming(std::span<const std::uint8_t> patch, const Header& header) {
    Framing framing;
    framing.openVcdiff = header.openVcdiff;
    Reader in(patch);
    std::span<const std::uint8_t> skipped;
    in.take(header.windowsStart, skipped);
    while (!in.atEnd()) {
        WindowFrame w;
        if (!readWindow(in, header, framing.targetSize, w) ||
            w.targetLength > maximumTargetSize - framing.targetSize) {
            return framing;
        }
        ++framing.windows;
        framing.targetSize += w.targetLength;
        framing.checksums = framing.checksums || (w.indicator & hasAdler32) != 0;
    }
    // Encoders write at least one window, if empty; a delta without any is
    // one cut off after its header.
    framing.wellFormed = framing.windows > 0;
    return framing;
}

// The secondary decoders of one delta: one state per kind of section.
struct SecondaryStreams {
    Compression compression = Compression::None;
    std::array<LzmaSectionStream, 3> lzma;
    std::array<std::unique_ptr<FgkState>, 3> fgk;
    std::array<Bytes, 3> buffers; // decoded sections, reused window after window
};

// A compressed section: its decoded size, then the compressed bytes, all of
// which the decoder must use up.
bool decodeSection(SecondaryStreams& streams, std::size_t kind, std::uint64_t targetLength,
                   std::span<const std::uint8_t>& section) {
    Reader in(section);
    std::uint64_t size = 0;
    if (!in.integer(size) || size == 0 || size > targetLength * 2 + sectionSlack) {
        return false;
    }
    std::span<const std::uint8_t> packed;
    in.take(in.remaining(), packed);
    Bytes& out = streams.buffers[kind];
    out.resize(static_cast<std::size_t>(size));
    bool ok = false;
    switch (streams.compression) {
    case Compression::Lzma:
        ok = decodeLzmaSection(streams.lzma[kind], packed, out);
        break;
    case Compression::Djw:
        ok = decodeDjwSection(packed, out);
        break;
    case Compression::Fgk:
        if (!streams.fgk[kind]) {
            streams.fgk[kind] = std::make_unique<FgkState>();
        }
        ok = decodeFgkSection(*streams.fgk[kind], packed, out);
        break;
    case Compression::None:
        break;
    }
    section = out;
    return ok;
}

enum class WindowResult { Decoded, Damaged, WrongSource };

// Runs one window's instructions into out (exactly the window's target
// length), copying from the segment or from the window's own earlier output.
bool runInstructions(const CodeTable& table, AddressCache& cache, const WindowFrame& w,
                     std::span<const std::uint8_t> segment, std::uint8_t* out) {
    Reader inst(w.inst);
    Reader separateData(w.data);
    Reader separateAddr(w.addr);
    Reader& data = w.interleaved ? inst : separateData;
    Reader& addr = w.interleaved ? inst : separateAddr;
    const std::uint64_t segmentLength = segment.size();
    const std::uint64_t length = w.targetLength;
    std::uint64_t produced = 0;
    while (!inst.atEnd()) {
        std::uint8_t opcode = 0;
        inst.byte(opcode);
        const CodeEntry& entry = table.entries[opcode];
        for (const Instruction& half : {entry.first, entry.second}) {
            if (half.type == Noop) {
                continue;
            }
            std::uint64_t size = half.size;
            if (size == 0 && !inst.integer(size)) {
                return false;
            }
            if (size > length - produced) {
                return false;
            }
            const auto n = static_cast<std::size_t>(size);
            std::uint8_t* dst = out + produced;
            std::span<const std::uint8_t> bytes;
            switch (half.type) {
            case Add:
                if (!data.take(size, bytes)) {
                    return false;
                }
                if (n > 0) { // an empty section has no data pointer to copy from
                    std::memcpy(dst, bytes.data(), n);
                }
                break;
            case Run:
                if (!data.take(1, bytes)) {
                    return false;
                }
                if (n > 0) {
                    std::memset(dst, bytes[0], n);
                }
                break;
            default: {
                std::uint64_t address = 0;
                if (!cache.decode(half.mode, segmentLength + produced, addr, address)) {
                    return false;
                }
                if (address < segmentLength) {
                    // A copy stays within the segment, as xdelta3 requires.
                    if (size > segmentLength - address) {
                        return false;
                    }
                    if (n > 0) {
                        std::memcpy(dst, segment.data() + address, n);
                    }
                } else {
                    // From the window's own output: where it overlaps what it
                    // writes, it repeats the pattern between the two.
                    const std::uint8_t* src = out + (address - segmentLength);
                    std::size_t left = n;
                    while (left > 0) {
                        const std::size_t step =
                            std::min(left, static_cast<std::size_t>(dst - src));
                        std::memcpy(dst, src, step);
                        dst += step;
                        left -= step;
                    }
                }
                break;
            }
            }
            produced += size;
        }
    }
    return produced == length && separateData.atEnd() && separateAddr.atEnd();
}

Result decodeDelta(std::span<const std::uint8_t> source, std::span<const std::uint8_t> patch,
                   bool allowCodeTable) {
    Result result;
    const std::optional<Header> header = readHeader(patch, allowCodeTable);
    if (!header) {
        return result;
    }
    const Framing framing = readFraming(patch, *header);
    if (!framing.wellFormed) {
        return result;
    }
    Bytes target;
    try {
        target.resize(static_cast<std::size_t>(framing.targetSize));
    } catch (const std::bad_alloc&) {
        return result;
    }
    SecondaryStreams streams;
    streams.compression = header->compression;
    AddressCache cache(header->table.nearSize, header->table.sameSize);
    Reader in(patch);
    std::span<const std::uint8_t> skipped;
    in.take(header->windowsStart, skipped);
    std::uint64_t written = 0;
    bool wrongSource = false;
    while (!in.atEnd()) {
        WindowFrame w;
        readWindow(in, *header, written, w); // already checked by readFraming
        std::span<const std::uint8_t> segment;
        if ((w.indicator & sourceSegment) != 0) {
            // A segment beyond the end of the ROM: the patch wants a larger one.
            if (w.segmentOffset > source.size() ||
                w.segmentLength > source.size() - w.segmentOffset) {
                result.outcome = Outcome::WrongSource;
                return result;
            }
            segment = source.subspan(static_cast<std::size_t>(w.segmentOffset),
                                     static_cast<std::size_t>(w.segmentLength));
        } else if ((w.indicator & targetSegment) != 0) {
            segment = std::span<const std::uint8_t>(target).subspan(
                static_cast<std::size_t>(w.segmentOffset),
                static_cast<std::size_t>(w.segmentLength));
        }
        const std::array<std::pair<std::uint8_t, std::span<const std::uint8_t>*>, 3> sections{
            {{dataCompressed, &w.data}, {instCompressed, &w.inst}, {addrCompressed, &w.addr}}};
        for (std::size_t kind = 0; kind < sections.size(); ++kind) {
            if ((w.deltaIndicator & sections[kind].first) != 0 &&
                !decodeSection(streams, kind, w.targetLength, *sections[kind].second)) {
                return result;
            }
        }
        cache.reset();
        std::uint8_t* out = target.data() + static_cast<std::size_t>(written);
        if (!runInstructions(header->table, cache, w, segment, out)) {
            return result;
        }
        if ((w.indicator & hasAdler32) != 0 &&
            adler32({out, static_cast<std::size_t>(w.targetLength)}, header->openVcdiff ? 0 : 1) !=
                w.adler32) {
            wrongSource = true;
        }
        written += w.targetLength;
    }
    if (wrongSource) {
        result.outcome = Outcome::WrongSource;
        return result;
    }
    result.outcome = Outcome::Applied;
    result.target = std::move(target);
    return result;
}

// Only the ROM as it is tells damage from another ROM; a repaired form the
// patch cannot be decoded against is simply not its source.
struct Decoded {
    Outcome outcome = Outcome::Damaged;
    SourceMatch form = SourceMatch::No;
    Bytes target;
};

Decoded decodeAgainst(std::span<const std::uint8_t> patch, RomForms& rom) {
    Result result = apply(rom.rom, patch);
    if (result.outcome != Outcome::WrongSource) {
        return {result.outcome, SourceMatch::Yes, std::move(result.target)};
    }
    const SourceMatch form =
        firstFittingRepairedForm(rom, [&](SourceMatch, std::span<const std::uint8_t> bytes) {
            result = apply(bytes, patch);
            return result.outcome == Outcome::Applied;
        });
    if (form == SourceMatch::No) {
        return {Outcome::WrongSource, SourceMatch::No, {}};
    }
    return {Outcome::Applied, form, std::move(result.target)};
}

} // namespace

Summary describe(std::span<const std::uint8_t> patch) {
    Summary summary;
    const std::optional<Header> header = readHeader(patch, true);
    if (!header) {
        return summary;
    }
    const Framing framing = readFraming(patch, *header);
    summary.wellFormed = framing.wellFormed;
    summary.windows = framing.windows;
    summary.targetSize = framing.targetSize;
    summary.compression = header->compression;
    summary.checksums = framing.checksums;
    summary.openVcdiff = framing.openVcdiff;
    return summary;
}

bool wellFormed(const Summary& summary) {
    return summary.wellFormed;
}

SourceMatch match(const Summary& summary, std::span<const std::uint8_t> patch, RomForms& rom) {
    if (!summary.wellFormed) {
        return SourceMatch::No;
    }
    if (!summary.checksums) {
        return SourceMatch::NotChecked;
    }
    const Decoded decoded = decodeAgainst(patch, rom);
    return decoded.outcome == Outcome::Applied ? decoded.form : SourceMatch::No;
}

ApplyResult applyChecked(const Summary&, std::span<const std::uint8_t> patch, RomForms& rom) {
    Decoded decoded = decodeAgainst(patch, rom);
    switch (decoded.outcome) {
    case Outcome::Applied:
        return appliedTo(decoded.form, std::move(decoded.target));
    case Outcome::Damaged:
        return damagedPatch();
    case Outcome::WrongSource:
        break;
    }
    return otherRom();
}

Result apply(std::span<const std::uint8_t> source, std::span<const std::uint8_t> patch) {
    return decodeDelta(source, patch, true);
}

} // namespace vcdiff
