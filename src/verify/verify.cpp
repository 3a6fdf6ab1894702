#include "verify/verify.h"

#include <algorithm>

#include "base/byte_order.h"

namespace {

// The first eight bytes of a digest, as the index orders them.
template <std::size_t N> std::uint64_t prefixKey(const std::array<std::uint8_t, N>& digest) {
    return readBE(digest, 0, 8);
}

// Every value the DAT gives agrees; size and CRC-32 alone never decide when
// the entry also gives a stronger digest, as each given one is compared.
bool agrees(const DatRom& rom, std::uint64_t size, const Digests& digests) {
    return (!rom.size || *rom.size == size) && (!rom.crc32 || *rom.crc32 == digests.crc32) &&
           (!rom.md5 || *rom.md5 == digests.md5) && (!rom.sha1 || *rom.sha1 == digests.sha1) &&
           (!rom.sha256 || *rom.sha256 == digests.sha256);
}

bool hasDump(const DatRom& rom) {
    return rom.status != DumpStatus::NoDump;
}

} // namespace

std::string_view ownName(std::string_view path) {
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\");
#else
    const std::size_t slash = path.find_last_of('/');
#endif
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

ScanOptions verifyScanOptions() {
    ScanOptions options;
    options.inspect = false;
    options.archiveRecords = false;
    options.headers = HeaderConvention::Skippers;
    return options;
}

Verifier::Verifier(const Dat& dat) : dat_(dat), have_(dat.roms.size(), false) {
    for (std::size_t i = 0; i < dat.roms.size(); ++i) {
        const DatRom& rom = dat.roms[i];
        if (!hasDump(rom) || rom.unmatchable) {
            continue;
        }
        if (rom.crc32) {
            byCrc_.push_back({*rom.crc32, i});
        } else if (rom.sha1) {
            bySha1_.push_back({prefixKey(*rom.sha1), i});
        } else if (rom.md5) {
            byMd5_.push_back({prefixKey(*rom.md5), i});
        } else if (rom.sha256) {
            bySha256_.push_back({prefixKey(*rom.sha256), i});
        }
    }
    for (auto* index : {&byCrc_, &bySha1_, &byMd5_, &bySha256_}) {
        std::sort(index->begin(), index->end());
    }
}

void Verifier::lookUp(const std::vector<Entry>& index, std::uint64_t key, std::uint64_t size,
                      const Digests& digests, bool headerless,
                      std::vector<std::pair<std::size_t, bool>>& out) const {
    auto it = std::lower_bound(index.begin(), index.end(), Entry{key, 0});
    for (; it != index.end() && it->key == key; ++it) {
        if (agrees(dat_.roms[it->rom], size, digests)) {
            out.emplace_back(it->rom, headerless);
        }
    }
}

CandidateVerdict Verifier::add(const CatalogRecord& record) {
    ++counts_.files;
    CandidateVerdict verdict;
    if (record.state == ItemState::Unreadable) {
        ++counts_.unreadable;
        allGood_ = false;
        return verdict;
    }
    std::vector<std::pair<std::size_t, bool>> matches;
    const auto search = [&](std::uint64_t size, const Digests& digests, bool headerless) {
        lookUp(byCrc_, digests.crc32, size, digests, headerless, matches);
        lookUp(bySha1_, prefixKey(digests.sha1), size, digests, headerless, matches);
        lookUp(byMd5_, prefixKey(digests.md5), size, digests, headerless, matches);
        lookUp(bySha256_, prefixKey(digests.sha256), size, digests, headerless, matches);
    };
    search(record.size, record.digests, false);
    if (record.headerless) {
        search(record.headerless->size, record.headerless->digests, true);
    }
    if (matches.empty()) {
        ++counts_.unknown;
        allGood_ = false;
        return verdict;
    }
    const std::string_view name = ownName(record.member ? *record.member : record.path);
    const auto isNamed = [&](std::size_t rom) { return dat_.roms[rom].name == name; };
    // Whole-file matches were found first; a stable choice keeps that order.
    const auto best =
        std::min_element(matches.begin(), matches.end(), [&](const auto& a, const auto& b) {
            const bool namedA = isNamed(a.first);
            const bool namedB = isNamed(b.first);
            if (namedA != namedB) {
                return namedA;
            }
            if (a.second != b.second) {
                return !a.second;
            }
            return a.first < b.first;
        });
    for (const auto& match : matches) {
        have_[match.first] = true;
        verdict.matches.push_back({match.first, match.second});
    }
    verdict.matched = true;
    verdict.rom = best->first;
    verdict.headerless = best->second;
    verdict.named = isNamed(best->first);
    ++counts_.matched;
    const DumpStatus status = dat_.roms[verdict.rom].status;
    if (status == DumpStatus::BadDump) {
        ++counts_.badDumps;
    }
    if (status != DumpStatus::Good && status != DumpStatus::Verified) {
        allGood_ = false;
    }
    return verdict;
}

std::vector<IncompleteGame> Verifier::incompleteGames() const {
    std::vector<IncompleteGame> games;
    for (std::size_t g = 0; g < dat_.games.size(); ++g) {
        const DatGame& game = dat_.games[g];
        IncompleteGame tally{g, {}, 0};
        for (std::size_t r = game.firstRom; r < game.firstRom + game.romCount; ++r) {
            if (!hasDump(dat_.roms[r])) {
                continue;
            }
            if (have_[r]) {
                ++tally.have;
            } else {
                tally.missing.push_back(r);
            }
        }
        if (!tally.missing.empty()) {
            games.push_back(std::move(tally));
        }
    }
    return games;
}

VerifySummary Verifier::summary() const {
    VerifySummary summary = counts_;
    for (const DatGame& game : dat_.games) {
        std::size_t needed = 0;
        std::size_t have = 0;
        for (std::size_t r = game.firstRom; r < game.firstRom + game.romCount; ++r) {
            if (hasDump(dat_.roms[r])) {
                ++needed;
                have += have_[r] ? 1 : 0;
            }
        }
        if (needed == 0) {
            continue;
        }
        ++summary.games;
        if (have == needed) {
            ++summary.complete;
        } else if (have > 0) {
            ++summary.partial;
        } else {
            ++summary.missing;
        }
    }
    return summary;
}
