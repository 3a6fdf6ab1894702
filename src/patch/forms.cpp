#include "patch/forms.h"

#include <algorithm>

#include "hash/digests.h"
#include "inspect/snes_header.h"
#include "repair/repair.h"

namespace {

// The same rules the two repair commands apply, on copies of the ROM. Only a
// .v64 or .n64 image changes; its mark is in the first four bytes, so a whole
// copy is made only for one of those.
const std::optional<Bytes>& z64Form(RomForms& forms) {
    if (!forms.z64Tried) {
        forms.z64Tried = true;
        const std::span<const std::uint8_t> rom = forms.rom;
        Bytes head(rom.begin(),
                   rom.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(rom.size(), 4)));
        if (convertN64ImageToBigEndian(head) &&
            !std::equal(head.begin(), head.end(), rom.begin())) {
            forms.z64.emplace(rom.begin(), rom.end());
            convertN64ImageToBigEndian(*forms.z64);
        }
    }
    return forms.z64;
}

std::uint32_t remembered(std::optional<std::uint32_t>& crc, std::span<const std::uint8_t> bytes) {
    if (!crc) {
        crc = crc32(bytes);
    }
    return *crc;
}

} // namespace

std::optional<std::span<const std::uint8_t>> formBytes(RomForms& forms, SourceMatch form) {
    switch (form) {
    case SourceMatch::Yes:
    case SourceMatch::YesBackwards:
        return forms.rom;
    case SourceMatch::YesAfterStripHeader:
        if (!hasCopierHeaderSize(forms.rom.size())) {
            return std::nullopt;
        }
        return forms.rom.subspan(static_cast<std::size_t>(copierHeaderSize));
    case SourceMatch::YesAfterN64Endian:
        if (const std::optional<Bytes>& z64 = z64Form(forms)) {
            return std::span<const std::uint8_t>(*z64);
        }
        return std::nullopt;
    case SourceMatch::No:
    case SourceMatch::NotChecked:
        break;
    }
    return std::nullopt;
}

std::uint32_t formCrc(RomForms& forms, SourceMatch form) {
    const std::span<const std::uint8_t> bytes = formBytes(forms, form).value_or(forms.rom);
    switch (form) {
    case SourceMatch::YesAfterStripHeader:
        return remembered(forms.strippedCrc, bytes);
    case SourceMatch::YesAfterN64Endian:
        return remembered(forms.z64Crc, bytes);
    default:
        return remembered(forms.romCrc, bytes);
    }
}
