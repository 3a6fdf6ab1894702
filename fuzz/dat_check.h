#pragma once

// What both DAT parsers' fuzz targets check. Besides surviving any input
// within the time and memory limits, a parsed DAT must be consistent: each
// game's ROMs lie inside the ROM list and point back at it, no field is
// longer than the parser's bound, and matching the input itself as a
// candidate file must run clean over the result.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "check.h"
#include "dat/dat.h"
#include "hash/digests.h"
#include "verify/verify.h"

inline int fuzzDatParser(std::span<const std::uint8_t> bytes,
                         DatParse (*parse)(std::span<const std::uint8_t>)) {
    const DatParse parsed = parse(bytes);
    // Every line named lies inside the text.
    std::uint64_t lines = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool lone = bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n');
        lines += bytes[i] == '\n' || lone ? 1 : 0;
    }
    const std::optional<Dat>& dat = parsed.dat;
    if (!dat) {
        FUZZ_CHECK(parsed.failedLine <= lines);
        return 0;
    }
    for (const DatBadValue& bad : dat->badValues) {
        FUZZ_CHECK(bad.line >= 1 && bad.line <= lines);
    }
    FUZZ_CHECK(dat->name.size() <= datMaxFieldLength && dat->version.size() <= datMaxFieldLength);
    std::size_t next = 0;
    for (std::size_t g = 0; g < dat->games.size(); ++g) {
        const DatGame& game = dat->games[g];
        FUZZ_CHECK(game.firstRom == next);
        FUZZ_CHECK(game.name.size() <= datMaxFieldLength);
        next += game.romCount;
        FUZZ_CHECK(next <= dat->roms.size());
        for (std::size_t r = game.firstRom; r < next; ++r) {
            FUZZ_CHECK(dat->roms[r].game == g);
            FUZZ_CHECK(dat->roms[r].name.size() <= datMaxFieldLength);
        }
    }
    FUZZ_CHECK(next == dat->roms.size());

    Verifier verifier(*dat);
    CatalogRecord record;
    record.path = "fuzz";
    record.state = ItemState::Read;
    record.size = bytes.size();
    record.digests = computeDigests(bytes);
    const CandidateVerdict verdict = verifier.add(record);
    FUZZ_CHECK(!verdict.matched || verdict.rom < dat->roms.size());
    FUZZ_CHECK(!verdict.matched || !dat->roms[verdict.rom].unmatchable);
    const VerifySummary summary = verifier.summary();
    FUZZ_CHECK(summary.complete + summary.partial + summary.missing == summary.games);
    FUZZ_CHECK(summary.files == 1 && summary.matched + summary.unknown == 1);
    for (const IncompleteGame& game : verifier.incompleteGames()) {
        FUZZ_CHECK(game.game < dat->games.size() && !game.missing.empty());
    }
    return 0;
}
