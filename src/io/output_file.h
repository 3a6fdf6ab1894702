#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/bytes.h"

// True when the path names an existing regular file (links followed): no
// folder, device or FIFO.
bool isRegularFile(const std::string& path);

// What stands at a path, a link not followed (it is Other, as are devices
// and FIFOs); Other also when the path cannot be looked at.
enum class PathKind { Missing, File, Folder, Other };
PathKind pathKind(const std::string& path);

// Renames a file, replacing any file at to; false when it could not.
bool moveFile(const std::string& from, const std::string& to);
// Removes a file, if there is one.
void deleteFile(const std::string& path);
// Creates the folder and every missing folder above it; true when it exists
// as a folder afterwards.
bool createFolders(const std::string& path);

// Stores the bytes at path. An existing regular file is replaced only by a
// complete new file (written beside it, then renamed over it, keeping its
// permission bits); on any failure the old content stays as it was. A path
// that exists but is not a regular file (a device, a FIFO, a symbolic link)
// is opened and written in place. Returns true when every step succeeded.
bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes);

// The common shape of a one-input operation: read the input, let the
// transformation accept (true) or reject (false) the image, write the result.
// A rejected, unreadable or empty input writes nothing.
bool transformFile(const std::string& inputPath, const std::string& outputPath,
                   bool (*transform)(Bytes& image));

// The common shape of a two-input operation (the patchers and the patch
// creators): read both inputs whole (one that cannot be read is handed on as
// empty, which every such operation rejects), let the operation build the
// output (nullopt rejects the inputs, and nothing is written), write it.
bool combineFiles(const std::string& firstPath, const std::string& secondPath,
                  const std::string& outputPath,
                  std::optional<Bytes> (*combine)(std::span<const std::uint8_t>,
                                                  std::span<const std::uint8_t>));
