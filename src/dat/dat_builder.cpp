#include "dat/dat_builder.h"

#include <algorithm>

#include "base/hex.h"

namespace {

// A digest written as hexadecimal in either case, of exactly its length.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> parseDigest(std::string_view text) {
    if (text.size() != 2 * N) {
        return std::nullopt;
    }
    std::array<std::uint8_t, N> digest{};
    for (std::size_t i = 0; i < N; ++i) {
        const std::optional<std::uint8_t> high = hexDigitValue(text[2 * i]);
        const std::optional<std::uint8_t> low = hexDigitValue(text[2 * i + 1]);
        if (!high || !low) {
            return std::nullopt;
        }
        digest[i] = static_cast<std::uint8_t>(*high << 4 | *low);
    }
    return digest;
}

// A CRC-32 of one to eight hexadecimal digits: some databases drop the
// leading zeros.
std::optional<std::uint32_t> parseCrc(std::string_view text) {
    if (text.empty() || text.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        const std::optional<std::uint8_t> digit = hexDigitValue(c);
        if (!digit) {
            return std::nullopt;
        }
        value = value << 4 | *digit;
    }
    return value;
}

// A size in decimal, or in hexadecimal after "0x".
std::optional<std::uint64_t> parseSize(std::string_view text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) {
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    const std::uint64_t base = hex ? 16 : 10;
    std::uint64_t value = 0;
    for (const char c : text) {
        const std::optional<std::uint8_t> digit = hexDigitValue(c);
        if (!digit || *digit >= base || value > (UINT64_MAX - *digit) / base) {
            return std::nullopt;
        }
        value = value * base + *digit;
    }
    return value;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        return lower(x) == lower(y);
    });
}

// An empty hash field stands for no value, as some databases write it.
template <class T, class Parse>
bool setOptional(std::optional<T>& field, std::string_view value, Parse parse) {
    if (value.empty()) {
        field.reset();
        return true;
    }
    field = parse(value);
    return field.has_value();
}

bool setValue(DatRom& rom, std::string_view key, std::string_view value) {
    if (key == "size") {
        return setOptional(rom.size, value, parseSize);
    }
    if (key == "crc") {
        return setOptional(rom.crc32, value, parseCrc);
    }
    if (key == "md5") {
        return setOptional(rom.md5, value, parseDigest<16>);
    }
    if (key == "sha1") {
        return setOptional(rom.sha1, value, parseDigest<20>);
    }
    return setOptional(rom.sha256, value, parseDigest<32>);
}

} // namespace

std::size_t datTextStart(std::span<const std::uint8_t> bytes) {
    const bool byteOrderMark =
        bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    return byteOrderMark ? 3 : 0;
}

void DatBuilder::beginGame(std::string_view name) {
    endGame();
    DatGame& game = dat_.games.emplace_back();
    game.name = name;
    game.firstRom = dat_.roms.size();
    inGame_ = true;
}

void DatBuilder::endGame() {
    if (inGame_) {
        DatGame& game = dat_.games.back();
        game.romCount = dat_.roms.size() - game.firstRom;
        inGame_ = false;
    }
}

void DatBuilder::setLastGameName(std::string_view name) {
    if (!dat_.games.empty()) {
        dat_.games.back().name = name;
    }
}

bool DatBuilder::beginRom() {
    if (!inGame_) {
        return false;
    }
    dat_.roms.emplace_back().game = dat_.games.size() - 1;
    return true;
}

bool DatBuilder::romField(std::string_view key, std::string_view value, std::uint64_t line) {
    if (!inGame_ || dat_.roms.size() == dat_.games.back().firstRom) {
        return false;
    }
    DatRom& rom = dat_.roms.back();
    if (key == "name") {
        rom.name = value;
        return true;
    }
    if (key == "size" || key == "crc" || key == "md5" || key == "sha1" || key == "sha256") {
        if (!setValue(rom, key, value)) {
            rom.unmatchable = true;
            dat_.badValues.push_back({line, std::string(key), std::string(value)});
        }
        return true;
    }
    if (key == "status" || key == "flags") {
        // Values the managers do not know leave the dump as good.
        if (sameIgnoringCase(value, "baddump")) {
            rom.status = DumpStatus::BadDump;
        } else if (sameIgnoringCase(value, "nodump")) {
            rom.status = DumpStatus::NoDump;
        } else if (sameIgnoringCase(value, "verified")) {
            rom.status = DumpStatus::Verified;
        } else {
            rom.status = DumpStatus::Good;
        }
    }
    return true;
}
