#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <utility>

#include "base/bytes.h"

// How a patch is checked against a ROM, whatever its format: which form of
// the ROM it was made for, and what applying it came to. The forms are the
// ROM as it is, then what --strip-header and --n64-endian would make of it,
// in that order; a UPS patch also fits its target, backwards.

enum class SourceMatch {
    Yes,
    YesBackwards,
    YesAfterStripHeader,
    YesAfterN64Endian,
    No,
    NotChecked
};

// The ROM and its repaired forms, each made and its CRC-32 taken at most
// once however many checks ask for them.
struct RomForms {
    explicit RomForms(std::span<const std::uint8_t> bytes) : rom(bytes) {}

    std::span<const std::uint8_t> rom;
    std::optional<std::uint32_t> romCrc;
    std::optional<std::uint32_t> strippedCrc;
    std::optional<std::uint32_t> z64Crc;
    bool z64Tried = false;
    std::optional<Bytes> z64; // the .z64 order of a .v64 or .n64 image
};

// The bytes of a form: the ROM for Yes and YesBackwards, else the repaired
// copy; nullopt where the repair's rule does not apply or changes nothing.
std::optional<std::span<const std::uint8_t>> formBytes(RomForms& forms, SourceMatch form);
// The CRC-32 of a form formBytes gives.
std::uint32_t formCrc(RomForms& forms, SourceMatch form);
inline std::uint32_t romCrc(RomForms& forms) {
    return formCrc(forms, SourceMatch::Yes);
}
// Whether a form is the file a patch names by size and CRC-32; the size is
// compared first, so a form of another size is never hashed.
inline bool formIs(RomForms& forms, SourceMatch form, std::span<const std::uint8_t> bytes,
                   std::uint64_t size, std::uint32_t crc) {
    return bytes.size() == size && formCrc(forms, form) == crc;
}

// The repaired forms in turn (YesAfterStripHeader, YesAfterN64Endian): the
// first that accept(form, bytes) takes, or No.
template <class Accept> SourceMatch firstFittingRepairedForm(RomForms& forms, Accept accept) {
    for (const SourceMatch form :
         {SourceMatch::YesAfterStripHeader, SourceMatch::YesAfterN64Endian}) {
        const std::optional<std::span<const std::uint8_t>> bytes = formBytes(forms, form);
        if (bytes && accept(form, *bytes)) {
            return form;
        }
    }
    return SourceMatch::No;
}

// The ROM as it is (Yes), else its repaired forms.
template <class Accept> SourceMatch firstFittingForm(RomForms& forms, Accept accept) {
    return accept(SourceMatch::Yes, forms.rom) ? SourceMatch::Yes
                                               : firstFittingRepairedForm(forms, accept);
}

enum class ApplyOutcome { Applied, Damaged, WrongSource };

struct ApplyResult {
    ApplyOutcome outcome = ApplyOutcome::Damaged;
    // How the ROM was taken when applied: Yes (as it is), YesBackwards,
    // YesAfterStripHeader or YesAfterN64Endian.
    SourceMatch form = SourceMatch::Yes;
    Bytes output; // when Applied
    // When a BPS or UPS patch was made for another ROM: the ROM's CRC-32 as
    // given and the source CRC-32 the patch names.
    std::optional<std::uint32_t> romCrc;
    std::optional<std::uint32_t> expectedCrc;
};

inline ApplyResult damagedPatch() {
    return {};
}

inline ApplyResult appliedTo(SourceMatch form, Bytes output) {
    ApplyResult result;
    result.outcome = ApplyOutcome::Applied;
    result.form = form;
    result.output = std::move(output);
    return result;
}

inline ApplyResult otherRom(std::optional<std::uint32_t> romCrc = std::nullopt,
                            std::optional<std::uint32_t> expectedCrc = std::nullopt) {
    ApplyResult result;
    result.outcome = ApplyOutcome::WrongSource;
    result.romCrc = romCrc;
    result.expectedCrc = expectedCrc;
    return result;
}

// The largest target any format's applier makes: a size field can claim up
// to 2^64 - 1 bytes, and 4 GiB is far beyond any cartridge image (the largest
// are 64 to 128 MiB) and stops one absurd patch from exhausting memory before
// it fails.
constexpr std::uint64_t largestPatchTarget =
    std::min<std::uint64_t>(std::uint64_t{1} << 32, std::numeric_limits<std::size_t>::max());
