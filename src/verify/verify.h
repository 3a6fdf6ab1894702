#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dat/dat.h"
#include "scan/scan.h"

// Matching files against a checksum database, as the ROM managers do.

// The walk options for matching: the skippers' headers, no inspection, and
// an archive's members in place of the archive.
ScanOptions verifyScanOptions();

// One ROM a candidate matched, over its whole bytes or those after its header.
struct RomMatch {
    std::size_t rom = 0; // index into Dat::roms
    bool headerless = false;
};

// What became of one candidate file or archive member.
struct CandidateVerdict {
    bool matched = false;
    std::size_t rom = 0;     // the reported ROM, an index into Dat::roms
    bool headerless = false; // matched over the bytes after its header
    bool named = false;      // its own name equals the ROM's
    // Every ROM it matched, the matches over the whole bytes first.
    std::vector<RomMatch> matches;
};

// A game of which some ROMs no candidate matched.
struct IncompleteGame {
    std::size_t game = 0;             // index into Dat::games
    std::vector<std::size_t> missing; // indices into Dat::roms, in DAT order
    std::size_t have = 0;             // distinct ROMs matched
};

struct VerifySummary {
    std::uint64_t games = 0; // games with at least one ROM that has a dump
    std::uint64_t complete = 0;
    std::uint64_t partial = 0;
    std::uint64_t missing = 0;
    std::uint64_t files = 0; // every candidate, unreadable ones too
    std::uint64_t matched = 0;
    std::uint64_t unknown = 0;
    std::uint64_t badDumps = 0; // candidates that matched a bad dump
    std::uint64_t unreadable = 0;
};

// Takes the candidates one by one and keeps the tally of the database's
// games. The DAT must outlive it.
class Verifier {
  public:
    explicit Verifier(const Dat& dat);

    // Matches a candidate (a record read or known carries its whole and, where
    // a skipper applies, headerless digests) and counts it. A candidate that
    // matches several ROMs counts for each of them; the one reported is the
    // first in DAT order, one whose name equals the candidate's own first,
    // then a match over the whole file before one without the header.
    CandidateVerdict add(const CatalogRecord& record);

    // The games not complete, in DAT order; games made only of nodump ROMs
    // are never listed.
    std::vector<IncompleteGame> incompleteGames() const;
    VerifySummary summary() const;
    // True when every candidate matched a good or verified dump and none was
    // unreadable.
    bool allGood() const { return allGood_; }

  private:
    struct Entry {
        std::uint64_t key;
        std::size_t rom;
        bool operator<(const Entry& other) const {
            return key < other.key || (key == other.key && rom < other.rom);
        }
    };

    void lookUp(const std::vector<Entry>& index, std::uint64_t key, std::uint64_t size,
                const Digests& digests, bool headerless,
                std::vector<std::pair<std::size_t, bool>>& out) const;

    const Dat& dat_;
    // Each matchable ROM sits in one index: by CRC-32 when the DAT gives it,
    // else by the first eight bytes of its SHA-1, MD5 or SHA-256.
    std::vector<Entry> byCrc_;
    std::vector<Entry> bySha1_;
    std::vector<Entry> byMd5_;
    std::vector<Entry> bySha256_;
    std::vector<bool> have_; // per ROM
    VerifySummary counts_;   // the candidate counts
    bool allGood_ = true;
};

// The name of a path or member without its folders.
std::string_view ownName(std::string_view path);
