#include "cli/json_lines.h"

#include <array>
#include <cstdint>
#include <span>

namespace {

constexpr char hexDigit[] = "0123456789abcdef";

void appendByteEscape(std::string& out, std::uint8_t byte) {
    out += "\\u00";
    out.push_back(hexDigit[byte >> 4]);
    out.push_back(hexDigit[byte & 0xF]);
}

// The length of the valid UTF-8 sequence starting at bytes[at], or 0. Overlong
// forms, surrogates and code points above U+10FFFF are not valid.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(at);
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() - at < length) {
        return 0;
    }
    // The second byte has the narrowed range, the rest the plain one.
    if (byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

} // namespace

std::string jsonString(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + 2);
    out.push_back('"');
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        if (byte == '"' || byte == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(byte));
            ++i;
        } else if (byte < 0x20) {
            appendByteEscape(out, byte);
            ++i;
        } else if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
            ++i;
        } else if (const std::size_t length = utf8SequenceLength(bytes, i); length != 0) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            appendByteEscape(out, byte);
            ++i;
        }
    }
    out.push_back('"');
    return out;
}

std::string crcText(std::uint32_t value) {
    std::string out(8, '0');
    for (std::size_t i = 0; i < 8; ++i) {
        out[7 - i] = hexDigit[(value >> (4 * i)) & 0xF];
    }
    return out;
}

std::string_view platformKey(RomPlatform platform) {
    switch (platform) {
    case RomPlatform::GameBoy:
        return "GameBoy";
    case RomPlatform::GameBoyAdvance:
        return "GameBoyAdvance";
    case RomPlatform::Nes:
        return "Nes";
    case RomPlatform::Snes:
        return "Snes";
    case RomPlatform::Nintendo64:
        return "Nintendo64";
    case RomPlatform::Genesis:
        return "Genesis";
    case RomPlatform::Unknown:
        break;
    }
    return "Unknown";
}

std::string catalogLine(const CatalogRecord& record) {
    ObjectWriter object;
    object.string("path", record.path);
    if (record.member) {
        object.string("member", *record.member);
    }
    if (!record.readable) {
        return object.string("error", "unreadable").finish();
    }
    const RomInfo& info = record.info;
    object.number("size", record.size)
        .string("platform", platformKey(info.platform))
        .string("platformName", info.platformName)
        .string("title", info.title)
        .string("gameCode", info.gameCode)
        .boolean("copierHeader", info.hasCopierHeader)
        .boolean("checksumValid", info.checksumValid)
        .string("details", info.details)
        .digests(record.digests);
    if (!record.headerless) {
        return object.raw("headerless", "null").finish();
    }
    ObjectWriter headerless;
    headerless.number("skip", record.headerless->skip)
        .number("size", record.headerless->size)
        .digests(record.headerless->digests);
    return object.raw("headerless", headerless.finish()).finish();
}
