#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "base/bytes.h"
#include "patch/patch_info.h"

// One patch of any known format, applied with every check the format allows:
// the source before (BPS and UPS by CRC-32, UPS also backwards; VCDIFF by the
// Adler-32 of its windows; IPS not at all), retried after --strip-header and
// after --n64-endian, and the result after (BPS and UPS by CRC-32).

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

// An Unknown format is Damaged; callers detect the format first.
ApplyResult applyPatchChecked(PatchFormat format, std::span<const std::uint8_t> rom,
                              std::span<const std::uint8_t> patch);
