#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "io/input_file.h"

// TorrentZip: the one zip layout that a set's archive must have so that
// everyone who rebuilds it gets the same bytes, whatever tool they use.

// A member to store: its name in UTF-8 ("/" between folders) and its bytes.
struct TorrentZipMember {
    std::string name;
    std::span<const std::uint8_t> bytes;
};

// The order of members: names compared lower-cased (ASCII letters only) byte
// by byte, and names equal that way by their own bytes.
bool torrentZipBefore(const std::string& a, const std::string& b);

// The archive of the members, in that order, each deflated by zlib at level 9
// (raw, 15-bit window, memory level 8), with the fixed time stamp, no extra
// fields or attributes, and the comment that marks a TorrentZip; nullopt when
// zlib fails. Names need not be sorted beforehand.
std::optional<Bytes> writeTorrentZip(std::vector<TorrentZipMember> members);

// What a zip's central directory lists of a member.
struct ZipEntry {
    std::string name; // UTF-8, as the archive reader names it
    std::uint32_t crc32 = 0;
    std::uint64_t size = 0; // uncompressed
};

struct ZipListing {
    std::vector<ZipEntry> entries; // in the directory's order
    // The directory ends with the TorrentZip comment, and the CRC-32 it names
    // is the directory's own.
    bool torrentZip = false;
};

// The listing of the zip file, read from its end records and its central
// directory alone; nullopt when they are not those of a zip (or a directory
// entry is a folder's, or the directory does not fit the file).
std::optional<ZipListing> readZipListing(const InputFile& file);
