#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A checksum database ("DAT file") as a record, and the builder that both
// formats' readers fill it through.

// What the database says of a dump. NoDump: no good dump is known, so the
// entry can be neither matched nor missing.
enum class DumpStatus { Good, BadDump, NoDump, Verified };

struct DatRom {
    std::string name;
    std::optional<std::uint64_t> size;
    std::optional<std::uint32_t> crc32;
    std::optional<std::array<std::uint8_t, 16>> md5;
    std::optional<std::array<std::uint8_t, 20>> sha1;
    std::optional<std::array<std::uint8_t, 32>> sha256;
    DumpStatus status = DumpStatus::Good;
    std::size_t game = 0; // index into Dat::games
    // A size or digest the DAT gives for it is malformed: it can never match,
    // so its game can be partial but never complete.
    bool unmatchable = false;
};

// A value given for a ROM's size or digest that is none, as the DAT writes
// it: the ROM is kept, unmatchable, and the user told where.
struct DatBadValue {
    std::uint64_t line; // counted from 1
    std::string field;
    std::string value;
};

// A game's ROMs are roms[firstRom, firstRom + romCount).
struct DatGame {
    std::string name;
    std::size_t firstRom = 0;
    std::size_t romCount = 0;
};

struct Dat {
    std::string name;
    std::string version;
    std::vector<DatGame> games;
    std::vector<DatRom> roms; // every game's ROMs, in database order
    std::vector<DatBadValue> badValues;
};

// A DAT as its text was read: the database, or (dat empty) the line the text
// stopped making sense at; failedLine 0 when there was no text to read.
struct DatParse {
    std::optional<Dat> dat;
    std::uint64_t failedLine = 0;
};

// The limits past which a DAT is taken for hostile rather than large: no
// database nests deeper, nor holds a name, hash or header text longer.
inline constexpr std::size_t datMaxDepth = 32;
inline constexpr std::size_t datMaxFieldLength = 64 * 1024;
inline constexpr std::size_t datMaxEntities = 4096; // declared in a DTD's internal subset
// Files are read whole; the largest real databases stay well below this.
inline constexpr std::uint64_t datMaxFileSize = 1ull << 30;

// Where a DAT's text begins: after a UTF-8 byte order mark, if it has one.
std::size_t datTextStart(std::span<const std::uint8_t> bytes);

// Builds a DAT from the fields as the files write them; each format's parser
// feeds it, so that both read values the same way.
class DatBuilder {
  public:
    void setName(std::string_view name) { dat_.name = name; }
    void setVersion(std::string_view version) { dat_.version = version; }
    void beginGame(std::string_view name);
    void endGame();
    // Names the last game begun, for formats that may give its name after
    // its ROMs.
    void setLastGameName(std::string_view name);
    // Starts a ROM of the open game; false outside a game.
    bool beginRom();
    // One field of the open ROM, given at line: name, size, crc, md5, sha1,
    // sha256, status or flags. Unknown fields are skipped; a malformed size or
    // digest makes the ROM unmatchable. false outside a ROM.
    bool romField(std::string_view key, std::string_view value, std::uint64_t line = 0);
    Dat finish() { return std::move(dat_); }

  private:
    Dat dat_;
    bool inGame_ = false;
};
