#pragma once

#include <string>

// The patch commands that work on files: the ROM or original, the patch or
// modified image, and the file written. False when an input cannot be read,
// the format's applier or creator refuses it (see patch/ips.h, patch/bps.h,
// patch/ups.h), or the output cannot be written.
bool applyIpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath);
bool applyBpsPatch(const std::string& romPath, const std::string& patchPath,
                   const std::string& outputPath);
bool createIpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath);
bool createBpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath);
bool createUpsPatch(const std::string& originalPath, const std::string& modifiedPath,
                    const std::string& patchPath);
bool createXdeltaPatch(const std::string& originalPath, const std::string& modifiedPath,
                       const std::string& patchPath);
