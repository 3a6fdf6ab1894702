#include "patch/formats.h"

#include <algorithm>
#include <array>

namespace {

struct FormatRow {
    PatchFormat format;
    std::string_view name;
    std::span<const std::uint8_t> magic;
    PatchSummary (*describe)(std::span<const std::uint8_t> patch);
};

template <class Summary, Summary (*describe)(std::span<const std::uint8_t>)>
PatchSummary describeAs(std::span<const std::uint8_t> patch) {
    return describe(patch);
}

// One row a format, in the order the magics are tried.
constexpr std::array<FormatRow, 4> formatTable{{
    {PatchFormat::Ips, ips::name, ips::magic, describeAs<ips::Summary, ips::describe>},
    {PatchFormat::Bps, bps::name, bps::magic, describeAs<bps::Summary, bps::describe>},
    {PatchFormat::Ups, ups::name, ups::magic, describeAs<ups::Summary, ups::describe>},
    {PatchFormat::Vcdiff, vcdiff::name, vcdiff::magic,
     describeAs<vcdiff::Summary, vcdiff::describe>},
}};

static_assert(std::variant_size_v<PatchSummary> == formatTable.size() + 1,
              "one summary a row, after monostate");

const FormatRow* rowFor(std::span<const std::uint8_t> patch) {
    for (const FormatRow& row : formatTable) {
        if (hasBytesAt(patch, 0, row.magic)) {
            return &row;
        }
    }
    return nullptr;
}

} // namespace

PatchFormat detectPatchFormat(std::span<const std::uint8_t> patch) {
    const FormatRow* row = rowFor(patch);
    return row != nullptr ? row->format : PatchFormat::Unknown;
}

std::string_view formatName(PatchFormat format) {
    for (const FormatRow& row : formatTable) {
        if (row.format == format) {
            return row.name;
        }
    }
    return "Unknown";
}

PatchFormat formatOf(const PatchSummary& summary) {
    return static_cast<PatchFormat>(summary.index());
}

PatchSummary describePatch(std::span<const std::uint8_t> patch) {
    const FormatRow* row = rowFor(patch);
    return row != nullptr ? row->describe(patch) : PatchSummary{};
}
