#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json_lines.h"
#include "cli/progress_line.h"
#include "dat/dat.h"
#include "io/output_file.h"
#include "organise/fixdat.h"
#include "organise/rebuild.h"
#include "verify/verify.h"

namespace {

std::string_view statusKey(TargetStatus status) {
    switch (status) {
    case TargetStatus::Updated:
        return "updated";
    case TargetStatus::Kept:
        return "kept";
    case TargetStatus::Conflict:
        return "conflict";
    case TargetStatus::BadName:
        return "bad-name";
    case TargetStatus::Unreadable:
        return "unreadable";
    case TargetStatus::Written:
        break;
    }
    return "written";
}

// Every candidate matched as --verify matches it, each ROM's best source kept.
void matchPaths(const std::vector<std::string>& arguments, DigestCache* cache, Verifier& verifier,
                SourceChooser* chooser) {
    ProgressLine progress("Matching...", standardErrorIsTerminal());
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    ScanOptions options = verifyScanOptions();
    options.cache = cache;
    scanPaths(arguments, options, [&](const CatalogRecord& record) {
        const CandidateVerdict verdict = verifier.add(record);
        if (chooser != nullptr) {
            chooser->add(record, verdict);
        }
        ++files;
        bytes += record.size;
        progress.update(files, bytes, false);
    });
    progress.finish(files, bytes);
}

struct RebuildCounts {
    std::uint64_t complete = 0;
    std::uint64_t partial = 0;
    std::uint64_t missing = 0;
    std::uint64_t written = 0;
    std::uint64_t updated = 0;
    std::uint64_t kept = 0;
    std::uint64_t conflicts = 0;
    std::uint64_t badNames = 0;
    std::uint64_t unreadable = 0;
};

std::string gameLine(const Dat& dat, const GameOutcome& outcome) {
    return ObjectWriter()
        .string("game", dat.games[outcome.game].name)
        .string("path", outcome.path)
        .string("status", statusKey(outcome.status))
        .number("roms", outcome.roms)
        .raw("missing", jsonNames(dat, outcome.missing))
        .boolean("headerless", outcome.headerless)
        .finish();
}

std::string summaryLine(const Dat& dat, const VerifySummary& verified, const RebuildCounts& c) {
    const std::string summary = ObjectWriter()
                                    .string("dat", dat.name)
                                    .number("games", verified.games)
                                    .number("complete", c.complete)
                                    .number("partial", c.partial)
                                    .number("missing", c.missing)
                                    .number("written", c.written)
                                    .number("updated", c.updated)
                                    .number("kept", c.kept)
                                    .number("conflicts", c.conflicts)
                                    .number("badNames", c.badNames)
                                    .number("unreadable", c.unreadable)
                                    .number("unknown", verified.unknown)
                                    .finish();
    return ObjectWriter().raw("summary", summary).finish();
}

// "1,230 games written, 4 updated, 12 kept; 0 conflicts; 63 games missing"
std::string humanLine(const RebuildCounts& c) {
    std::string line = counted(c.written, "game", "games") + " written, " + grouped(c.updated) +
                       " updated, " + grouped(c.kept) + " kept; " +
                       counted(c.conflicts, "conflict", "conflicts") + "; " +
                       counted(c.missing, "game", "games") + " missing";
    if (c.badNames > 0) {
        line += "; " + counted(c.badNames, "bad name", "bad names");
    }
    if (c.unreadable > 0) {
        line += "; " + grouped(c.unreadable) + " unreadable";
    }
    return line;
}

int rebuild(const CommandArgs& args, RebuildForm form) {
    const std::optional<Dat> dat = loadDat(args.values[0]);
    if (!dat) {
        return 1;
    }
    const std::string& out = args.values[1];
    if (!createFolders(out)) {
        printLine(std::cerr, "ERROR: Failed to create output folder " + out + ".");
        return 1;
    }
    const std::vector<std::string> arguments(args.values.begin() + 2, args.values.end());
    std::optional<DigestCache> cache = DigestCache::openDefault();
    DigestCache* const cached = cache ? &*cache : nullptr;
    Verifier verifier(*dat);
    SourceChooser chooser(*dat);
    matchPaths(arguments, cached, verifier, &chooser);

    RebuildOptions options;
    options.form = form;
    options.out = out;
    options.cache = cached;
    RebuildCounts counts;
    std::vector<std::uint64_t> held(dat->games.size(), 0);
    ProgressLine progress("Writing...", standardErrorIsTerminal());
    std::uint64_t games = 0;
    std::uint64_t bytes = 0;
    rebuildGames(*dat, chooser.sources(), options, [&](const GameOutcome& outcome) {
        held[outcome.game] = outcome.roms;
        switch (outcome.status) {
        case TargetStatus::Written:
            ++counts.written;
            break;
        case TargetStatus::Updated:
            ++counts.updated;
            break;
        case TargetStatus::Kept:
            ++counts.kept;
            break;
        case TargetStatus::Conflict:
            ++counts.conflicts;
            break;
        case TargetStatus::BadName:
            ++counts.badNames;
            break;
        case TargetStatus::Unreadable:
            ++counts.unreadable;
            break;
        }
        progress.wipe();
        writeLine(gameLine(*dat, outcome));
        if (progress.shown()) {
            std::fflush(stdout);
        }
        bytes += outcome.bytes;
        progress.update(++games, bytes, false);
    });
    // The games as the output folder holds them now.
    for (std::size_t g = 0; g < dat->games.size(); ++g) {
        const DatGame& game = dat->games[g];
        std::uint64_t needed = 0;
        for (std::size_t r = game.firstRom; r < game.firstRom + game.romCount; ++r) {
            needed += dat->roms[r].status != DumpStatus::NoDump ? 1 : 0;
        }
        if (needed == 0) {
            continue;
        }
        if (held[g] == needed) {
            ++counts.complete;
        } else if (held[g] > 0) {
            ++counts.partial;
        } else {
            ++counts.missing;
        }
    }
    const VerifySummary verified = verifier.summary();
    writeLine(summaryLine(*dat, verified, counts));
    std::fflush(stdout);
    if (progress.shown()) {
        progress.finish(games, bytes);
        printLine(std::cerr, humanLine(counts));
    }
    const bool clean = counts.conflicts == 0 && counts.badNames == 0 && counts.unreadable == 0 &&
                       verified.unreadable == 0;
    return clean ? 0 : 1;
}

} // namespace

int printRebuild(const CommandArgs& args) {
    return rebuild(args, RebuildForm::TorrentZip);
}

int printRebuildFiles(const CommandArgs& args) {
    return rebuild(args, RebuildForm::Files);
}

int runFixdat(const CommandArgs& args) {
    const std::string& output = args.values[1];
    printLine(std::cout, "Writing fixdat " + output + " from " + args.values[0] + "...");
    std::optional<Dat> dat = loadDat(args.values[0]);
    if (dat) {
        const std::vector<std::string> arguments(args.values.begin() + 2, args.values.end());
        std::optional<DigestCache> cache = DigestCache::openDefault();
        Verifier verifier(*dat);
        matchPaths(arguments, cache ? &*cache : nullptr, verifier, nullptr);
        const std::vector<IncompleteGame> games = verifier.incompleteGames();
        if (writeFile(output, fixdatXml(*dat, games))) {
            printLine(std::cout, "SUCCESS: Fixdat of " + grouped(games.size()) +
                                     " games written to " + output);
            return 0;
        }
    }
    printLine(std::cerr, "ERROR: Failed to write fixdat.");
    return 1;
}
