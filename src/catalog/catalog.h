#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "hash/digests.h"
#include "inspect/rom_info.h"

// The digests over the bytes after a header that the checksum databases
// leave out of their entries.
struct HeaderlessDigests {
    std::uint64_t skip = 0;
    std::uint64_t size = 0;
    Digests digests;
};

// One file of a catalogue, or one member of an archive. An unreadable one
// carries only its path (and member name).
struct CatalogRecord {
    std::string path;
    std::optional<std::string> member; // the stored name, for an archive member
    bool readable = false;
    std::uint64_t size = 0;
    RomInfo info;
    Digests digests;
    std::optional<HeaderlessDigests> headerless;
};

// How many leading bytes the databases skip: 512 for a Super Nintendo image
// with a copier header; 16 for an iNES image, plus 512 when its trainer flag
// (bit 2 of byte 6) is set. nullopt when they hash the whole file.
std::optional<std::uint64_t> databaseHeaderSize(const RomInfo& info,
                                                std::span<const std::uint8_t> image);

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
    std::optional<std::uint64_t> (*headerSize)(const RomInfo& info,
                                               std::span<const std::uint8_t> image) =
        databaseHeaderSize;
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
void catalogPaths(std::span<const std::string> arguments, const RecordSink& sink);
