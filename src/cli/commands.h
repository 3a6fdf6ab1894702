#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dat/dat.h"
#include "patch/checked.h"
#include "scan/scan.h"
#include "verify/verify.h"

// The arguments that follow the command, as typed.
struct CommandArgs {
    std::vector<std::string> values;
};

// Commands that print their own output and choose their exit code. Those
// named print* only report; run* writes a file as well.

// --inspect <ROM>: the inspection report; always 0.
int printInspection(const CommandArgs& args);

// --catalog <PATH>...: one JSON line per file on standard output, a progress
// line on standard error when that is a terminal. 1 when any file could not
// be read.
int printCatalog(const CommandArgs& args);

// --verify <DAT> <PATH>...: one JSON line per candidate, per incomplete game
// and the summary; on a terminal, progress and one human line on standard
// error. 0 when every candidate matched a good or verified dump.
int printVerify(const CommandArgs& args);

// --patch-info <PATCH> [<ROM>]: the patch report; 0 when the patch is
// well-formed and fits the ROM.
int printPatchInfo(const CommandArgs& args);

// --apply <ROM> <PATCH> <OUT>: the patch of any known format, checked before
// it is applied and its result checked before it is written.
int runApply(const CommandArgs& args);

// The progress line of --apply: "Applying KIND patch PATCH to ROM -> OUT...", as the
// table writes it for --patch and --bps-patch.
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

// --rebuild and --rebuild-files <DAT> <OUT> <PATH>...: the matched games
// written to OUT as TorrentZip archives or plain files; one JSON line per game
// and the summary. 0 when no target conflicted, had a bad name or was
// unreadable, and no candidate was unreadable.
int printRebuild(const CommandArgs& args);
int printRebuildFiles(const CommandArgs& args);

// --fixdat <DAT> <OUT.dat> <PATH>...: the DAT of the games not complete.
int runFixdat(const CommandArgs& args);

// The DAT at path for a collection command, with a warning on standard error
// for each malformed value; nullopt, the error printed, when it cannot be
// read.
std::optional<Dat> loadDat(const std::string& path);

// Texts the collection commands share: a line on standard output (the
// newline added), 1234567 as "1,234,567", "1 unknown file" / "2 unknown
// files", and a JSON array of ROM names.
void writeLine(std::string line);
std::string grouped(std::uint64_t value);
std::string counted(std::uint64_t value, std::string_view singular, std::string_view plural);
std::string jsonNames(const Dat& dat, const std::vector<std::size_t>& roms);

// The lines of --verify (without their newlines).
std::string verifyCandidateLine(const Dat& dat, const CatalogRecord& record,
                                const CandidateVerdict& verdict);
std::string verifyGameLine(const Dat& dat, const IncompleteGame& game);
std::string verifySummaryLine(const Dat& dat, const VerifySummary& summary);
// "1,234 of 1,300 games complete; 3 partial; 63 missing; 2 unknown files; 1 bad dump"
std::string verifyHumanLine(const VerifySummary& summary);
