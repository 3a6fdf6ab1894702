#include <cstring>
#include <limits>
#include <set>
#include <string>

// expat declares its entity-amplification settings only for builds with DTD
// support, which is expat's default and what Debian and the Windows build use.
#ifndef XML_DTD
#define XML_DTD 1
#endif
#include <expat.h>

#include "dat/logiqx.h"

namespace {

// The elements that carry data sit at fixed depths: the root (1), the header
// and the games (2), their fields and ROMs (3).
enum class Place { Elsewhere, Header, HeaderName, HeaderVersion, Game };

struct LogiqxState {
    XML_Parser parser = nullptr;
    const std::uint8_t* document = nullptr; // the whole file, as expat parses it
    DatBuilder builder;
    std::size_t depth = 0;
    Place place = Place::Elsewhere;
    std::string text;                            // the header field being read
    std::size_t textLength = 0;                  // of the current run of character data
    std::set<std::string, std::less<>> entities; // general entities the DTD declares
    bool failed = false;
    std::uint64_t failedLine = 0;

    std::uint64_t line() const { return XML_GetCurrentLineNumber(parser); }

    void fail() { failAt(line()); }
    void failAt(std::uint64_t at) {
        if (!failed) {
            failed = true;
            failedLine = at;
            XML_StopParser(parser, XML_FALSE);
        }
    }
};

bool entityNameByte(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':' || c >= 0x80;
}

// A reference in an attribute value to an entity nobody declared: with an
// external DTD named, expat leaves such a reference out of the value without
// a word (a game's name would lose its text), so the start tag's own bytes
// are looked at. Only the five predefined entities and those the internal
// subset declares are known; the external DTD is never fetched. Returns the
// line of the first unknown reference, 0 when there is none.
std::uint64_t undefinedReferenceLine(const LogiqxState& state) {
    const XML_Index at = XML_GetCurrentByteIndex(state.parser);
    const int count = XML_GetCurrentByteCount(state.parser);
    if (state.document == nullptr || at < 0 || count <= 0) {
        return 0;
    }
    const std::span<const std::uint8_t> tag(state.document + at, static_cast<std::size_t>(count));
    std::uint64_t line = state.line();
    for (std::size_t i = 0; i < tag.size(); ++i) {
        line += tag[i] == '\n' ? 1 : 0;
        if (tag[i] != '&' || (i + 1 < tag.size() && tag[i + 1] == '#')) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < tag.size() && entityNameByte(tag[end])) {
            ++end;
        }
        const std::string_view name(reinterpret_cast<const char*>(tag.data() + i + 1), end - i - 1);
        const bool predefined =
            name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
        if (!predefined && !state.entities.contains(name)) {
            return line;
        }
    }
    return 0;
}

bool is(const XML_Char* name, const char* expected) {
    return std::strcmp(name, expected) == 0;
}

void XMLCALL startElement(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& state = *static_cast<LogiqxState*>(data);
    ++state.depth;
    state.textLength = 0;
    if (state.depth > datMaxDepth) {
        state.fail();
        return;
    }
    if (const std::uint64_t line = undefinedReferenceLine(state); line != 0) {
        state.failAt(line);
        return;
    }
    const XML_Char* nameAttribute = "";
    for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
        if (std::strlen(a[0]) > datMaxFieldLength || std::strlen(a[1]) > datMaxFieldLength) {
            state.fail();
            return;
        }
        if (is(a[0], "name")) {
            nameAttribute = a[1];
        }
    }
    switch (state.depth) {
    case 1:
        // Logiqx files have datafile at the root, the emulator's own listing mame.
        if (!is(name, "datafile") && !is(name, "mame")) {
            state.fail();
        }
        return;
    case 2:
        if (is(name, "header")) {
            state.place = Place::Header;
        } else if (is(name, "game") || is(name, "machine")) {
            state.place = Place::Game;
            state.builder.beginGame(nameAttribute);
        } else {
            state.place = Place::Elsewhere;
        }
        return;
    case 3:
        if (state.place == Place::Header && (is(name, "name") || is(name, "version"))) {
            state.place = is(name, "name") ? Place::HeaderName : Place::HeaderVersion;
            state.text.clear();
        } else if (state.place == Place::Game && is(name, "rom")) {
            state.builder.beginRom();
            for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
                if (!state.builder.romField(a[0], a[1], state.line())) {
                    state.fail();
                    return;
                }
            }
        }
        return;
    default:
        return;
    }
}

