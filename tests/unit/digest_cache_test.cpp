#include "cache/digest_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <sqlite3.h>
#include <sys/stat.h>

#include "archive_builders.h"
#include "rom_builders.h"
#include "scan/scan.h"
#include "verify/verify.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "quillon-cache-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);

void writeBytes(const std::string& path, std::span<const std::uint8_t> bytes,
                fs::file_time_type time = dayAgo) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    fs::last_write_time(path, time);
}

void writeText(const std::string& path, const std::string& text) {
    writeBytes(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

FileIdentity someFile(std::uint64_t inode) {
    return {1, inode, 100, 1'000'000'000, 2'000'000'000};
}

KnownItem itemOf(std::uint64_t position, std::uint8_t mark, std::optional<std::uint64_t> skip) {
    KnownItem item{position, position == 0 ? "" : "m" + std::to_string(position), KnownDigests{}};
    item.digests->size = 100;
    item.digests->whole.crc32 = mark;
    item.digests->whole.sha256[31] = mark;
    item.digests->skip = skip;
    item.digests->headerless.md5[0] = static_cast<std::uint8_t>(mark + 1);
    return item;
}

void runSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

TEST(DigestCache, KeepsEachConventionsDigestsApart) {
    TempFolder folder;
    const std::string path = folder / "deep/er/digests.sqlite";
    {
        std::optional<DigestCache> cache = DigestCache::open(path);
        ASSERT_TRUE(cache);
        EXPECT_FALSE(cache->find(someFile(7), HeaderConvention::Catalogue));
        cache->noteKind(someFile(7), FileKind::Archive, 1);
        cache->keep(someFile(7), itemOf(0, 3, std::nullopt), HeaderConvention::Catalogue);
        cache->keep(someFile(7), itemOf(1, 5, 16), HeaderConvention::Skippers);
    }
    std::optional<DigestCache> cache = DigestCache::open(path);
    ASSERT_TRUE(cache);
    const std::optional<KnownFile> catalogue =
        cache->find(someFile(7), HeaderConvention::Catalogue);
    ASSERT_TRUE(catalogue);
    EXPECT_EQ(catalogue->kind, FileKind::Archive);
    EXPECT_EQ(catalogue->members, 1u);
    ASSERT_EQ(catalogue->items.size(), 2u);
    ASSERT_TRUE(catalogue->items[0].digests);
    EXPECT_EQ(catalogue->items[0].digests->whole.sha256[31], 3);
    EXPECT_FALSE(catalogue->items[0].digests->skip);
    EXPECT_FALSE(catalogue->items[1].digests); // hashed under the other convention only

    const std::optional<KnownFile> skippers = cache->find(someFile(7), HeaderConvention::Skippers);
    ASSERT_TRUE(skippers && skippers->items[1].digests);
    EXPECT_EQ(skippers->items[1].name, "m1");
    EXPECT_EQ(skippers->items[1].digests->skip, 16u);
    EXPECT_EQ(skippers->items[1].digests->headerless.md5[0], 6);

    FileIdentity touched = someFile(7);
    touched.changed += 1;
    EXPECT_FALSE(cache->find(touched, HeaderConvention::Catalogue));
}

// Every database that cannot be used as it is goes aside, and a fresh one
// takes its place.
TEST(DigestCache, SetsAsideWhatItCannotUse) {
    struct Row {
        const char* name;
        std::function<void(const std::string& path)> spoil;
    };
    sqlite3* holder = nullptr;
    const Row rows[] = {
        {"not a database",
         [](const std::string& path) { writeText(path, std::string(5000, 'x')); }},
        {"truncated",
         [](const std::string& path) {
             std::optional<DigestCache> cache = DigestCache::open(path);
             for (std::uint64_t inode = 1; inode <= 300; ++inode) {
                 cache->keep(someFile(inode), itemOf(0, 1, std::nullopt),
                             HeaderConvention::Catalogue);
             }
             cache.reset();
             runSql(path, "PRAGMA wal_checkpoint(TRUNCATE)");
             fs::resize_file(path, fs::file_size(path) / 2);
         }},
        {"another program's", [](const std::string& path) { runSql(path, "CREATE TABLE t(x)"); }},
        {"a newer schema",
         [](const std::string& path) {
             DigestCache::open(path);
             runSql(path, "PRAGMA user_version=2");
         }},
        {"locked by another run",
         [&](const std::string& path) {
             DigestCache::open(path);
             ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
             ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
                       SQLITE_OK);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        const std::string path = folder / "digests.sqlite";
        row.spoil(path);
        {
            std::optional<DigestCache> cache = DigestCache::open(path);
            ASSERT_TRUE(cache);
            cache->keep(someFile(2), itemOf(0, 9, std::nullopt), HeaderConvention::Catalogue);
        }
        EXPECT_TRUE(fs::exists(path + ".broken"));
        const std::optional<KnownFile> known =
            DigestCache::open(path)->find(someFile(2), HeaderConvention::Catalogue);
        ASSERT_TRUE(known);
        EXPECT_EQ(known->items.size(), 1u);
        if (holder != nullptr) {
            sqlite3_close(holder);
            holder = nullptr;
        }
    }
}

TEST(DigestCache, NoneWhereNoFolderCanBeMade) {
    TempFolder folder;
    writeText(folder / "file", "x");
    EXPECT_FALSE(DigestCache::open(folder / "file/quillon/digests.sqlite"));
}

TEST(DigestCache, DropsFilesUnseenForNinetyDays) {
    TempFolder folder;
    const std::string path = folder / "digests.sqlite";
    DigestCache::open(path)->keep(someFile(1), itemOf(0, 1, std::nullopt),
                                  HeaderConvention::Catalogue);
    DigestCache::open(path)->keep(someFile(2), itemOf(0, 2, std::nullopt),
                                  HeaderConvention::Catalogue);
    runSql(path, "UPDATE files SET seen = seen - 91 WHERE inode = 1;"
                 "UPDATE files SET seen = seen - 89 WHERE inode = 2");
    DigestCache::open(path); // a run that ends
    std::optional<DigestCache> cache = DigestCache::open(path);
    EXPECT_FALSE(cache->find(someFile(1), HeaderConvention::Catalogue));
    EXPECT_TRUE(cache->find(someFile(2), HeaderConvention::Catalogue));
}

// --- The walk with a cache --------------------------------------------------

// One run: the cache is opened for it and finished after it.
std::vector<CatalogRecord> scanWith(const std::vector<std::string>& paths,
                                    const std::string& cachePath, bool verifying) {
    std::optional<DigestCache> cache = DigestCache::open(cachePath);
    ScanOptions options = verifying ? verifyScanOptions() : ScanOptions{};
    options.cache = &*cache;
    std::vector<CatalogRecord> records;
    scanPaths(paths, options, [&](const CatalogRecord& record) { records.push_back(record); });
    return records;
}

void expectSameRecord(const CatalogRecord& known, const CatalogRecord& read) {
    EXPECT_EQ(known.path, read.path);
    EXPECT_EQ(known.member, read.member);
    EXPECT_EQ(known.size, read.size);
    EXPECT_EQ(known.info.platform, read.info.platform);
    EXPECT_EQ(known.info.title, read.info.title);
    EXPECT_EQ(known.digests.sha256, read.digests.sha256);
    EXPECT_EQ(known.digests.crc32, read.digests.crc32);
    ASSERT_EQ(known.headerless.has_value(), read.headerless.has_value());
    if (known.headerless) {
        EXPECT_EQ(known.headerless->skip, read.headerless->skip);
        EXPECT_EQ(known.headerless->size, read.headerless->size);
        EXPECT_EQ(known.headerless->digests.md5, read.headerless->digests.md5);
    }
}

Bytes zipOf(const std::string& text) {
    const ByteList content(text.begin(), text.end());
    const Bytes nes = makeNes();
    const ByteList nesList(nes.begin(), nes.end());
    const ByteList zip = makeZip(
        {{"a.bin", 0, content, content, {}, true}, {"b.nes", 0, nesList, nesList, {}, true}});
    return {zip.begin(), zip.end()};
}

class CachedScan : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directory(roms.path() / "roms");
        writeBytes(roms / "roms/a.sfc", makeSnes(0x20000, false, true));
        writeBytes(roms / "roms/b.nes", nesWithTrainer());
        writeBytes(roms / "roms/c.zip", zipOf("first"));
        writeText(roms / "roms/d.gb", "plain");
    }
    static Bytes nesWithTrainer() {
        Bytes image = makeNes(1, 1, 0x04);
        image.resize(image.size() + 512, 0x77);
        return image;
    }
    std::vector<ItemState> states(bool verifying) {
        std::vector<ItemState> out;
        for (const CatalogRecord& record : scanWith({roms / "roms"}, cachePath, verifying)) {
            out.push_back(record.state);
        }
        return out;
    }
    TempFolder roms;
    TempFolder home;
    const std::string cachePath = home / "digests.sqlite";
};

TEST_F(CachedScan, SecondWalkTellsTheSameFromTheCache) {
    for (const bool verifying : {false, true}) {
        SCOPED_TRACE(verifying ? "verify" : "catalog");
        const std::vector<CatalogRecord> cold = scanWith({roms / "roms"}, cachePath, verifying);
        const std::vector<CatalogRecord> warm = scanWith({roms / "roms"}, cachePath, verifying);
        ASSERT_EQ(cold.size(), warm.size());
        for (std::size_t i = 0; i < cold.size(); ++i) {
            SCOPED_TRACE(cold[i].path + " " + cold[i].member.value_or(""));
            EXPECT_EQ(cold[i].state, ItemState::Read);
            EXPECT_EQ(warm[i].state, ItemState::Known);
            expectSameRecord(warm[i], cold[i]);
        }
    }
}

// Whatever changes a file's content must miss, however its times are set.
TEST_F(CachedScan, EveryChangeMisses) {
    struct Row {
        const char* name;
        std::function<void(const TempFolder&)> change;
        std::vector<ItemState> catalogue; // a.sfc, b.nes, c.zip, its two members, d.gb
    };
    using enum ItemState;
    const Row rows[] = {
        {"rewritten with its size and time kept",
         [](const TempFolder& at) {
             const auto time = fs::last_write_time(at / "roms/d.gb");
             writeText(at / "roms/d.gb", "PLAIN");
             fs::last_write_time(at / "roms/d.gb", time);
         },
         {Known, Known, Known, Known, Known, Read}},
        {"touched to an older time",
         [](const TempFolder& at) {
             fs::last_write_time(at / "roms/a.sfc", dayAgo - std::chrono::hours(48));
         },
         {Read, Known, Known, Known, Known, Known}},
        {"replaced by a rename",
         [](const TempFolder& at) {
             const auto time = fs::last_write_time(at / "roms/b.nes");
             Bytes other = nesWithTrainer();
             other.back() = 0x78;
             writeBytes(at / "new.nes", other, time);
             fs::rename(at / "new.nes", at / "roms/b.nes");
         },
         {Known, Read, Known, Known, Known, Known}},
        {"an archive member changed",
         [](const TempFolder& at) {
             const auto time = fs::last_write_time(at / "roms/c.zip");
             writeBytes(at / "roms/c.zip", zipOf("final"), time);
         },
         {Known, Known, Read, Read, Read, Known}},
        {"modified just now (its time may not be final)",
         [](const TempFolder& at) {
             writeBytes(at / "roms/d.gb", Bytes{1, 2}, fs::file_time_type::clock::now());
         },
         {Known, Known, Known, Known, Known, Read}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        states(false);
        row.change(roms);
        const std::vector<CatalogRecord> reference = [&] {
            std::vector<CatalogRecord> records;
            catalogPaths(std::vector<std::string>{roms / "roms"},
                         [&](const CatalogRecord& r) { records.push_back(r); });
            return records;
        }();
        const std::vector<CatalogRecord> after = scanWith({roms / "roms"}, cachePath, false);
        std::vector<ItemState> seen;
        for (std::size_t i = 0; i < after.size(); ++i) {
            seen.push_back(after[i].state);
            expectSameRecord(after[i], reference[i]);
        }
        EXPECT_EQ(seen, row.catalogue);
    }
    // The file modified just now was hashed, not kept.
    EXPECT_EQ(states(false).back(), ItemState::Read);
}

} // namespace
