#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/bytes.h"

// Applies an IPS patch to the image in memory. Returns false for a malformed
// patch or an empty image; the image may then hold part of the records and
// must be discarded.
bool applyIpsPatchImage(Bytes& image, std::span<const std::uint8_t> patch);
// The same for any image, an empty one included (records then build it).
bool applyIpsRecords(Bytes& image, std::span<const std::uint8_t> patch);
bool applyIpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath);

// Builds the target of a BPS patch from its source. nullopt when the inputs
// are rejected (empty source, short patch, wrong magic, a target too large to
// hold); otherwise the target, exactly of the declared size.
std::optional<Bytes> applyBpsPatchImage(std::span<const std::uint8_t> source,
                                           std::span<const std::uint8_t> patch);
bool applyBpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath);

// Makes an IPS patch that turns the original into the modified image: the
// cheapest records in offset order, "EOF", and the modified size when it is
// the shorter. nullopt for an empty input, or when a byte to be written lies
// at or past 16 MiB, or a shorter modified image is 16 MiB or longer (IPS
// numbers are 24-bit).
std::optional<Bytes> createIpsPatchImage(std::span<const std::uint8_t> original,
                                            std::span<const std::uint8_t> modified);
bool createIpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath);

// Makes a BPS patch that turns the original into the modified image, with
// the true CRC-32 of both and of the patch in its footer. The same inputs
// always give the same bytes. nullopt for an empty input or when memory runs
// out.
std::optional<Bytes> createBpsPatchImage(std::span<const std::uint8_t> original,
                                            std::span<const std::uint8_t> modified);
bool createBpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath);

// Makes the canonical UPS patch from the original to the modified image (see
// patch/ups.h). nullopt for an empty input or when memory runs out.
std::optional<Bytes> createUpsPatchImage(std::span<const std::uint8_t> original,
                                            std::span<const std::uint8_t> modified);
bool createUpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath);
