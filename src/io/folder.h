#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "io/input_file.h"

// Receives each file a walk reaches, in order: the path as the user would type
// it, and the open file, or nullopt for a file that cannot be opened, a
// folder that cannot be listed, or an argument that names nothing usable.
using FileVisitor = std::function<void(const std::string& path, std::optional<InputFile> file)>;

// Visits every argument in order. A folder is walked to any depth, each
// folder's entries in ascending byte order of their names, joined to the
// argument with "/" (a trailing separator of the argument is not doubled).
// Inside folders only regular files are visited: symbolic links are neither
// followed nor listed, and FIFOs and devices are skipped without being
// opened. The walk keeps an explicit stack holding one listing per level, so
// neither depth nor folder size can exhaust the call stack.
void walkPaths(std::span<const std::string> arguments, const FileVisitor& visit);
