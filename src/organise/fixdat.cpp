#include "organise/fixdat.h"

#include <string>

#include "base/hex.h"
#include "base/utf8.h"

namespace {

void appendEscaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x80) {
            const std::size_t length = utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F) {
                out += "\xEF\xBF\xBD";
            } else {
                out.push_back(c);
            }
        }
        ++i;
    }
}

void appendElement(std::string& out, std::string_view indent, std::string_view tag,
                   std::string_view text) {
    out.append(indent).append("<").append(tag).append(">");
    appendEscaped(out, text);
    out.append("</").append(tag).append(">\n");
}

void appendAttribute(std::string& out, std::string_view name, std::string_view value) {
    out.append(" ").append(name).append("=\"");
    appendEscaped(out, value);
    out.append("\"");
}

} // namespace

Bytes fixdatXml(const Dat& dat, const std::vector<IncompleteGame>& games) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
                      "\"http://www.logiqx.com/Dats/datafile.dtd\">\n"
                      "<datafile>\n\t<header>\n";
    const std::string name = dat.name + " (fixdat)";
    appendElement(out, "\t\t", "name", name);
    appendElement(out, "\t\t", "description", name);
    if (!dat.version.empty()) {
        appendElement(out, "\t\t", "version", dat.version);
    }
    out += "\t</header>\n";
    for (const IncompleteGame& incomplete : games) {
        const DatGame& game = dat.games[incomplete.game];
        out += "\t<game";
        appendAttribute(out, "name", game.name);
        out += ">\n";
        appendElement(out, "\t\t", "description", game.name);
        for (const std::size_t r : incomplete.missing) {
            const DatRom& rom = dat.roms[r];
            out += "\t\t<rom";
            appendAttribute(out, "name", rom.name);
            if (rom.size) {
                appendAttribute(out, "size", std::to_string(*rom.size));
            }
            if (rom.crc32) {
                appendAttribute(out, "crc", hexLower(*rom.crc32, 8));
            }
            if (rom.md5) {
                appendAttribute(out, "md5", hexLower(*rom.md5));
            }
            if (rom.sha1) {
                appendAttribute(out, "sha1", hexLower(*rom.sha1));
            }
            if (rom.sha256) {
                appendAttribute(out, "sha256", hexLower(*rom.sha256));
            }
            if (rom.status == DumpStatus::BadDump) {
                appendAttribute(out, "status", "baddump");
            } else if (rom.status == DumpStatus::Verified) {
                appendAttribute(out, "status", "verified");
            }
            out += "/>\n";
        }
        out += "\t</game>\n";
    }
    out += "</datafile>\n";
    const auto* text = reinterpret_cast<const std::uint8_t*>(out.data());
    return Bytes(text, text + out.size());
}
