#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "io/rom_file.h"

// Applies an IPS patch to the image in memory. Returns false for a malformed
// patch or an empty image; the image may then hold part of the records and
// must be discarded.
bool applyIpsPatchImage(RomImage& image, std::span<const std::uint8_t> patch);
bool applyIpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath);

// Builds the target of a BPS patch from its source. nullopt when the inputs
// are rejected (empty source, short patch, wrong magic, a target too large to
// hold); otherwise the target, exactly of the declared size.
std::optional<RomImage> applyBpsPatchImage(std::span<const std::uint8_t> source,
                                           std::span<const std::uint8_t> patch);
bool applyBpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath);
