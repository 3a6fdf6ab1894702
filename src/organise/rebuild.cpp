#include "organise/rebuild.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "archive/archive.h"
#include "hash/digests.h"
#include "io/input_file.h"
#include "io/output_file.h"
#include "organise/safe_name.h"
#include "organise/torrentzip.h"

namespace {

bool hasDump(const DatRom& rom) {
    return rom.status != DumpStatus::NoDump;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    const char last = folder.back();
#ifdef _WIN32
    const bool separated = last == '/' || last == '\\';
#else
    const bool separated = last == '/';
#endif
    return separated ? folder + name : folder + "/" + name;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// What one game comes to before anything is read: its target and the ROMs
// to put there.
struct GamePlan {
    std::size_t game = 0;
    std::vector<std::size_t> matched; // ROMs with a source, in DAT order
    std::vector<std::size_t> missing;
    std::string target;
    // Targets equal but for case are one file on Windows: games whose first
    // name below OUT folds to the same key are never written side by side.
    std::string key;
    bool badName = false;
    bool severalRoms = false; // plain files: the game has a folder of its own
};

bool namesAreSafe(const Dat& dat, const DatGame& game, const std::vector<std::size_t>& roms) {
    if (!isSafeName(game.name, false)) {
        return false;
    }
    std::set<std::string> seen;
    for (const std::size_t r : roms) {
        const std::string name = romPath(dat.roms[r]);
        if (!isSafeName(name, true) || !seen.insert(name).second) {
            return false;
        }
    }
    return true;
}

std::vector<GamePlan> planGames(const Dat& dat,
                                const std::vector<std::optional<RomSource>>& sources,
                                const RebuildOptions& options) {
    std::vector<GamePlan> plans;
    for (std::size_t g = 0; g < dat.games.size(); ++g) {
        const DatGame& game = dat.games[g];
        GamePlan plan;
        plan.game = g;
        std::vector<std::size_t> dumped;
        for (std::size_t r = game.firstRom; r < game.firstRom + game.romCount; ++r) {
            if (!hasDump(dat.roms[r])) {
                continue;
            }
            dumped.push_back(r);
            (sources[r] ? plan.matched : plan.missing).push_back(r);
        }
        if (plan.matched.empty()) {
            continue;
        }
        plan.badName = !namesAreSafe(dat, game, dumped);
        plan.severalRoms = dumped.size() > 1;
        std::string below;
        if (options.form == RebuildForm::TorrentZip) {
            below = game.name + ".zip";
        } else {
            below = plan.severalRoms ? game.name : romPath(dat.roms[dumped.front()]);
        }
        plan.target = joinPath(options.out, below);
        plan.key = lowerAscii(below.substr(0, below.find('/')));
        plans.push_back(std::move(plan));
    }
    return plans;
}

// The bytes still hold what the scan matched: the ROM's part of them agrees
// with every value of the DAT's entry that the check needs (size, CRC-32 and
// SHA-1, else MD5, else SHA-256).
bool stillMatches(const DatRom& rom, const RomSource& source, std::span<const std::uint8_t> bytes) {
    if (bytes.size() != source.size || (source.headerless && source.skip > bytes.size())) {
        return false;
    }
    const std::span<const std::uint8_t> part =
        source.headerless ? bytes.subspan(static_cast<std::size_t>(source.skip)) : bytes;
    if (rom.size && *rom.size != part.size()) {
        return false;
    }
    DigestChoice choice;
    choice.sha1 = rom.sha1.has_value();
    choice.md5 = !choice.sha1 && rom.md5.has_value();
    choice.sha256 = !choice.sha1 && !choice.md5 && rom.sha256.has_value();
    const Digests digests = selectedDigests(part, choice);
    return (!rom.crc32 || *rom.crc32 == digests.crc32) &&
           (!choice.sha1 || *rom.sha1 == digests.sha1) &&
           (!choice.md5 || *rom.md5 == digests.md5) &&
           (!choice.sha256 || *rom.sha256 == digests.sha256);
}

// The bytes of each ROM, read again from their sources (each file once) and
// checked; nullopt when any cannot be read or has changed.
std::optional<std::map<std::size_t, Bytes>>
readSources(const Dat& dat, const std::vector<std::optional<RomSource>>& sources,
            const std::vector<std::size_t>& roms) {
    std::map<std::string, std::vector<std::size_t>> byFile;
    for (const std::size_t r : roms) {
        byFile[sources[r]->path].push_back(r);
    }
    std::map<std::size_t, Bytes> contents;
    for (const auto& entry : byFile) {
        // Named, not bound: the lambdas below capture them.
        const std::string& path = entry.first;
        const std::vector<std::size_t>& wanted = entry.second;
        std::optional<Bytes> file = readFile(path);
        if (!file) {
            return std::nullopt;
        }
        const auto take = [&](std::span<const std::uint8_t> bytes, const std::string* member) {
            for (const std::size_t r : wanted) {
                const RomSource& source = *sources[r];
                if (contents.count(r) == 0 &&
                    (member ? source.member == *member : !source.member) &&
                    stillMatches(dat.roms[r], source, bytes)) {
                    contents.emplace(r, Bytes(bytes.begin(), bytes.end()));
                }
            }
        };
        std::set<std::string> members;
        for (const std::size_t r : wanted) {
            if (sources[r]->member) {
                members.insert(*sources[r]->member);
            }
        }
        if (members.empty()) {
            take(*file, nullptr);
            continue;
        }
        forEachArchiveMember(
            *file,
            [&](ArchiveMember& member) {
                if (member.readable) {
                    take(member.bytes, &member.name);
                }
            },
            [&](const std::string& name) { return members.count(name) != 0; });
    }
    if (contents.size() != roms.size()) {
        return std::nullopt;
    }
    return contents;
}

bool anyHeaderless(const std::vector<std::optional<RomSource>>& sources,
                   const std::vector<std::size_t>& roms) {
    return std::any_of(roms.begin(), roms.end(),
                       [&](std::size_t r) { return sources[r]->headerless; });
}

GameOutcome rebuildZip(const Dat& dat, const GamePlan& plan,
                       const std::vector<std::optional<RomSource>>& sources, GameOutcome outcome) {
    std::vector<ZipEntry> planned;
    for (const std::size_t r : plan.matched) {
        planned.push_back({romPath(dat.roms[r]), sources[r]->crc32, sources[r]->size});
    }
    std::sort(planned.begin(), planned.end(), [](const ZipEntry& a, const ZipEntry& b) {
        return torrentZipBefore(a.name, b.name);
    });
    bool replacing = false;
    switch (pathKind(plan.target)) {
    case PathKind::Missing:
        break;
    case PathKind::File: {
        const std::optional<InputFile> file = InputFile::open(plan.target);
        const std::optional<ZipListing> listing = file ? readZipListing(*file) : std::nullopt;
        if (!listing) {
            outcome.status = TargetStatus::Conflict;
            return outcome;
        }
        const auto same = [](const ZipEntry& a, const ZipEntry& b) {
            return a.name == b.name && a.crc32 == b.crc32 && a.size == b.size;
        };
        if (listing->torrentZip && std::equal(listing->entries.begin(), listing->entries.end(),
                                              planned.begin(), planned.end(), same)) {
            outcome.status = TargetStatus::Kept;
            outcome.roms = plan.matched.size();
            outcome.headerless = anyHeaderless(sources, plan.matched);
            return outcome;
        }
        // Replaced only when nothing it holds would be lost.
        for (const ZipEntry& old : listing->entries) {
            if (std::none_of(planned.begin(), planned.end(), [&](const ZipEntry& entry) {
                    return entry.name == old.name && entry.crc32 == old.crc32;
                })) {
                outcome.status = TargetStatus::Conflict;
                return outcome;
            }
        }
        replacing = true;
        break;
    }
    case PathKind::Folder:
    case PathKind::Other:
        outcome.status = TargetStatus::Conflict;
        return outcome;
    }
    const std::optional<std::map<std::size_t, Bytes>> contents =
        readSources(dat, sources, plan.matched);
    if (!contents) {
        outcome.status = TargetStatus::Unreadable;
        return outcome;
    }
    std::vector<TorrentZipMember> members;
    for (const auto& [r, bytes] : *contents) {
        members.push_back({romPath(dat.roms[r]), bytes});
    }
    const std::optional<Bytes> zip = writeTorrentZip(std::move(members));
    if (!zip || !writeFile(plan.target, *zip)) {
        outcome.status = TargetStatus::Conflict;
        return outcome;
    }
    outcome.status = replacing ? TargetStatus::Updated : TargetStatus::Written;
    outcome.roms = plan.matched.size();
    outcome.headerless = anyHeaderless(sources, plan.matched);
    outcome.bytes = zip->size();
    return outcome;
}

// A plain target holds the source's bytes: same size, CRC-32 and SHA-1 (from
// the digest cache when it knows the file, else read and hashed).
bool holdsSource(const std::string& path, const RomSource& source, DigestCache* cache) {
    const std::optional<InputFile> file = InputFile::open(path);
    if (!file || file->size() != source.size) {
        return false;
    }
    const std::optional<FileIdentity> identity = file->identity();
    if (cache != nullptr && identity) {
        if (const std::optional<KnownFile> known =
                cache->find(*identity, HeaderConvention::Skippers)) {
            for (const KnownItem& item : known->items) {
                if (item.position == 0 && item.digests) {
                    return item.digests->size == source.size &&
                           item.digests->whole.crc32 == source.crc32 &&
                           item.digests->whole.sha1 == source.sha1;
                }
            }
        }
    }
    const std::optional<Bytes> bytes = file->readAll();
    if (!bytes) {
        return false;
    }
    DigestChoice choice;
    choice.sha1 = true;
    const Digests digests = selectedDigests(*bytes, choice);
    return digests.crc32 == source.crc32 && digests.sha1 == source.sha1;
}

GameOutcome rebuildFiles(const Dat& dat, const GamePlan& plan,
                         const std::vector<std::optional<RomSource>>& sources,
                         const RebuildOptions& options, GameOutcome outcome) {
    const std::string folder = plan.severalRoms ? plan.target : options.out;
    const PathKind folderKind = plan.severalRoms ? pathKind(folder) : PathKind::Folder;
    if (folderKind != PathKind::Folder && folderKind != PathKind::Missing) {
        outcome.status = TargetStatus::Conflict;
        return outcome;
    }
    std::vector<std::size_t> toWrite;
    bool conflict = false;
    for (const std::size_t r : plan.matched) {
        const std::string path = joinPath(folder, romPath(dat.roms[r]));
        const PathKind kind = pathKind(path);
        if (kind == PathKind::Missing) {
            toWrite.push_back(r);
        } else if (kind == PathKind::File && holdsSource(path, *sources[r], options.cache)) {
            ++outcome.roms;
        } else {
            conflict = true;
        }
    }
    std::optional<std::map<std::size_t, Bytes>> contents;
    if (!toWrite.empty()) {
        contents = readSources(dat, sources, toWrite);
        if (!contents) {
            outcome.status = TargetStatus::Unreadable;
            return outcome;
        }
    }
    bool written = false;
    for (const std::size_t r : toWrite) {
        const std::string path = joinPath(folder, romPath(dat.roms[r]));
        const Bytes& bytes = contents->at(r);
        const std::string parent = folderOf(path);
        if ((parent.empty() || createFolders(parent)) && writeFile(path, bytes)) {
            written = true;
            ++outcome.roms;
            outcome.bytes += bytes.size();
        } else {
            conflict = true;
        }
    }
    outcome.status = conflict  ? TargetStatus::Conflict
                     : written ? TargetStatus::Written
                               : TargetStatus::Kept;
    outcome.headerless = anyHeaderless(sources, plan.matched);
    return outcome;
}

GameOutcome rebuildGame(const Dat& dat, const GamePlan& plan,
                        const std::vector<std::optional<RomSource>>& sources,
                        const RebuildOptions& options) {
    GameOutcome outcome;
    outcome.game = plan.game;
    outcome.path = plan.target;
    outcome.missing = plan.missing;
    if (plan.badName) {
        outcome.status = TargetStatus::BadName;
        return outcome;
    }
    return options.form == RebuildForm::TorrentZip
               ? rebuildZip(dat, plan, sources, std::move(outcome))
               : rebuildFiles(dat, plan, sources, options, std::move(outcome));
}

} // namespace

std::string romPath(const DatRom& rom) {
    std::string path = rom.name;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

void SourceChooser::add(const CatalogRecord& record, const CandidateVerdict& verdict) {
    for (const RomMatch& match : verdict.matches) {
        std::optional<RomSource>& slot = sources_[match.rom];
        if (slot && !(slot->headerless && !match.headerless)) {
            continue;
        }
        RomSource source;
        source.path = record.path;
        source.member = record.member;
        source.headerless = match.headerless;
        source.skip = match.headerless && record.headerless ? record.headerless->skip : 0;
        source.size = record.size;
        source.crc32 = record.digests.crc32;
        source.sha1 = record.digests.sha1;
        slot = std::move(source);
    }
}

void rebuildGames(const Dat& dat, const std::vector<std::optional<RomSource>>& sources,
                  const RebuildOptions& options,
                  const std::function<void(const GameOutcome&)>& sink) {
    const std::vector<GamePlan> plans = planGames(dat, sources, options);
    unsigned threads = options.threads;
    if (threads == 0) {
        threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;
    std::set<std::string> busy;
    std::vector<std::optional<GameOutcome>> done(plans.size());
    const auto work = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            // Games are taken in DAT order; one whose target may be another's
            // waits for that one to finish.
            changed.wait(lock,
                         [&] { return next == plans.size() || busy.count(plans[next].key) == 0; });
            if (next == plans.size()) {
                return;
            }
            const GamePlan& plan = plans[next++];
            busy.insert(plan.key);
            lock.unlock();
            GameOutcome outcome = rebuildGame(dat, plan, sources, options);
            lock.lock();
            busy.erase(plan.key);
            done[static_cast<std::size_t>(&plan - plans.data())] = std::move(outcome);
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        workers.emplace_back(work);
    }
    for (std::size_t i = 0; i < plans.size(); ++i) {
        std::optional<GameOutcome> outcome;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return done[i].has_value(); });
            outcome = std::move(done[i]);
            done[i].reset();
        }
        sink(*outcome);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
}
