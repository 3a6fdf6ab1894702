// The archive reader over fuzzed zip and 7z archives: whatever the bytes, it
// returns (no crash, hang or unbounded memory), and every member it hands out
// keeps the promises of its record.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "archive/archive.h"
#include "check.h"

namespace {

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC2 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        if (length == 0 || text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<std::uint8_t>(text[i + k]) & 0xC0u) != 0x80u) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    (void)isArchive(input);
    forEachArchiveMember(input, [](ArchiveMember& member) {
        FUZZ_CHECK(isValidUtf8(member.name));
        FUZZ_CHECK(member.readable || member.bytes.empty());
        FUZZ_CHECK(member.bytes.size() < (std::uint64_t{1} << 32));
    });
    return 0;
}
