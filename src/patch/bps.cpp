#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

#include "hash/digests.h"
#include "io/output_file.h"
#include "patch/bps.h"
#include "patch/bps_number.h"
#include "patch/patch.h"

namespace bps {

namespace {

// Source, target and patch CRC-32. They are never read: the commands end
// where the footer begins, though a command's own bytes may reach into it.
constexpr std::size_t footerSize = crcFooterSize;

// The target is allocated before any command runs.
constexpr std::uint64_t maximumTargetSize = largestPatchTarget;

// Reads the patch front to back. Reads at the end of the patch stop instead
// of failing: a number cut off ends with the value gathered so far.
class PatchReader {
  public:
    explicit PatchReader(std::span<const std::uint8_t> patch) : patch_(patch) {}

    std::uint64_t position() const { return position_; }
    std::uint64_t remaining() const { return patch_.size() - position_; }
    bool atEnd() const { return position_ >= patch_.size(); }

    std::uint64_t number() { return readNumberWrapping(patch_, position_); }

    // Bit 0 is the sign, the rest the magnitude; a result below zero wraps.
    void adjustBySigned(std::uint64_t& relativeOffset) {
        const std::uint64_t d = number();
        if ((d & 1u) != 0) {
            relativeOffset -= d >> 1;
        } else {
            relativeOffset += d >> 1;
        }
    }

    void skip(std::uint64_t count) { position_ += std::min(count, remaining()); }
    const std::uint8_t* current() const { return patch_.data() + position_; }

