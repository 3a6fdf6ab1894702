// The TorrentZip writer over members cut from one input: each member is a
// name byte count, that many name bytes, a 2-byte length and its bytes. The
// archive must list, and the archive reader give back, the same members in
// the TorrentZip order; the archive must end with a valid TorrentZip comment.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "check.h"
#include "organise/safe_name.h"
#include "organise/torrentzip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> names;
    std::vector<Bytes> contents;
    std::size_t at = 0;
    while (at < size && names.size() < 16) {
        const std::size_t declared = data[at];
        ++at;
        const std::size_t nameLength = std::min(declared, size - at);
        std::string name(reinterpret_cast<const char*>(data + at), nameLength);
        at += nameLength;
        std::size_t length = 0;
        if (size - at >= 2) {
            length = std::min<std::size_t>(static_cast<std::size_t>(data[at] << 8 | data[at + 1]),
                                           size - at - 2);
            at += 2;
        }
        // Names the writer is given are the rebuild's: safe, each once.
        if (!isSafeName(name, true) || std::find(names.begin(), names.end(), name) != names.end()) {
            at += length;
            continue;
        }
        names.push_back(name);
        contents.emplace_back(data + at, data + at + length);
        at += length;
    }
    std::vector<TorrentZipMember> members;
    for (std::size_t i = 0; i < names.size(); ++i) {
        members.push_back({names[i], contents[i]});
    }
    const std::optional<Bytes> zip = writeTorrentZip(members);
    FUZZ_CHECK(zip.has_value());
    std::sort(members.begin(), members.end(),
              [](const auto& a, const auto& b) { return torrentZipBefore(a.name, b.name); });
    std::size_t index = 0;
    bool same = true;
    const bool listed = forEachArchiveMember(*zip, [&](ArchiveMember& member) {
        same = same && index < members.size() && member.readable &&
               std::equal(member.bytes.begin(), member.bytes.end(), members[index].bytes.begin(),
                          members[index].bytes.end());
        ++index;
    });
    FUZZ_CHECK(listed && same && index == members.size());
    return 0;
}
