#pragma once

// A strict JSON checker (RFC 8259) for the tests and fuzz targets: one value,
// surrounded by nothing but white space; strings without raw control
// characters, with valid escapes and valid UTF-8. Nesting is shallow in
// everything checked here, so the recursion is bounded by the input's depth.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace testing_support {

class JsonChecker {
  public:
    explicit JsonChecker(std::string_view text) : s_(text) {}

    bool document() {
        space();
        if (!value(0)) {
            return false;
        }
        space();
        return p_ == s_.size();
    }

  private:
    static constexpr int maximumDepth = 64;

    bool more() const { return p_ < s_.size(); }
    std::uint8_t at(std::size_t i) const { return static_cast<std::uint8_t>(s_[i]); }
    void space() {
        while (more() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\n' || s_[p_] == '\r')) {
            ++p_;
        }
    }
    bool literal(std::string_view word) {
        if (s_.substr(p_, word.size()) != word) {
            return false;
        }
        p_ += word.size();
        return true;
    }
    bool value(int depth) {
        if (!more() || depth > maximumDepth) {
            return false;
        }
        switch (s_[p_]) {
        case '{':
            return object(depth);
        case '[':
            return array(depth);
        case '"':
            return string();
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }
    bool object(int depth) {
        ++p_;
        space();
        if (more() && s_[p_] == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            space();
            if (!more() || s_[p_] != '"' || !string()) {
                return false;
            }
            space();
            if (!more() || s_[p_++] != ':') {
                return false;
            }
            space();
            if (!value(depth + 1)) {
                return false;
            }
            space();
            if (!more()) {
                return false;
            }
            const char c = s_[p_++];
            if (c == '}') {
                return true;
            }
            if (c != ',') {
                return false;
            }
        }
    }
    bool array(int depth) {
        ++p_;
        space();
        if (more() && s_[p_] == ']') {
            ++p_;
            return true;
        }
        for (;;) {
            space();
            if (!value(depth + 1)) {
                return false;
            }
            space();
            if (!more()) {
                return false;
            }
            const char c = s_[p_++];
            if (c == ']') {
                return true;
            }
            if (c != ',') {
                return false;
            }
        }
    }
    bool digits() {
        const std::size_t start = p_;
        while (more() && s_[p_] >= '0' && s_[p_] <= '9') {
            ++p_;
        }
        return p_ > start;
    }
    bool number() {
        if (more() && s_[p_] == '-') {
            ++p_;
        }
        if (more() && s_[p_] == '0') {
            ++p_;
        } else if (!digits()) {
            return false;
        }
        if (more() && s_[p_] == '.') {
            ++p_;
            if (!digits()) {
                return false;
            }
        }
        if (more() && (s_[p_] == 'e' || s_[p_] == 'E')) {
            ++p_;
            if (more() && (s_[p_] == '+' || s_[p_] == '-')) {
                ++p_;
            }
            if (!digits()) {
                return false;
            }
        }
        return true;
    }
    static bool isHex(char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    }
    bool utf8() {
        const std::uint8_t lead = at(p_);
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
            return false;
        }
        if (s_.size() - p_ < length || at(p_ + 1) < low || at(p_ + 1) > high) {
            return false;
        }
        for (std::size_t i = 2; i < length; ++i) {
            if (at(p_ + i) < 0x80 || at(p_ + i) > 0xBF) {
                return false;
            }
        }
        p_ += length;
        return true;
    }
    bool string() {
        ++p_;
        while (more()) {
            const std::uint8_t c = at(p_);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c == '\\') {
                ++p_;
                if (!more()) {
                    return false;
                }
                const char e = s_[p_++];
                if (e == 'u') {
                    for (int i = 0; i < 4; ++i) {
                        if (!more() || !isHex(s_[p_++])) {
                            return false;
                        }
                    }
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            } else if (c < 0x80) {
                ++p_;
            } else if (!utf8()) {
                return false;
            }
        }
        return false;
    }

    std::string_view s_;
    std::size_t p_ = 0;
};

inline bool isJsonValue(std::string_view text) {
    return JsonChecker(text).document();
}

} // namespace testing_support
