#include "dat/dat.h"

#include <algorithm>
#include <array>

#include "dat/clrmamepro.h"
#include "dat/logiqx.h"
#include "io/input_file.h"

namespace {

// XML when the first byte that is not blank, after any UTF-8 byte order mark,
// is '<'.
bool isXmlDat(std::span<const std::uint8_t> bytes) {
    std::size_t at = datTextStart(bytes);
    while (at < bytes.size() &&
           (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n')) {
        ++at;
    }
    return at < bytes.size() && bytes[at] == '<';
}

} // namespace

DatParse parseDat(std::span<const std::uint8_t> bytes) {
    return isXmlDat(bytes) ? parseLogiqxDat(bytes) : parseClrMameProDat(bytes);
}

DatParse readDat(const std::string& path) {
    const std::optional<InputFile> file = InputFile::open(path);
    if (!file || file->size() == 0 || file->size() > datMaxFileSize) {
        return {};
    }
    // The format shows in the first bytes; an XML DAT then goes straight into
    // the parser's own buffer rather than through a second copy.
    std::array<std::uint8_t, 4096> head{};
    const auto headSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(file->size(), head.size()));
    if (!file->readAt(0, std::span(head).first(headSize))) {
        return {};
    }
    const std::span<const std::uint8_t> start(head.data(), headSize);
    if (isXmlDat(start)) {
        return parseLogiqx(file->size(),
                           [&](std::span<std::uint8_t> into) { return file->readAt(0, into); });
    }
    const std::optional<Bytes> bytes = file->readAll();
    if (!bytes) {
        return {};
    }
    return parseClrMameProDat(*bytes);
}