void XMLCALL endElement(void* data, const XML_Char*) {
    auto& state = *static_cast<LogiqxState*>(data);
    state.textLength = 0;
    if (state.depth == 3) {
        if (state.place == Place::HeaderName) {
            state.builder.setName(state.text);
            state.place = Place::Header;
        } else if (state.place == Place::HeaderVersion) {
            state.builder.setVersion(state.text);
            state.place = Place::Header;
        }
    } else if (state.depth == 2) {
        if (state.place == Place::Game) {
            state.builder.endGame();
        }
        state.place = Place::Elsewhere;
    }
    --state.depth;
}

void XMLCALL characters(void* data, const XML_Char* text, int length) {
    auto& state = *static_cast<LogiqxState*>(data);
    state.textLength += static_cast<std::size_t>(length);
    if (state.textLength > datMaxFieldLength) {
        state.fail();
        return;
    }
    if (state.place == Place::HeaderName || state.place == Place::HeaderVersion) {
        state.text.append(text, static_cast<std::size_t>(length));
    }
}

// Comments are skipped, but one longer than any field is no database's.
void XMLCALL comment(void* data, const XML_Char* text) {
    auto& state = *static_cast<LogiqxState*>(data);
    if (std::strlen(text) > datMaxFieldLength) {
        state.fail();
    }
}

// A reference to an entity nobody declared, in text: with an external DTD
// named expat skips it, and the text would lose it.
void XMLCALL skippedEntity(void* data, const XML_Char*, int parameterEntity) {
    if (parameterEntity == 0) {
        static_cast<LogiqxState*>(data)->fail();
    }
}

void XMLCALL entityDeclared(void* data, const XML_Char* name, int parameterEntity, const XML_Char*,
                            int, const XML_Char*, const XML_Char*, const XML_Char*,
                            const XML_Char*) {
    auto& state = *static_cast<LogiqxState*>(data);
    if (parameterEntity == 0 && state.entities.size() < datMaxEntities) {
        state.entities.insert(name);
    }
}

} // namespace

// The whole file goes to expat as one buffer that expat itself owns: read
// once, never copied, and scanned once however long a token is (fed in
// pieces, expat rescans an unfinished token from its start each time).
DatParse parseLogiqx(std::uint64_t size, const DatFill& fill) {
    if (size == 0 || size > datMaxFileSize ||
        size > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) {
        return {};
    }
    LogiqxState state;
    state.parser = XML_ParserCreate(nullptr);
    if (state.parser == nullptr) {
        return {};
    }
#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 4)
    // On by default since 2.4; set here so that no build goes without it.
    XML_SetBillionLaughsAttackProtectionMaximumAmplification(state.parser, 100.0f);
    XML_SetBillionLaughsAttackProtectionActivationThreshold(state.parser, 8u << 20);
#endif
    XML_SetUserData(state.parser, &state);
    XML_SetElementHandler(state.parser, startElement, endElement);
    XML_SetCharacterDataHandler(state.parser, characters);
    XML_SetCommentHandler(state.parser, comment);
    XML_SetSkippedEntityHandler(state.parser, skippedEntity);
    XML_SetEntityDeclHandler(state.parser, entityDeclared);
    const int length = static_cast<int>(size);
    void* buffer = XML_GetBuffer(state.parser, length);
    if (buffer == nullptr || !fill(std::span<std::uint8_t>(static_cast<std::uint8_t*>(buffer),
                                                           static_cast<std::size_t>(size)))) {
        XML_ParserFree(state.parser);
        return {};
    }
    // Byte offsets point into the buffer only where one byte is one unit.
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const bool wide =
        size >= 2 && (bytes[0] == 0 || bytes[1] == 0 || bytes[0] == 0xFE || bytes[0] == 0xFF);
    state.document = wide ? nullptr : bytes;
    const bool parsed = XML_ParseBuffer(state.parser, length, XML_TRUE) == XML_STATUS_OK;
    const std::uint64_t line = state.failed ? state.failedLine : state.line();
    XML_ParserFree(state.parser);
    if (!parsed || state.failed) {
        return {std::nullopt, line};
    }
    return {state.builder.finish(), 0};
}

DatParse parseLogiqxDat(std::span<const std::uint8_t> bytes) {
    return parseLogiqx(bytes.size(), [&](std::span<std::uint8_t> into) {
        std::memcpy(into.data(), bytes.data(), into.size());
        return true;
    });
}
