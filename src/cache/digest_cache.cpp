#include "cache/digest_cache.h"

#include <array>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <span>
#include <string_view>
#include <utility>
#include <variant>

#include <sqlite3.h>

#include "base/byte_order.h"
#include "io/output_file.h"

#ifdef _WIN32
#include <windows.h>

#include "io/wide_path.h"
#endif

namespace {

// "QLDC" in the database header marks it as this cache; the user version is
// the schema's. A database with other marks is another program's or another
// version's, and is set aside rather than read.
constexpr int applicationId = 0x514C4443;
constexpr int schemaVersion = 1;

// How long a run waits for another run's write before it gives up.
constexpr int lockWaitMilliseconds = 1000;
// Writes gathered before they go to the database in one transaction.
constexpr std::size_t writesPerTransaction = 256;
constexpr std::int64_t keptDays = 90;

// files.kind: NULL until the file was read; then plain, or an archive with
// the number of its members when all are kept, -1 when not.
constexpr std::int64_t plainKind = -2;
constexpr std::int64_t archiveKind = -1;
// items.<convention>_skip: NULL until hashed under the convention; -1 for
// no header.
constexpr std::int64_t noHeader = -1;

constexpr std::string_view schema = R"(
CREATE TABLE files(
  id INTEGER PRIMARY KEY,
  device INTEGER NOT NULL,
  inode INTEGER NOT NULL,
  size INTEGER NOT NULL,
  modified INTEGER NOT NULL,
  changed INTEGER NOT NULL,
  kind INTEGER,
  seen INTEGER NOT NULL);
CREATE UNIQUE INDEX files_identity ON files(inode, device, size, modified, changed);
CREATE INDEX files_seen ON files(seen);
CREATE TABLE items(
  file INTEGER NOT NULL,
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  size INTEGER NOT NULL,
  whole BLOB NOT NULL,
  catalogue_skip INTEGER,
  catalogue BLOB,
  skippers_skip INTEGER,
  skippers BLOB,
  PRIMARY KEY(file, position)) WITHOUT ROWID;
)";

constexpr std::string_view findSql = R"(
SELECT f.id, f.kind, f.seen, i.position, i.name, i.size, i.whole,
       i.catalogue_skip, i.catalogue, i.skippers_skip, i.skippers
FROM files f LEFT JOIN items i ON i.file = f.id
WHERE f.inode = ?1 AND f.device = ?2 AND f.size = ?3 AND f.modified = ?4 AND f.changed = ?5
ORDER BY i.position)";

constexpr std::string_view fileSql = R"(
INSERT INTO files(device, inode, size, modified, changed, kind, seen)
VALUES(?2, ?1, ?3, ?4, ?5, ?6, ?7)
ON CONFLICT(inode, device, size, modified, changed)
DO UPDATE SET kind = coalesce(excluded.kind, kind), seen = excluded.seen
RETURNING id)";

// One statement per convention, each leaving the other's columns as they are.
constexpr std::array<std::string_view, 2> itemSql{
    R"(INSERT INTO items(file, position, name, size, whole, catalogue_skip, catalogue)
VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)
ON CONFLICT(file, position) DO UPDATE SET name = excluded.name, size = excluded.size,
  whole = excluded.whole, catalogue_skip = excluded.catalogue_skip,
  catalogue = excluded.catalogue)",
    R"(INSERT INTO items(file, position, name, size, whole, skippers_skip, skippers)
VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)
ON CONFLICT(file, position) DO UPDATE SET name = excluded.name, size = excluded.size,
  whole = excluded.whole, skippers_skip = excluded.skippers_skip,
  skippers = excluded.skippers)",
};

constexpr std::string_view touchSql = "UPDATE files SET seen = ?2 WHERE id = ?1";

constexpr std::array<std::string_view, 2> purgeSql{
    "DELETE FROM items WHERE file IN (SELECT id FROM files WHERE seen < ?1)",
    "DELETE FROM files WHERE seen < ?1",
};

// The four digests as one blob: CRC-32 (big-endian), MD5, SHA-1, SHA-256.
constexpr std::size_t digestsLength = 4 + 16 + 20 + 32;
using DigestBlob = std::array<std::uint8_t, digestsLength>;

DigestBlob toBlob(const Digests& digests) {
    DigestBlob blob{};
    putBE(blob, 0, digests.crc32, 4);
    auto at = blob.begin() + 4;
    at = std::copy(digests.md5.begin(), digests.md5.end(), at);
    at = std::copy(digests.sha1.begin(), digests.sha1.end(), at);
    std::copy(digests.sha256.begin(), digests.sha256.end(), at);
    return blob;
}

