#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cache/digest_cache.h"
#include "dat/dat.h"
#include "scan/record.h"
#include "verify/verify.h"

// Putting a collection right: every game a DAT lists and the scan found
// written under the database's names, one TorrentZip archive per game or
// plain files, without ever losing or spoiling a file.

// Where a matched ROM's bytes are: a file, or a member of an archive file,
// and what the scan found them to be.
struct RomSource {
    std::string path;
    std::optional<std::string> member;
    bool headerless = false; // matched over the bytes after a header
    std::uint64_t skip = 0;  // that header's size
    std::uint64_t size = 0;  // of the whole bytes, header included
    std::uint32_t crc32 = 0;
    std::array<std::uint8_t, 20> sha1{};
};

// Keeps, for every ROM of the DAT, the best source among the candidates
// matched: one whose whole bytes match before one matched without its
// header, and else the first scanned.
class SourceChooser {
  public:
    explicit SourceChooser(const Dat& dat) : sources_(dat.roms.size()) {}
    void add(const CatalogRecord& record, const CandidateVerdict& verdict);
    const std::vector<std::optional<RomSource>>& sources() const { return sources_; }

  private:
    std::vector<std::optional<RomSource>> sources_; // per ROM
};

enum class RebuildForm { TorrentZip, Files };

// What became of a game's target. Written: made new. Updated: replaced, as
// everything it held is in the new content. Kept: already what would be
// written. Conflict: something else is there (or it could not be written),
// and it is left as it is. BadName: a name of the DAT cannot be written
// safely. Unreadable: a source could not be read again, or no longer holds
// what the scan matched; nothing of the game is written.
enum class TargetStatus { Written, Updated, Kept, Conflict, BadName, Unreadable };

struct GameOutcome {
    std::size_t game = 0; // index into Dat::games
    std::string path;     // the target: OUT/GAME.zip, OUT/ROM or the folder OUT/GAME
    TargetStatus status = TargetStatus::Written;
    std::uint64_t roms = 0;           // the game's ROMs the target holds afterwards
    std::vector<std::size_t> missing; // its ROMs no candidate matched, in DAT order
    bool headerless = false;          // a ROM it holds carries a header the DAT leaves out
    std::uint64_t bytes = 0;          // written
};

struct RebuildOptions {
    RebuildForm form = RebuildForm::TorrentZip;
    std::string out; // the output folder, which exists
    // Where a plain target's digests may be known without reading it.
    DigestCache* cache = nullptr;
    unsigned threads = 0; // 0: one per core
};

// Rebuilds each game with at least one matched ROM (of a dump), games side
// by side on the cores, and hands the outcomes to the sink in DAT order from
// the calling thread.
void rebuildGames(const Dat& dat, const std::vector<std::optional<RomSource>>& sources,
                  const RebuildOptions& options,
                  const std::function<void(const GameOutcome&)>& sink);

// A ROM's name as a path below its game: the DAT's "\" is a folder separator.
std::string romPath(const DatRom& rom);
