#include <gtest/gtest.h>

#include "bps_crcs.h"
#include "patch/checked.h"
#include "patch/formats.h"
#include "rom_builders.h"
#include "ups_builder.h"

using namespace testing_support;

namespace {

const Bytes snes = makeSnes(0x8000, false, false, "SOURCE");
const Bytes z64 = makeNintendo64(0x1000, N64Order::Z64);
const Bytes target = filled(16, 0x42);

ByteList bpsFor(const Bytes& source, bool spoil = false) {
    return bpsWritingWhole(source, target, spoil);
}

// A UPS patch from the source to the target.
ByteList upsFor(const Bytes& source) {
    return toBytes(*ups::create(source, target));
}

struct Case {
    const char* name;
    Bytes rom;
    ByteList patch;
    ApplyOutcome outcome;
    SourceMatch form = SourceMatch::Yes;
    Bytes output = {};
    std::optional<std::uint32_t> expectedCrc = std::nullopt;
};

TEST(ApplyChecked, OutcomesAndForms) {
    const std::uint32_t snesCrc = crc32(snes);
    const Bytes headered = withCopierHeader(snes, 0x00);
    const Bytes v64 = makeNintendo64(0x1000, N64Order::V64);
    const Case cases[] = {
        {"IPS on an empty ROM", Bytes{}, IpsPatch().record(2, {9}).eof().bytes(),
         ApplyOutcome::Applied, SourceMatch::Yes, imageOf({0, 0, 9})},
        {"IPS cut off", snes, IpsPatch().record(2, {9}).raw({0, 0}).bytes(), ApplyOutcome::Damaged},
        {"BPS", snes, bpsFor(snes), ApplyOutcome::Applied, SourceMatch::Yes, target},
        {"BPS behind a copier header", headered, bpsFor(snes), ApplyOutcome::Applied,
         SourceMatch::YesAfterStripHeader, target},
        {"BPS for .z64 on .v64", v64, bpsFor(z64), ApplyOutcome::Applied,
         SourceMatch::YesAfterN64Endian, target},
        {"BPS for another ROM",
         z64,
         bpsFor(snes),
         ApplyOutcome::WrongSource,
         SourceMatch::Yes,
         {},
         snesCrc},
        {"BPS with its own CRC wrong", snes, bpsFor(snes, true), ApplyOutcome::Damaged},
        {"BPS whose result misses its target CRC", snes,
         withBpsCrcs(BpsPatch(snes.size(), 16).targetRead(filled(16, 0x41)).bytes(), snes, target),
         ApplyOutcome::Damaged},
        {"BPS from nothing", Bytes{},
         withBpsCrcs(BpsPatch(0, 16).targetRead(target).bytes(), Bytes{}, target),
         ApplyOutcome::Applied, SourceMatch::Yes, target},
        {"UPS", snes, upsFor(snes), ApplyOutcome::Applied, SourceMatch::Yes, target},
        {"UPS backwards", target, upsFor(snes), ApplyOutcome::Applied, SourceMatch::YesBackwards,
         snes},
        {"UPS behind a copier header", headered, upsFor(snes), ApplyOutcome::Applied,
         SourceMatch::YesAfterStripHeader, target},
        {"UPS for .z64 on .v64", v64, upsFor(z64), ApplyOutcome::Applied,
         SourceMatch::YesAfterN64Endian, target},
        {"UPS for another ROM",
         z64,
         upsFor(snes),
         ApplyOutcome::WrongSource,
         SourceMatch::Yes,
         {},
         snesCrc},
        {"UPS with its own CRC wrong", snes, UpsPatch(snes.size(), 16).bytes(snes, target, true),
         ApplyOutcome::Damaged},
        {"UPS whose result misses its target CRC", snes,
         UpsPatch(snes.size(), 16).bytes(snes, filled(16, 1)), ApplyOutcome::Damaged},
        {"UPS hunk without its terminator", snes,
         UpsPatch(snes.size(), 16).raw({0x80, 0x01}).bytes(snes, target), ApplyOutcome::Damaged},
        {"VCDIFF header cut off", snes, ByteList{0xD6, 0xC3, 0xC4}, ApplyOutcome::Damaged},
        {"unknown", snes, ByteList{'X'}, ApplyOutcome::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PatchSummary summary = describePatch(c.patch);
        const ApplyResult r = applyPatchChecked(summary, c.rom, c.patch);
        EXPECT_EQ(r.outcome, c.outcome);
        // --patch-info names the form --apply takes: the one policy for both.
        const SourceMatch match = matchSource(summary, c.patch, c.rom);
        if (c.outcome == ApplyOutcome::Applied) {
            EXPECT_EQ(r.form, c.form);
            EXPECT_EQ(r.output, c.output);
            EXPECT_TRUE(match == c.form || match == SourceMatch::NotChecked);
        }
        if (c.outcome == ApplyOutcome::WrongSource) {
            EXPECT_EQ(match, SourceMatch::No);
        }
        if (c.outcome == ApplyOutcome::WrongSource) {
            EXPECT_EQ(r.romCrc, crc32(c.rom));
            EXPECT_EQ(r.expectedCrc, c.expectedCrc);
        }
    }
}

} // namespace
