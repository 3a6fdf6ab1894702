#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/hex.h"

#include "scan/record.h"

// The JSON string literal for a byte string, quotes included: '"', '\' and
// bytes below 0x20 escaped, valid UTF-8 kept as it is, and every byte that is
// not part of valid UTF-8 written as the escape of its value, so that any
// header text gives valid JSON on a single line.
std::string jsonString(std::string_view bytes);

// One catalogue line (without its newline): the JSON object of the record.
std::string catalogLine(const CatalogRecord& record);

// A CRC-32 as eight lower-case hexadecimal digits.
std::string crcText(std::uint32_t value);

// The name of a platform enumerator, as the catalogue writes it.
std::string_view platformKey(RomPlatform platform);

// Writes one JSON object, keys in the order they are added.
class ObjectWriter {
  public:
    ObjectWriter& key(std::string_view name) {
        out_ += first_ ? "{" : ",";
        first_ = false;
        out_ += jsonString(name);
        out_ += ':';
        return *this;
    }
    ObjectWriter& string(std::string_view name, std::string_view value) {
        key(name);
        out_ += jsonString(value);
        return *this;
    }
    ObjectWriter& number(std::string_view name, std::uint64_t value) {
        key(name);
        out_ += std::to_string(value);
        return *this;
    }
    ObjectWriter& boolean(std::string_view name, bool value) {
        key(name);
        out_ += value ? "true" : "false";
        return *this;
    }
    ObjectWriter& raw(std::string_view name, std::string_view json) {
        key(name);
        out_ += json;
        return *this;
    }
    ObjectWriter& digests(const Digests& d) {
        return string("crc32", crcText(d.crc32))
            .string("md5", hexLower(d.md5))
            .string("sha1", hexLower(d.sha1))
            .string("sha256", hexLower(d.sha256));
    }
    std::string finish() {
        out_ += first_ ? "{}" : "}";
        return std::move(out_);
    }

  private:
    std::string out_;
    bool first_ = true;
};
