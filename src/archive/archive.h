#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/bytes.h"

// Zip and 7z archives, recognised by content.

// True when the bytes begin as a zip or 7z archive does.
bool isArchive(std::span<const std::uint8_t> head);

// One regular member of an archive, in the order the archive stores them.
struct ArchiveMember {
    std::string name;      // the stored path, UTF-8
    bool readable = false; // false: encrypted, corrupt, or too large to expand
    Bytes bytes;           // the decompressed content when readable
};

// Hands each regular member to the visitor in stored order. Returns false
// when the archive itself cannot be opened or its listing breaks off (the
// members visited before that stay visited).
bool forEachArchiveMember(std::span<const std::uint8_t> archive,
                          const std::function<void(ArchiveMember&)>& visit);

// The same for only the members whose stored name wanted accepts: the others
// are skipped without being decompressed.
bool forEachArchiveMember(std::span<const std::uint8_t> archive,
                          const std::function<void(ArchiveMember&)>& visit,
                          const std::function<bool(const std::string&)>& wanted);
