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

// One file of a catalogue. An unreadable file carries only its path.
struct CatalogRecord {
    std::string path;
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

// Walks the arguments (files and folders, see walkPaths) and hands each
// file's record to the sink in order, each file read once.
void catalogPaths(std::span<const std::string> arguments,
                  const std::function<void(const CatalogRecord&)>& sink);
