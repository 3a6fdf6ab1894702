#include "cli/json_lines.h"

#include <array>
#include <cstdint>
#include <span>

#include "base/hex.h"
#include "base/utf8.h"

namespace {

void appendByteEscape(std::string& out, std::uint8_t byte) {
    out += "\\u00" + hexLower(byte, 2);
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
    return hexLower(value, 8);
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
    if (record.state == ItemState::Unreadable) {
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
