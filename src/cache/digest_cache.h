#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hash/digests.h"
#include "io/input_file.h"
#include "scan/header_rules.h"

// The digests of files already hashed, kept between runs of the collection
// commands in one SQLite database, keyed by each file's identity, so that an
// unchanged file is never read for hashing twice. Every failure of the
// database leaves the cache unused and the answers the same: the cache can
// make a run faster, never different.

// What the cache knows of one hashed item (a file, or a member of an
// archive): its digests, and under one header convention the header's size
// (none: the convention skips nothing) and the digests of the bytes after it.
struct KnownDigests {
    std::uint64_t size = 0;
    Digests whole;
    std::optional<std::uint64_t> skip;
    Digests headerless;
};

// An item of a file as kept: position 0 is the file itself, 1 on the members
// of an archive in stored order, each with its stored name.
struct KnownItem {
    std::uint64_t position = 0;
    std::string name;
    // nullopt when the item was hashed only under the other convention.
    std::optional<KnownDigests> digests;
};

// What a file was found to be when it was read.
enum class FileKind : std::int8_t { Unknown, Plain, Archive };

struct KnownFile {
    FileKind kind = FileKind::Unknown;
    // For an archive: how many members it has, when every one of them was
    // readable and is kept (its listing can then be told without opening it).
    std::optional<std::uint64_t> members;
    std::vector<KnownItem> items; // by position
};

class DigestCache {
  public:
    // The cache in the database at path (created with its folders as
    // needed). A database that cannot be used (corrupt, locked for over a
    // second, read-only, of another schema) is set aside as path.broken and a
    // fresh one made; nullopt when even that fails.
    static std::optional<DigestCache> open(const std::string& path);

    // The user's cache: $XDG_CACHE_HOME/quillon/digests.sqlite (else
    // ~/.cache/...), on Windows %LOCALAPPDATA%\Quillon\digests.sqlite;
    // $QUILLON_CACHE_DIR, when set, names the folder instead. nullopt when
    // none can be used.
    static std::optional<DigestCache> openDefault();

    DigestCache(DigestCache&&) noexcept;
    DigestCache& operator=(DigestCache&&) noexcept;
    ~DigestCache();

    // What is kept of the file of this identity, with the digests under
    // this convention; nullopt when nothing is. Safe from any thread.
    std::optional<KnownFile> find(const FileIdentity& file, HeaderConvention convention);

    // Notes what a file is (for an archive, how many members it has when
    // every one is kept; nullopt otherwise). Writes are gathered and go to
    // the database a few hundred at a time, in their order.
    void noteKind(const FileIdentity& file, FileKind kind,
                  std::optional<std::uint64_t> members = std::nullopt);
    // Keeps the digests of an item under this convention, and notes what
    // the file is (Unknown leaves that as it was noted).
    void keep(const FileIdentity& file, const KnownItem& item, HeaderConvention convention,
              FileKind kind = FileKind::Unknown);

    // Writes what is gathered, drops the files not seen for 90 days and
    // closes the database; the cache then finds and keeps nothing.
    void finish();

    struct State;

  private:
    explicit DigestCache(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// Where the user's cache lives (see openDefault); empty when no folder is
// known.
std::string defaultCachePath();
