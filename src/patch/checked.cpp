#include "patch/checked.h"

#include <type_traits>

namespace {

template <class Summary> constexpr bool known = !std::is_same_v<Summary, std::monostate>;

} // namespace

bool patchWellFormed(const PatchSummary& patch) {
    return std::visit(
        [](const auto& summary) {
            if constexpr (known<std::decay_t<decltype(summary)>>) {
                return wellFormed(summary);
            } else {
                return false;
            }
        },
        patch);
}

SourceMatch matchSource(const PatchSummary& summary, std::span<const std::uint8_t> patch,
                        RomForms& rom) {
    return std::visit(
        [&](const auto& format) {
            if constexpr (known<std::decay_t<decltype(format)>>) {
                return match(format, patch, rom);
            } else {
                return SourceMatch::No;
            }
        },
        summary);
}

SourceMatch matchSource(const PatchSummary& summary, std::span<const std::uint8_t> patch,
                        std::span<const std::uint8_t> rom) {
    RomForms forms(rom);
    return matchSource(summary, patch, forms);
}

bool patchFits(const PatchSummary& patch, std::optional<SourceMatch> match) {
    return patchWellFormed(patch) &&
           (!match || *match == SourceMatch::Yes || *match == SourceMatch::YesBackwards ||
            *match == SourceMatch::NotChecked);
}

ApplyResult applyPatchChecked(const PatchSummary& summary, std::span<const std::uint8_t> rom,
                              std::span<const std::uint8_t> patch) {
    RomForms forms(rom);
    return std::visit(
        [&](const auto& format) {
            if constexpr (known<std::decay_t<decltype(format)>>) {
                return applyChecked(format, patch, forms);
            } else {
                return damagedPatch();
            }
        },
        summary);
}