std::optional<Digests> fromBlob(std::span<const std::uint8_t> blob) {
    if (blob.size() != digestsLength) {
        return std::nullopt;
    }
    Digests digests;
    digests.crc32 = readBE32(blob, 0);
    auto at = blob.begin() + 4;
    std::copy(at, at + 16, digests.md5.begin());
    at += 16;
    std::copy(at, at + 20, digests.sha1.begin());
    at += 20;
    std::copy(at, at + 32, digests.sha256.begin());
    return digests;
}

std::int64_t today() {
    return static_cast<std::int64_t>(std::time(nullptr)) / 86400;
}

// SQLite keeps 64-bit signed integers; identities are unsigned.
std::int64_t asStored(std::uint64_t value) {
    return static_cast<std::int64_t>(value);
}

struct DatabaseClose {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseClose>;

struct StatementFinalize {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

Statement prepare(sqlite3* db, std::string_view sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

bool execute(sqlite3* db, std::string_view sql) {
    return sqlite3_exec(db, std::string(sql).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The one integer a pragma answers; nullopt when it fails.
std::optional<std::int64_t> pragmaNumber(sqlite3* db, std::string_view pragma) {
    const Statement statement = prepare(db, pragma);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    return sqlite3_column_int64(statement.get(), 0);
}

std::string pragmaText(sqlite3* db, std::string_view pragma) {
    const Statement statement = prepare(db, pragma);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) {
        return {};
    }
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

std::span<const std::uint8_t> blobColumn(sqlite3_stmt* statement, int column) {
    const void* data = sqlite3_column_blob(statement, column);
    const int length = sqlite3_column_bytes(statement, column);
    if (data == nullptr || length <= 0) {
        return {};
    }
    return {static_cast<const std::uint8_t*>(data), static_cast<std::size_t>(length)};
}

void bindIdentity(sqlite3_stmt* statement, const FileIdentity& file) {
    sqlite3_bind_int64(statement, 1, asStored(file.inode));
    sqlite3_bind_int64(statement, 2, asStored(file.device));
    sqlite3_bind_int64(statement, 3, asStored(file.size));
    sqlite3_bind_int64(statement, 4, file.modified);
    sqlite3_bind_int64(statement, 5, file.changed);
}

// A write waiting for the next transaction.
struct KindWrite {
    FileIdentity file;
    std::optional<std::int64_t> kind;
};
struct ItemWrite {
    FileIdentity file;
    KnownItem item;
    HeaderConvention convention;
    std::optional<std::int64_t> kind;
};
struct TouchWrite {
    std::int64_t id;
};
using Write = std::variant<KindWrite, ItemWrite, TouchWrite>;

// files.kind as stored; nullopt leaves it as it is.
std::optional<std::int64_t> storedKind(FileKind kind, std::optional<std::uint64_t> members) {
    if (kind == FileKind::Plain) {
        return plainKind;
    }
    if (kind == FileKind::Archive) {
        return members ? asStored(*members) : archiveKind;
    }
    return std::nullopt;
}

std::size_t slot(HeaderConvention convention) {
    return convention == HeaderConvention::Skippers ? 1 : 0;
}

} // namespace

struct DigestCache::State {
    std::string path;
    Database db;
    Statement find;
    Statement file;
    std::array<Statement, 2> item;
    Statement touch;
    std::mutex mutex;     // the database
    std::mutex gathering; // pending
    std::vector<Write> pending;
    std::int64_t day = today();
    // A query failed: the database is no longer used, and set aside at the end.
    bool broken = false;

    bool prepareAll() {
        find = prepare(db.get(), findSql);
        file = prepare(db.get(), fileSql);
        item[0] = prepare(db.get(), itemSql[0]);
        item[1] = prepare(db.get(), itemSql[1]);
        touch = prepare(db.get(), touchSql);
        return find && file && item[0] && item[1] && touch;
    }

    // Runs a statement to its end; false on any failure.
    static bool runToEnd(sqlite3_stmt* statement) {
        int status = SQLITE_ROW;
        while (status == SQLITE_ROW) {
            status = sqlite3_step(statement);
        }
        sqlite3_reset(statement);
        return status == SQLITE_DONE;
    }

    std::optional<std::int64_t> fileId(const FileIdentity& identity,
                                       std::optional<std::int64_t> kind) {
        sqlite3_stmt* statement = file.get();
        bindIdentity(statement, identity);
        if (kind) {
            sqlite3_bind_int64(statement, 6, *kind);
        } else {
            sqlite3_bind_null(statement, 6);
        }
        sqlite3_bind_int64(statement, 7, day);
        std::optional<std::int64_t> id;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            id = sqlite3_column_int64(statement, 0);
        }
        if (!runToEnd(statement)) {
            return std::nullopt;
        }
        return id;
    }

    bool writeItem(const ItemWrite& write) {
        const std::optional<std::int64_t> id = fileId(write.file, write.kind);
        if (!id || !write.item.digests) {
            return false;
        }
        const KnownDigests& digests = *write.item.digests;
        sqlite3_stmt* statement = item[slot(write.convention)].get();
        const DigestBlob whole = toBlob(digests.whole);
        const DigestBlob headerless = toBlob(digests.headerless);
        sqlite3_bind_int64(statement, 1, *id);
        sqlite3_bind_int64(statement, 2, asStored(write.item.position));
        sqlite3_bind_text(statement, 3, write.item.name.data(),
                          static_cast<int>(write.item.name.size()), SQLITE_STATIC);
        sqlite3_bind_int64(statement, 4, asStored(digests.size));
        sqlite3_bind_blob(statement, 5, whole.data(), static_cast<int>(whole.size()),
                          SQLITE_STATIC);
        if (digests.skip) {
            sqlite3_bind_int64(statement, 6, asStored(*digests.skip));
            sqlite3_bind_blob(statement, 7, headerless.data(), static_cast<int>(headerless.size()),
                              SQLITE_STATIC);
        } else {
            sqlite3_bind_int64(statement, 6, noHeader);
            sqlite3_bind_null(statement, 7);
        }
        return runToEnd(statement);
    }

    bool writeOne(const Write& write) {
        if (const auto* kind = std::get_if<KindWrite>(&write)) {
            return fileId(kind->file, kind->kind).has_value();
        }
        if (const auto* item = std::get_if<ItemWrite>(&write)) {
            return writeItem(*item);
        }
        sqlite3_stmt* statement = touch.get();
        sqlite3_bind_int64(statement, 1, std::get<TouchWrite>(write).id);
        sqlite3_bind_int64(statement, 2, day);
        return runToEnd(statement);
    }

    // Takes what is gathered; the caller holds the database's lock, so that
    // batches are written in the order they were taken.
    std::vector<Write> take() {
        const std::lock_guard lock(gathering);
        return std::exchange(pending, {});
    }

    // Writes a batch in one short transaction, so that another run waits for
    // the lock only as long as the writes take. A run that cannot get the
    // lock in time drops its writes (they are made again next time).
    void write(const std::vector<Write>& batch) {
        if (batch.empty() || broken) {
            return;
        }
        const int begin = sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (begin != SQLITE_OK) {
            broken = (begin & 0xFF) != SQLITE_BUSY;
            return;
        }
        bool written = true;
        for (const Write& each : batch) {
            written = written && writeOne(each);
        }
        if (!written || !execute(db.get(), "COMMIT")) {
            execute(db.get(), "ROLLBACK");
            broken = true;
        }
    }

    // Gathers a write. The hashing side only gathers (up to a bound): the
    // reading side, which waits on the disk more than on the processor,
    // writes a batch when it next looks a file up.
    void add(Write write, bool hashing) {
        std::size_t gathered = 0;
        {
            const std::lock_guard lock(gathering);
            pending.push_back(std::move(write));
            gathered = pending.size();
        }
        if (gathered >= (hashing ? 8 : 1) * writesPerTransaction) {
            const std::lock_guard lock(mutex);
            this->write(take());
        }
    }

    // Writes a batch once enough is gathered; the caller holds mutex.
    void writeWhenDue() {
        bool due = false;
        {
            const std::lock_guard lock(gathering);
            due = pending.size() >= writesPerTransaction;
        }
        if (due) {
            write(take());
        }
    }

    // Drops the files not seen for keptDays (a busy database is left for the
    // next run to tidy).
    void purge() {
        if (!execute(db.get(), "BEGIN IMMEDIATE")) {
            return;
        }
        bool done = true;
        for (const std::string_view sql : purgeSql) {
            const Statement statement = prepare(db.get(), sql);
            if (!statement) {
                done = false;
                break;
            }
            sqlite3_bind_int64(statement.get(), 1, day - keptDays);
            done = done && runToEnd(statement.get());
        }
        if (!done || !execute(db.get(), "COMMIT")) {
            execute(db.get(), "ROLLBACK");
        }
    }
};

namespace {

enum class Opened { Usable, SetAside };

// Turns the write-ahead log on. Two runs creating the cache at once: the one
// that cannot take the lock for that is told the database is locked (or keeps
// the old mode) at once, without the busy wait, so it asks again for as long
// as it would wait for a lock.
bool writeAheadLog(sqlite3* db) {
    constexpr int pause = 10;
    for (int waited = 0;; waited += pause) {
        const std::string mode = pragmaText(db, "PRAGMA journal_mode=WAL");
        if (mode == "wal") {
            return true;
        }
        const bool locked = mode.empty() && (sqlite3_errcode(db) & 0xFF) == SQLITE_BUSY;
        if ((!mode.empty() || locked) && waited < lockWaitMilliseconds) {
            sqlite3_sleep(pause);
            continue;
        }
        return false;
    }
}

// Opens the database at path and makes sure it is this cache's, creating the
// schema in an empty one.
Opened openState(const std::string& path, DigestCache::State& state) {
    sqlite3* raw = nullptr;
    const int status = sqlite3_open_v2(
        path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    state.db.reset(raw);
    if (status != SQLITE_OK) {
        return Opened::SetAside;
    }
    sqlite3* db = state.db.get();
    sqlite3_busy_timeout(db, lockWaitMilliseconds);
    if (sqlite3_db_readonly(db, "main") != 0) {
        return Opened::SetAside;
    }
    // The log is folded into the database as it fills (every thousand pages)
    // rather than when the run ends, which would cost it two flushes to disk.
    if (sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr) != SQLITE_OK ||
        !writeAheadLog(db) || !execute(db, "PRAGMA synchronous=NORMAL") ||
        !execute(db, "PRAGMA journal_size_limit=8388608") || !execute(db, "BEGIN IMMEDIATE")) {
        return Opened::SetAside;
    }
    const std::optional<std::int64_t> id = pragmaNumber(db, "PRAGMA application_id");
    const std::optional<std::int64_t> version = pragmaNumber(db, "PRAGMA user_version");
    const std::optional<std::int64_t> objects =
        pragmaNumber(db, "SELECT count(*) FROM sqlite_schema");
    if (!id || !version || !objects) {
        return Opened::SetAside;
    }
    if (*id == 0 && *version == 0 && *objects == 0) {
        if (!execute(db, schema) ||
            !execute(db, "PRAGMA application_id=" + std::to_string(applicationId)) ||
            !execute(db, "PRAGMA user_version=" + std::to_string(schemaVersion))) {
            execute(db, "ROLLBACK");
            return Opened::SetAside;
        }
    } else if (*id != applicationId || *version != schemaVersion) {
        execute(db, "ROLLBACK");
        return Opened::SetAside;
    }
    if (!execute(db, "COMMIT") || pragmaText(db, "PRAGMA quick_check") != "ok" ||
        !state.prepareAll()) {
        return Opened::SetAside;
    }
    return Opened::Usable;
}

// Moves the database and its write-ahead log and shared memory out of the
// way; true when nothing of it is left at path.
bool setAside(const std::string& path) {
    const std::string broken = path + ".broken";
    for (const char* suffix : {"-wal", "-shm"}) {
        if (!moveFile(path + suffix, broken + suffix)) {
            deleteFile(path + suffix);
        }
    }
    if (!moveFile(path, broken)) {
        deleteFile(path);
    }
    return !InputFile::open(path) && !InputFile::open(path + "-wal");
}

std::optional<std::string> environment(const char* name) {
#ifdef _WIN32
    const std::wstring wide = toWide(name);
    const DWORD length = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (length <= 1) {
        return std::nullopt;
    }
    std::wstring value(length, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(wide.c_str(), value.data(), length);
    value.resize(got);
    return toUtf8(value);
#else
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
#endif
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

DigestCache::DigestCache(std::unique_ptr<State> state) : state_(std::move(state)) {}
DigestCache::DigestCache(DigestCache&&) noexcept = default;
DigestCache& DigestCache::operator=(DigestCache&&) noexcept = default;

DigestCache::~DigestCache() {
    if (state_) {
        finish();
    }
}

std::optional<DigestCache> DigestCache::open(const std::string& path) {
    const std::string folder = folderOf(path);
    if (!folder.empty() && !createFolders(folder)) {
        return std::nullopt;
    }
    auto state = std::make_unique<State>();
    state->path = path;
    if (openState(path, *state) != Opened::Usable) {
        state = std::make_unique<State>();
        state->path = path;
        if (!setAside(path) || openState(path, *state) != Opened::Usable) {
            return std::nullopt;
        }
    }
    return DigestCache(std::move(state));
}

std::string defaultCachePath() {
    if (const std::optional<std::string> folder = environment("QUILLON_CACHE_DIR")) {
        return *folder + "/digests.sqlite";
    }
#ifdef _WIN32
    if (const std::optional<std::string> local = environment("LOCALAPPDATA")) {
        return *local + "\\Quillon\\digests.sqlite";
    }
#else
    if (const std::optional<std::string> cache = environment("XDG_CACHE_HOME")) {
        return *cache + "/quillon/digests.sqlite";
    }
    if (const std::optional<std::string> home = environment("HOME")) {
        return *home + "/.cache/quillon/digests.sqlite";
    }
#endif
    return {};
}

std::optional<DigestCache> DigestCache::openDefault() {
    const std::string path = defaultCachePath();
    if (path.empty()) {
        return std::nullopt;
    }
    return open(path);
}

std::optional<KnownFile> DigestCache::find(const FileIdentity& file, HeaderConvention convention) {
    if (!state_) {
        return std::nullopt;
    }
    const std::lock_guard lock(state_->mutex);
    state_->writeWhenDue();
    if (state_->broken) {
        return std::nullopt;
    }
    sqlite3_stmt* statement = state_->find.get();
    bindIdentity(statement, file);
    const int skipColumn = convention == HeaderConvention::Skippers ? 9 : 7;
    std::optional<KnownFile> known;
    std::optional<std::int64_t> touch;
    int status = SQLITE_ROW;
    while ((status = sqlite3_step(statement)) == SQLITE_ROW) {
        if (!known) {
            known.emplace();
            if (sqlite3_column_type(statement, 1) != SQLITE_NULL) {
                const std::int64_t kind = sqlite3_column_int64(statement, 1);
                known->kind = kind == plainKind ? FileKind::Plain : FileKind::Archive;
                if (kind >= 0) {
                    known->members = static_cast<std::uint64_t>(kind);
                }
            }
            if (sqlite3_column_int64(statement, 2) < state_->day) {
                touch = sqlite3_column_int64(statement, 0);
            }
        }
        if (sqlite3_column_type(statement, 3) == SQLITE_NULL) {
            continue; // a file with no item kept
        }
        KnownItem& item = known->items.emplace_back();
        item.position = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 3));
        const unsigned char* name = sqlite3_column_text(statement, 4);
        item.name = name == nullptr ? std::string() : reinterpret_cast<const char*>(name);
        const std::optional<Digests> whole = fromBlob(blobColumn(statement, 6));
        if (!whole || sqlite3_column_type(statement, skipColumn) == SQLITE_NULL) {
            continue; // not hashed under this convention
        }
        KnownDigests digests;
        digests.size = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 5));
        digests.whole = *whole;
        const std::int64_t skip = sqlite3_column_int64(statement, skipColumn);
        if (skip >= 0) {
            const std::optional<Digests> headerless =
                fromBlob(blobColumn(statement, skipColumn + 1));
            if (!headerless) {
                continue;
            }
            digests.skip = static_cast<std::uint64_t>(skip);
            digests.headerless = *headerless;
        }
        item.digests = digests;
    }
    sqlite3_reset(statement);
    if (status != SQLITE_DONE) {
        state_->broken = true;
        return std::nullopt;
    }
    if (touch) {
        const std::lock_guard gathering(state_->gathering);
        state_->pending.push_back(TouchWrite{*touch});
    }
    return known;
}

void DigestCache::noteKind(const FileIdentity& file, FileKind kind,
                           std::optional<std::uint64_t> members) {
    if (!state_) {
        return;
    }
    state_->add(KindWrite{file, storedKind(kind, members)}, false);
}

void DigestCache::keep(const FileIdentity& file, const KnownItem& item, HeaderConvention convention,
                       FileKind kind) {
    if (!state_) {
        return;
    }
    state_->add(ItemWrite{file, item, convention, storedKind(kind, std::nullopt)}, true);
}

void DigestCache::finish() {
    if (!state_) {
        return;
    }
    std::unique_lock lock(state_->mutex);
    state_->write(state_->take());
    if (!state_->broken) {
        state_->purge();
    }
    if (state_->broken) {
        // Statements first: the connection closes only once they are gone.
        state_->find.reset();
        state_->file.reset();
        state_->item[0].reset();
        state_->item[1].reset();
        state_->touch.reset();
        state_->db.reset();
        setAside(state_->path);
    }
    lock.unlock();
    state_.reset();
}
