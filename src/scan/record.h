#pragma once

#include <cstdint>
#include <optional>
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

// What a record holds. Unreadable: only its path (and member name). Read:
// its bytes were read and hashed (and inspected, where the walk inspects).
// Known: the same fields, taken from what an earlier read kept rather than
// from the bytes, which are then not read.
enum class ItemState { Unreadable, Read, Known };

// One file of a catalogue, or one member of an archive.
struct CatalogRecord {
    std::string path;
    std::optional<std::string> member; // the stored name, for an archive member
    ItemState state = ItemState::Unreadable;
    std::uint64_t size = 0;
    RomInfo info;
    Digests digests;
    std::optional<HeaderlessDigests> headerless;
};
