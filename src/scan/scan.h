#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "cache/digest_cache.h"
#include "hash/digests.h"
#include "scan/header_rules.h"
#include "scan/record.h"

// Inspects and hashes one image held in memory.
CatalogRecord catalogImage(std::string path, std::span<const std::uint8_t> image,
                           DigestHasher& hasher);

// What a walk makes of the files it reaches.
struct ScanOptions {
    // Fill each record's info (the catalogue) or leave it empty (matching).
    bool inspect = true;
    // A record for each archive itself, before its members' records.
    bool archiveRecords = true;
    // The header whose bytes the headerless digests leave out, if any.
    HeaderConvention headers = HeaderConvention::Catalogue;
    // Where digests are looked up before a file is read, and kept once it is
    // hashed; none: every file is read and hashed.
    DigestCache* cache = nullptr;
};

using RecordSink = std::function<void(const CatalogRecord&)>;

// Walks the arguments (files and folders, see walkPaths) and hands each
// record to the sink in order, each file read once. A zip or 7z archive also
// gives one record per regular member, in stored order; an archive inside an
// archive is hashed as a member, not opened. An archive whose listing cannot
// be read or breaks off ends with an unreadable record of its path.
void scanPaths(std::span<const std::string> arguments, const ScanOptions& options,
               const RecordSink& sink);

// scanPaths with the catalogue's options.
void catalogPaths(std::span<const std::string> arguments, const RecordSink& sink,
                  DigestCache* cache = nullptr);
