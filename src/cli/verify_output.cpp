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
#include "verify/verify.h"

namespace {

std::string_view dumpKey(DumpStatus status) {
    switch (status) {
    case DumpStatus::BadDump:
        return "baddump";
    case DumpStatus::NoDump:
        return "nodump";
    case DumpStatus::Verified:
        return "verified";
    case DumpStatus::Good:
        break;
    }
    return "good";
}

// What a malformed value should have been, after the field's name.
std::string_view expectedValue(std::string_view field) {
    if (field == "size") {
        return "is not a number";
    }
    if (field == "crc") {
        return "is not a CRC-32";
    }
    if (field == "md5") {
        return "is not an MD5";
    }
    if (field == "sha1") {
        return "is not a SHA-1";
    }
    return "is not a SHA-256";
}

// A value as the DAT writes it, but never a control character on the terminal.
std::string printable(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return out;
}

} // namespace

std::optional<Dat> loadDat(const std::string& path) {
    DatParse read = readDat(path);
    if (!read.dat) {
        printLine(std::cerr, read.failedLine == 0 ? std::string("ERROR: Failed to read DAT.")
                                                  : "ERROR: Failed to read DAT (line " +
                                                        std::to_string(read.failedLine) + ").");
        return std::nullopt;
    }
    for (const DatBadValue& bad : read.dat->badValues) {
        printLine(std::cerr, "WARNING: DAT line " + std::to_string(bad.line) + ": " + bad.field +
                                 " \"" + printable(bad.value) + "\" " +
                                 std::string(expectedValue(bad.field)) +
                                 "; that ROM cannot match.");
    }
    return std::move(read.dat);
}

void writeLine(std::string line) {
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::string jsonNames(const Dat& dat, const std::vector<std::size_t>& roms) {
    std::string out = "[";
    for (std::size_t i = 0; i < roms.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += jsonString(dat.roms[roms[i]].name);
    }
    return out + "]";
}

// 1234567 as "1,234,567".
std::string grouped(std::uint64_t value) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return out;
}

std::string counted(std::uint64_t value, std::string_view singular, std::string_view plural) {
    return grouped(value) + " " + std::string(value == 1 ? singular : plural);
}

std::string verifyCandidateLine(const Dat& dat, const CatalogRecord& record,
                                const CandidateVerdict& verdict) {
    ObjectWriter object;
    object.string("path", record.path);
    if (record.member) {
        object.string("member", *record.member);
    }
    if (record.state == ItemState::Unreadable) {
        return object.string("error", "unreadable").finish();
    }
    object.number("size", record.size)
        .string("crc32", crcText(record.digests.crc32))
        .string("sha1", hexLower(record.digests.sha1));
    if (!verdict.matched) {
        return object.string("status", "unknown").finish();
    }
    const DatRom& rom = dat.roms[verdict.rom];
    return object.string("status", "match")
        .string("game", dat.games[rom.game].name)
        .string("rom", rom.name)
        .string("dump", dumpKey(rom.status))
        .boolean("headerless", verdict.headerless)
        .boolean("named", verdict.named)
        .finish();
}

std::string verifyGameLine(const Dat& dat, const IncompleteGame& game) {
    return ObjectWriter()
        .string("game", dat.games[game.game].name)
        .raw("missing", jsonNames(dat, game.missing))
        .number("have", game.have)
        .finish();
}

std::string verifySummaryLine(const Dat& dat, const VerifySummary& s) {
    const std::string summary = ObjectWriter()
                                    .string("dat", dat.name)
                                    .number("games", s.games)
                                    .number("complete", s.complete)
                                    .number("partial", s.partial)
                                    .number("missing", s.missing)
                                    .number("files", s.files)
                                    .number("matched", s.matched)
                                    .number("unknown", s.unknown)
                                    .number("badDumps", s.badDumps)
                                    .number("unreadable", s.unreadable)
                                    .finish();
    return ObjectWriter().raw("summary", summary).finish();
}

std::string verifyHumanLine(const VerifySummary& s) {
    std::string line = grouped(s.complete) + " of " + grouped(s.games) + " games complete; " +
                       grouped(s.partial) + " partial; " + grouped(s.missing) + " missing; " +
                       counted(s.unknown, "unknown file", "unknown files") + "; " +
                       counted(s.badDumps, "bad dump", "bad dumps");
    if (s.unreadable > 0) {
        line += "; " + counted(s.unreadable, "unreadable file", "unreadable files");
    }
    return line;
}

int printVerify(const CommandArgs& args) {
    const std::optional<Dat> dat = loadDat(args.values[0]);
    if (!dat) {
        return 1;
    }
    const std::vector<std::string> arguments(args.values.begin() + 1, args.values.end());
    Verifier verifier(*dat);
    ProgressLine progress("Verifying...", standardErrorIsTerminal());
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::optional<DigestCache> cache = DigestCache::openDefault();
    ScanOptions options = verifyScanOptions();
    options.cache = cache ? &*cache : nullptr;
    scanPaths(arguments, options, [&](const CatalogRecord& record) {
        const CandidateVerdict verdict = verifier.add(record);
        progress.wipe();
        writeLine(verifyCandidateLine(*dat, record, verdict));
        ++files;
        bytes += record.size;
        if (progress.shown()) {
            std::fflush(stdout);
        }
        progress.update(files, bytes, false);
    });
    for (const IncompleteGame& game : verifier.incompleteGames()) {
        writeLine(verifyGameLine(*dat, game));
    }
    const VerifySummary summary = verifier.summary();
    writeLine(verifySummaryLine(*dat, summary));
    std::fflush(stdout);
    if (progress.shown()) {
        progress.finish(files, bytes);
        printLine(std::cerr, verifyHumanLine(summary));
    }
    return verifier.allGood() ? 0 : 1;
}
