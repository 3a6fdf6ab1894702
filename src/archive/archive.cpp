#include "archive/archive.h"

// Placeholder until the archive reader lands: nothing is an archive.
bool isArchive(std::span<const std::uint8_t>) { return false; }

bool forEachArchiveMember(std::span<const std::uint8_t>,
                          const std::function<void(ArchiveMember&)>&) {
    return false;
}
