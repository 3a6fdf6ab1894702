#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/catalog.h"
#include "dat/dat.h"
#include "patch/checked.h"
#include "verify/verify.h"

// Commands that print their own output and choose their exit code; each
// takes the whole command line.

// --catalog <PATH>...: one JSON line per file on standard output, a progress
// line on standard error when that is a terminal. 1 when any file could not
// be read.
int printCatalog(int argc, char** argv);

// --verify <DAT> <PATH>...: one JSON line per candidate, per incomplete game
// and the summary; on a terminal, progress and one human line on standard
// error. 0 when every candidate matched a good or verified dump.
int printVerify(int argc, char** argv);

// --patch-info <PATCH> [<ROM>]: the patch report; 0 when the patch is
// well-formed and fits the ROM.
int printPatchInfo(int argc, char** argv);

// --apply <ROM> <PATCH> <OUT>: the patch of any known format, checked before
// it is applied and its result checked before it is written.
int printApply(int argc, char** argv);

// The progress line of the patch commands: "Applying KIND patch PATCH to ROM -> OUT...".
std::string applyingLine(const std::string& kind, const std::string& patch, const std::string& rom,
                         const std::string& out);

// The ROM part of the patch report.
struct RomCheck {
    std::string path;
    std::uint64_t size = 0;
    std::uint32_t crc32 = 0;
    SourceMatch match = SourceMatch::No;
};

// The lines of the patch report for the patch path as typed.
std::vector<std::string> patchReport(const std::string& patchPath, std::uint64_t patchSize,
                                     const PatchSummary& patch, const std::optional<RomCheck>& rom);

// The lines of --verify (without their newlines).
std::string verifyCandidateLine(const Dat& dat, const CatalogRecord& record,
                                const CandidateVerdict& verdict);
std::string verifyGameLine(const Dat& dat, const IncompleteGame& game);
std::string verifySummaryLine(const Dat& dat, const VerifySummary& summary);
// "1,234 of 1,300 games complete; 3 partial; 63 missing; 2 unknown files; 1 bad dump"
std::string verifyHumanLine(const VerifySummary& summary);
