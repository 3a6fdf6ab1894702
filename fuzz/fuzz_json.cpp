// The catalogue line over fuzzed header texts: the input is laid into the
// title and game code of a Game Boy Advance header (whose game code may hold
// any byte), used as the path, and inspected as an image of its own. Every
// line must be one strict JSON value without a raw line break, and each JSON
// string must decode back to exactly the bytes it was made from.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/bytes.h"
#include "check.h"
#include "cli/json_lines.h"
#include "json_check.h"
#include "scan/scan.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The bytes a string from jsonString stands for: raw bytes as they are, "\\"
// and "\"" as the character, \u00XX as the byte XX. nullopt for anything
// else, which jsonString never writes.
std::optional<std::string> decodeByteString(std::string_view json) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        if (json[i] != '\\') {
            out.push_back(json[i]);
            continue;
        }
        if (i + 2 >= json.size()) {
            return std::nullopt;
        }
        const char e = json[++i];
        if (e == '\\' || e == '"') {
            out.push_back(e);
        } else if (e == 'u' && i + 5 < json.size() && json.substr(i + 1, 2) == "00" &&
                   hexValue(json[i + 3]) >= 0 && hexValue(json[i + 4]) >= 0) {
            out.push_back(static_cast<char>(hexValue(json[i + 3]) << 4 | hexValue(json[i + 4])));
            i += 4;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

Bytes gbaWithTexts(std::span<const std::uint8_t> texts) {
    Bytes image(0x200, 0);
    const std::uint8_t logo[] = {0x24, 0xFF, 0xAE, 0x51};
    std::copy(std::begin(logo), std::end(logo), image.begin() + 4);
    // Title (12 bytes) and game code (4 bytes) from the first 16 input bytes.
    for (std::size_t i = 0; i < texts.size() && i < 16; ++i) {
        image[0xA0 + i] = texts[i];
    }
    return image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static DigestHasher hasher;
    // Header texts are short: the first bytes are plenty, and keep runs fast.
    const std::span<const std::uint8_t> input(data, std::min<std::size_t>(size, 4096));
    const std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());

    const std::string quoted = jsonString(text);
    FUZZ_CHECK(testing_support::isJsonValue(quoted));
    FUZZ_CHECK(decodeByteString(quoted) == std::string(text));

    const CatalogRecord record = catalogImage(std::string(text), gbaWithTexts(input), hasher);
    const std::string line = catalogLine(record);
    FUZZ_CHECK(line.find('\n') == std::string::npos && line.find('\r') == std::string::npos);
    FUZZ_CHECK(testing_support::isJsonValue(line));
    if (size <= 4096) {
        const std::string line = catalogLine(catalogImage("image", input, hasher));
        FUZZ_CHECK(testing_support::isJsonValue(line));
    }
    return 0;
}