  private:
    std::span<const std::uint8_t> patch_;
    std::uint64_t position_ = 0;
};

std::uint8_t* at(Bytes& target, std::uint64_t offset) {
    return target.data() + static_cast<std::size_t>(offset);
}

// SourceCopy: count bytes from the source at the relative offset, 0x00
// wherever the offset is at or beyond the end of the source (also after it
// wrapped below zero). The offset advances by count and may wrap back to 0.
void copyFromSource(std::span<const std::uint8_t> source, std::uint64_t& relativeOffset,
                    Bytes& target, std::uint64_t out, std::uint64_t count) {
    while (count > 0) {
        std::uint64_t n = 0;
        if (relativeOffset < source.size()) {
            n = std::min(count, source.size() - relativeOffset);
            std::copy_n(source.data() + relativeOffset, n, at(target, out));
        } else {
            // Up to where the offset wraps to 0; the source is never empty,
            // so that distance is at least 1.
            n = std::min(count, std::uint64_t{0} - relativeOffset);
            std::fill_n(at(target, out), n, std::uint8_t{0});
        }
        relativeOffset += n;
        out += n;
        count -= n;
    }
}

// TargetCopy reads bytes this same command may just have written: copied byte
// by byte, an offset d bytes behind the output repeats the last d bytes (d = 1
// fills the run with the previous byte). The same bytes come out of copies from
// the relative offset in chunks that stop short of the bytes being written:
// each chunk ends a whole number of periods d past the output offset, so the
// next may take everything from the relative offset up to it.
void copyWithinTarget(std::uint64_t& relativeOffset, Bytes& target, std::uint64_t out,
                      std::uint64_t count) {
    while (count > 0) {
        std::uint64_t n = count;
        if (relativeOffset < out) {
            const std::uint64_t distance = out - relativeOffset;
            for (std::uint64_t done = 0; done < count;) {
                const std::uint64_t chunk = std::min(distance + done, count - done);
                std::copy_n(at(target, relativeOffset), chunk, at(target, out + done));
                done += chunk;
            }
        } else if (relativeOffset >= target.size()) {
            // Past the end reads 0x00 up to where the offset wraps to 0 and
            // comes back to written bytes.
            n = std::min(count, std::uint64_t{0} - relativeOffset);
            std::fill_n(at(target, out), n, std::uint8_t{0});
        } else {
            // Nothing has written the bytes at and after the output offset, so
            // they read as 0x00, and an offset there stays ahead of the output.
            std::fill_n(at(target, out), count, std::uint8_t{0});
        }
        relativeOffset += n;
        out += n;
        count -= n;
    }
}

SourceMatch findSource(const Summary& summary, RomForms& rom) {
    return firstFittingForm(rom, [&](SourceMatch form, std::span<const std::uint8_t> bytes) {
        return formIs(rom, form, bytes, summary.sourceSize, summary.crcs.sourceCrc);
    });
}

} // namespace

Summary describe(std::span<const std::uint8_t> patch) {
    Summary summary;
    if (patch.size() < magic.size() + crcFooterSize) {
        return summary;
    }
    const std::uint64_t footer = patch.size() - crcFooterSize;
    std::uint64_t p = magic.size();
    const std::optional<std::uint64_t> source = readNumber(patch, p, footer);
    const std::optional<std::uint64_t> target =
        source ? readNumber(patch, p, footer) : std::nullopt;
    const std::optional<std::uint64_t> metadata =
        target ? readNumber(patch, p, footer) : std::nullopt;
    if (!metadata || *metadata > footer - p) {
        return summary;
    }
    summary.sizesReadable = true;
    summary.sourceSize = *source;
    summary.targetSize = *target;
    summary.metadataSize = *metadata;
    summary.crcs = readCrcFooter(patch);
    return summary;
}

bool wellFormed(const Summary& summary) {
    return summary.sizesReadable && patchCrcHolds(summary.crcs);
}

SourceMatch match(const Summary& summary, std::span<const std::uint8_t>, RomForms& rom) {
    return summary.sizesReadable ? findSource(summary, rom) : SourceMatch::No;
}

ApplyResult applyChecked(const Summary& summary, std::span<const std::uint8_t> patch,
                         RomForms& rom) {
    if (!wellFormed(summary)) {
        return damagedPatch();
    }
    const SourceMatch form = findSource(summary, rom);
    if (form == SourceMatch::No) {
        return otherRom(romCrc(rom), summary.crcs.sourceCrc);
    }
    const std::span<const std::uint8_t> source = *formBytes(rom, form);
    // The patcher takes no empty source; a single 0x00 reads the same,
    // since every read beyond a source gives 0x00.
    static constexpr std::array<std::uint8_t, 1> zero{0};
    std::optional<Bytes> output =
        apply(source.empty() ? std::span<const std::uint8_t>(zero) : source, patch);
    if (!output || output->size() != summary.targetSize ||
        crc32(*output) != summary.crcs.targetCrc) {
        return damagedPatch();
    }
    return appliedTo(form, std::move(*output));
}

std::optional<Bytes> apply(std::span<const std::uint8_t> source,
                           std::span<const std::uint8_t> patch) {
    if (source.empty() || patch.size() < footerSize || !hasBytesAt(patch, 0, magic)) {
        return std::nullopt;
    }
    PatchReader reader(patch);
    reader.skip(magic.size());
    // The source size is skipped, never compared with the real source.
    (void)reader.number();
    if (reader.atEnd()) {
        return Bytes{};
    }
    const std::uint64_t targetSize = reader.number();
    const std::uint64_t metadataSize = reader.atEnd() ? 0 : reader.number();
    // Metadata longer than the rest of the patch leaves no commands.
    reader.skip(metadataSize);
    if (targetSize == 0) {
        return Bytes{};
    }
    if (targetSize > maximumTargetSize) {
        return std::nullopt;
    }
    Bytes target;
    try {
        // Left uninitialised: the commands write every byte before the output
        // offset (0x00 explicitly where they read nothing), never read at or
        // past it, and the rest is zeroed once they are done.
        target.resize(static_cast<std::size_t>(targetSize));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }

    const std::uint64_t commandEnd = patch.size() - footerSize;
    std::uint64_t out = 0;
    std::uint64_t sourceRelative = 0;
    std::uint64_t targetRelative = 0;
    // Every command consumes at least its command byte, so this ends.
    while (reader.position() < commandEnd && out < targetSize) {
        const std::uint64_t word = reader.number();
        const std::uint64_t length = (word >> 2) + 1;
        // A command stops early at the end of the target.
        const std::uint64_t count = std::min(length, targetSize - out);
        switch (static_cast<Action>(word & 3u)) {
        case SourceRead: {
            std::uint64_t fromSource = 0;
            if (out < source.size()) {
                fromSource = std::min(count, source.size() - out);
                std::copy_n(source.data() + out, fromSource, at(target, out));
            }
            std::fill_n(at(target, out + fromSource), count - fromSource, std::uint8_t{0});
            out += count;
            break;
        }
        case TargetRead: {
            // Literal bytes may run into the footer, and stop at the end of the patch.
            const std::uint64_t n = std::min(count, reader.remaining());
            std::copy_n(reader.current(), n, at(target, out));
            reader.skip(n);
            out += n;
            break;
        }
        case SourceCopy:
            if (!reader.atEnd()) {
                reader.adjustBySigned(sourceRelative);
            }
            copyFromSource(source, sourceRelative, target, out, count);
            out += count;
            break;
        case TargetCopy:
            if (!reader.atEnd()) {
                reader.adjustBySigned(targetRelative);
            }
            copyWithinTarget(targetRelative, target, out, count);
            out += count;
            break;
        }
    }
    // Bytes that no command reached are 0x00.
    std::fill(target.begin() + static_cast<std::ptrdiff_t>(out), target.end(), std::uint8_t{0});
    return target;
}

} // namespace bps

bool applyBpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath) {
    return combineFiles(romPath, patchPath, outputPath, bps::apply);
}
